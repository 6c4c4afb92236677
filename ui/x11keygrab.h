#pragma once

#include <QAbstractNativeEventFilter>
#include <QKeyCombination>
#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

struct xcb_connection_t;

// A key taken from the whole X11 desktop: a passive grab on the root window, so the key
// reaches this program whichever window has the focus (the simulator's, most of the time).
// The grab is made in every NumLock, CapsLock and ScrollLock state, since those locks count
// as modifiers to the X server. It reads the connection's events through Qt's native event
// filter, or through handleEvent() for a connection of its own.
//
// Threading: GUI thread, the thread that reads the connection's events; never blocks longer
// than the X server's answers to the grab requests.
class X11KeyGrab : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // Grabs on the first screen's root window of `connection`, which must outlive this object.
    explicit X11KeyGrab(xcb_connection_t* connection, QObject* parent = nullptr);
    ~X11KeyGrab() override;

    // Takes `key` (the previous key is let go first). Empty on success, else why not: a key
    // that another program holds, or one the keyboard has no key for.
    QString grab(QKeyCombination key);
    void ungrab();
    bool isGrabbed() const { return !keycodes_.empty(); }

    // One event of the connection; true when it was the grabbed key, which nobody else should
    // see. A press emits pressed() once, however long the key is held.
    bool handleEvent(const void* event);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    void pressed();

private:
    QString grabKeycodes();

    xcb_connection_t* connection_;
    uint32_t root_ = 0;
    QKeyCombination key_;
    uint16_t modifiers_ = 0;
    uint16_t lockMasks_ = 0; // CapsLock, NumLock and ScrollLock as the server maps them now
    std::vector<uint8_t> keycodes_;
    bool down_ = false;
    uint32_t releasedAt_ = 0;
};
