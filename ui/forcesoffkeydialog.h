#pragma once

#include <QDialog>
#include <QKeyCombination>

class GlobalShortcut;
class QDialogButtonBox;
class QKeySequenceEdit;
class QLabel;

// Settings > Forces off key: the key that takes every force off (and gives them back) from
// every window of the program and, where the desktop allows, while the simulator has the
// focus. It shows whether the key works system-wide now and, if not, why; a key that other
// programs' typing needs cannot be chosen.
//
// Threading: GUI thread.
class ForcesOffKeyDialog : public QDialog {
    Q_OBJECT

public:
    ForcesOffKeyDialog(const GlobalShortcut* shortcut, QWidget* parent = nullptr);

    // The key chosen; the current one until the user records another.
    QKeyCombination key() const { return key_; }
    void setKey(QKeyCombination key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void takeRecordedKey();
    void showState();

    const GlobalShortcut* shortcut_;
    QKeyCombination key_;
    QKeySequenceEdit* edit_;
    QLabel* reach_;
    QLabel* problem_;
    QDialogButtonBox* buttons_;
};
