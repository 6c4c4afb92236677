#include "ui/globalshortcut.h"

#include "ui/shortcutkeys.h"
#ifdef Q_OS_LINUX
#include "ui/portalshortcut.h"
#include "ui/x11keygrab.h"
#endif

#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QtGui/qguiapplication_platform.h>

namespace {

// A press seen both by the desktop and by the program's own window within this time is one
// press; two presses by a hand are further apart.
constexpr qint64 kSamePressMs = 150;

} // namespace

GlobalShortcut::GlobalShortcut(QKeyCombination key, QObject* parent) : QObject(parent), key_(key) {
    qApp->installEventFilter(this);
    const QString platform = QGuiApplication::platformName();
#if defined(Q_OS_LINUX) && QT_CONFIG(xcb)
    if (platform == QLatin1String("xcb")) {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            grab_ = new X11KeyGrab(x11->connection(), this);
            qApp->installNativeEventFilter(grab_);
            connect(grab_, &X11KeyGrab::pressed, this, [this] { press(true); });
        }
    }
#endif
#ifdef Q_OS_LINUX
    if (platform.startsWith(QLatin1String("wayland"))) {
        portal_ = new PortalShortcut(this);
        connect(portal_, &PortalShortcut::pressed, this, [this] { press(true); });
        connect(portal_, &PortalShortcut::bound, this, [this](const QString& trigger) {
            const QString asked = QKeySequence(key_).toString(QKeySequence::NativeText);
            // The desktop may keep a key the user gave it before: say which one it listens to.
            setReach(true, trigger.isEmpty() || trigger.compare(asked, Qt::CaseInsensitive) == 0
                               ? QString()
                               : tr("the desktop's key: %1").arg(trigger));
        });
        connect(portal_, &PortalShortcut::failed, this,
                [this](const QString& reason) { setReach(false, reason); });
    }
#endif
    registerSystemWide();
}

GlobalShortcut::~GlobalShortcut() {
    qApp->removeEventFilter(this);
#ifdef Q_OS_LINUX
    if (grab_) {
        qApp->removeNativeEventFilter(grab_);
    }
#endif
}

void GlobalShortcut::setKey(QKeyCombination key) {
    if (key == key_) {
        return;
    }
    key_ = key;
    registerSystemWide();
}

void GlobalShortcut::registerSystemWide() {
    const QString unsuitable = ShortcutKeys::unsuitable(key_);
#ifdef Q_OS_LINUX
    if (grab_) {
        const QString error = unsuitable.isEmpty() ? grab_->grab(key_) : unsuitable;
        if (!unsuitable.isEmpty()) {
            grab_->ungrab();
        }
        // Under XWayland the X server sees only the keys meant for X11 windows.
        const bool xwayland = error.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        setReach(error.isEmpty(), xwayland ? tr("while an X11 program has the focus") : error);
        return;
    }
    if (portal_ && unsuitable.isEmpty()) {
        setReach(false, tr("waiting for the desktop's answer"));
        portal_->bind(key_,
                      tr("Forces off: take every force off the joystick and the rudder, or give them back"));
        return;
    }
#endif
    setReach(false,
             !unsuitable.isEmpty()
                 ? unsuitable
                 : tr("the display \"%1\" has no system-wide keys").arg(QGuiApplication::platformName()));
}

QString GlobalShortcut::summary() const {
    const QString key = QKeySequence(key_).toString(QKeySequence::NativeText);
    if (systemWide_) {
        return reason_.isEmpty() ? tr("Forces off key %1: system-wide").arg(key)
                                 : tr("Forces off key %1: system-wide (%2)").arg(key, reason_);
    }
    return tr("Forces off key %1: only in this program (%2)").arg(key, reason_);
}

void GlobalShortcut::setReach(bool systemWide, const QString& reason) {
    systemWide_ = systemWide;
    reason_ = reason;
    emit reachChanged();
}

void GlobalShortcut::press(bool fromDesktop) {
    if (lastPress_.isValid() && lastFromDesktop_ != fromDesktop && lastPress_.elapsed() < kSamePressMs) {
        return;
    }
    lastPress_.start();
    lastFromDesktop_ = fromDesktop;
    emit pressed();
}

bool GlobalShortcut::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress && type != QEvent::KeyRelease) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != key_.key() || (key->modifiers() & ~Qt::KeypadModifier) != key_.keyboardModifiers()) {
        return QObject::eventFilter(watched, event);
    }
    // Caught before any widget: a dialog's focused button would take Space as a click, and a
    // modal dialog would keep the main window's own shortcuts from firing.
    // Accepted, so that it is not offered to the parent widgets as well.
    event->accept();
    if (type == QEvent::KeyPress && !key->isAutoRepeat()) {
        press(false);
    }
    return true;
}
