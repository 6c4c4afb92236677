#pragma once

#include <QElapsedTimer>
#include <QKeyCombination>
#include <QObject>
#include <QString>

class PortalShortcut;
class X11KeyGrab;

// The "Forces off" key. Inside the program it is caught before any window, dialog or button
// sees it, so it never presses a dialog's button and works while a modal dialog blocks the
// main window. Outside it, it is taken from the whole desktop where the desktop allows: a key
// grab on X11, the GlobalShortcuts portal on Wayland. Whichever way the key comes, pressed()
// is emitted once per press.
//
// Threading: GUI thread. Construct after the application object; one per program.
class GlobalShortcut : public QObject {
    Q_OBJECT

public:
    explicit GlobalShortcut(QKeyCombination key, QObject* parent = nullptr);
    ~GlobalShortcut() override;

    // Changes the key, inside the program at once and on the desktop as soon as it answers;
    // reachChanged() follows.
    void setKey(QKeyCombination key);
    QKeyCombination key() const { return key_; }

    // Whether the key also works while another program has the focus, and if not, why.
    bool isSystemWide() const { return systemWide_; }
    QString reason() const { return reason_; }
    // One line for the window: the key and where it works.
    QString summary() const;

signals:
    void pressed();
    void reachChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void registerSystemWide();
    void setReach(bool systemWide, const QString& reason);
    // A press from the program's own windows and one from the desktop may be the same press.
    void press(bool fromDesktop);

    QKeyCombination key_;
    bool systemWide_ = false;
    QString reason_;
    X11KeyGrab* grab_ = nullptr;
    PortalShortcut* portal_ = nullptr;
    QElapsedTimer lastPress_;
    bool lastFromDesktop_ = false;
};
