#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

// Help > Setting up the games: the set-up guide built into the program (docs/games.md),
// shown as formatted text with working links, and a button per game that asks for the game's
// folder and runs the same set-up as the command line, its report shown below the guide.
//
// Threading: GUI thread.
class GameSetupDialog : public QDialog {
    Q_OBJECT

public:
    enum class Game { Dcs, Il2, Condor, Msfs };

    // Where the guide lives among the program's resources.
    static constexpr const char* GuidePath = ":/help/games.md";

    explicit GameSetupDialog(QWidget* parent = nullptr);

    // Runs the set-up of `game` on `dir` as its button does once the folder is chosen. MSFS's
    // SimConnect.cfg goes into the folder the program works in, and the program connects to
    // the new listener from its next attempt. True when the set-up succeeded.
    bool runSetup(Game game, const QString& dir);

private:
    void chooseFolder(Game game);

    QPlainTextEdit* result_;
};
