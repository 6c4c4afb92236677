#pragma once

#include <QDialog>
#include <QString>

// Help > Setting up the games: the set-up guide built into the program (docs/games.md),
// shown as formatted text with working links.
//
// Threading: GUI thread.
class GameSetupDialog : public QDialog {
    Q_OBJECT

public:
    // Where the guide lives among the program's resources.
    static constexpr const char* GuidePath = ":/help/games.md";

    explicit GameSetupDialog(QWidget* parent = nullptr);
};
