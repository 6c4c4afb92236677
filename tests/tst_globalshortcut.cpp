#include "ui/globalshortcut.h"
#include "ui/portalshortcut.h"
#include "ui/shortcutkeys.h"
#include "ui/x11keygrab.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QtTest>

#include <xcb/xcb.h>
#ifdef TRENNAL_HAVE_XTEST
#include <xcb/xtest.h>
#endif

#include <cstdlib>
#include <vector>

namespace {

// The first keycode that gives `sym` on the server; 0 when none does.
uint8_t keycodeOf(xcb_connection_t* c, uint32_t sym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* reply =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), nullptr);
    uint8_t code = 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    for (int i = 0; i < count && code == 0; ++i) {
        if (syms[i * reply->keysyms_per_keycode] == sym) {
            code = uint8_t(setup->min_keycode + i);
        }
    }
    std::free(reply);
    return code;
}

#ifdef TRENNAL_HAVE_XTEST
// Another program on the same X server: it holds the focus in a window of its own (the
// simulator) and presses keys as a hand on the keyboard would.
struct OtherProgram {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_window_t window = 0;

    OtherProgram() {
        if (xcb_connection_has_error(c)) {
            return;
        }
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        window = xcb_generate_id(c);
        const uint32_t events = XCB_EVENT_MASK_KEY_PRESS;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, root, 0, 0, 64, 64, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        xcb_map_window(c, window);
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
        sync();
    }
    ~OtherProgram() { xcb_disconnect(c); }
    bool hasFocus() {
        xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        const bool has = focus && focus->focus == window;
        std::free(focus);
        return has;
    }
    // A round trip: the server has handled everything sent before.
    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
    // `delayMs` lets the server's clock move on, as between two presses of a hand.
    void key(uint32_t sym, bool down, uint32_t delayMs = 0) {
        xcb_test_fake_input(c, down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycodeOf(c, sym), delayMs, XCB_NONE,
                            0, 0, 0);
    }
    // Control_L and `modifier` held, Space pressed `presses` times before its release, with
    // a lock key toggled on around it (0 for none).
    void press(uint32_t modifier, int presses, uint32_t lock = 0) {
        const auto toggle = [this, lock] {
            if (lock) {
                key(lock, true);
                key(lock, false);
            }
        };
        toggle();
        key(0xffe3, true, 5);
        key(modifier, true);
        for (int i = 0; i < presses; ++i) {
            key(0x20, true);
        }
        key(0x20, false);
        key(modifier, false);
        key(0xffe3, false);
        toggle();
        sync();
    }
    // Space presses that reached the simulator's window.
    int spacesReceived() {
        const uint8_t space = keycodeOf(c, 0x20);
        int n = 0;
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
            n += (event->response_type & 0x7f) == XCB_KEY_PRESS && press->detail == space;
            std::free(event);
        }
        return n;
    }
};
#endif

// The desktop's GlobalShortcuts portal, as far as the program uses it, on a bus connection of
// its own: it answers every request at once with `answer` and gives the key `trigger`.
struct FakePortal : QDBusVirtualObject {
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal"));
    const QString session = QStringLiteral("/org/freedesktop/portal/desktop/session/1_1/trennal");
    uint answer = 0;
    QString trigger;
    QString asked; // the preferred trigger the program sent

    ~FakePortal() override { QDBusConnection::disconnectFromBus(QStringLiteral("portal")); }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.member() == QLatin1String("Get")) {
            return c.send(m.createReply(QVariant::fromValue(QDBusVariant(2u))));
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(m.arguments().constLast());
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(m.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                                         options.value(QStringLiteral("handle_token")).toString());
        c.send(m.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results{{QStringLiteral("session_handle"), session}};
        if (m.member() == QLatin1String("BindShortcuts")) {
            QList<PortalShortcut::Entry> wanted;
            m.arguments().at(1).value<QDBusArgument>() >> wanted;
            asked = wanted.value(0).properties.value(QStringLiteral("preferred_trigger")).toString();
            wanted[0].properties.insert(QStringLiteral("trigger_description"), trigger);
            results = {{QStringLiteral("shortcuts"), QVariant::fromValue(wanted)}};
        }
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << (results.contains(QStringLiteral("shortcuts")) ? answer : 0u) << results;
        return c.send(response);
    }
    void activate(const QString& sessionPath, const QString& id) {
        QDBusMessage signal = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(0) << QVariantMap();
        bus.send(signal);
    }
};

} // namespace

// The "Forces off" key as the desktop knows it, and the X11 grab that takes it while another
// program has the focus.
class TestGlobalShortcut : public QObject {
    Q_OBJECT

    int activated_ = 0;

public slots:
    void countActivated() { ++activated_; }

private slots:
    void initTestCase() {
        // Every portal signal that reaches the program's side, whoever it is for.
        QDBusConnection::sessionBus().connect(QString(), QString(),
                                              QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                              QStringLiteral("Activated"), this, SLOT(countActivated()));
    }
    void keysAsTheDesktopNamesThem_data() {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<uint>("keysym");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<bool>("suitable");
        QTest::newRow("letter, lower-case symbol")
            << QKeySequence(QStringLiteral("Ctrl+Alt+F")) << 0x66u << QStringLiteral("CTRL+ALT+f") << true;
        QTest::newRow("function key alone")
            << QKeySequence(QStringLiteral("F12")) << 0xffc9u << QStringLiteral("F12") << true;
        QTest::newRow("Shift only") << QKeySequence(QStringLiteral("Shift+Space")) << 0x20u
                                    << QStringLiteral("SHIFT+space") << false;
        QTest::newRow("no symbol") << QKeySequence(QStringLiteral("Ctrl+Volume Up")) << 0u << QString()
                                   << false;
    }

    void keysAsTheDesktopNamesThem() {
        QFETCH(QKeySequence, key);
        QFETCH(uint, keysym);
        QFETCH(QString, trigger);
        QFETCH(bool, suitable);
        QCOMPARE(ShortcutKeys::keysym(key[0].key()), keysym);
        QCOMPARE(ShortcutKeys::portalTrigger(key[0]), trigger);
        QCOMPARE(ShortcutKeys::unsuitable(key[0]).isEmpty(), suitable);
    }

    // On Wayland the desktop's portal takes the key: the program asks for it by its name, shows
    // the key the desktop gives, and hears it from its own session only.
    void portalBindsTheKeyAndHearsIt_data() {
        QTest::addColumn<bool>("portal");
        QTest::addColumn<uint>("answer");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("reach"); // what bound() or failed() said
        QTest::newRow("bound") << true << 0u << QStringLiteral("Ctrl+Shift+Space")
                               << QStringLiteral("Ctrl+Shift+Space");
        QTest::newRow("declined by the user") << true << 1u << QString() << QStringLiteral("declined");
        QTest::newRow("no portal") << false << 0u << QString()
                                   << QStringLiteral("offers no global shortcuts");
    }

    void portalBindsTheKeyAndHearsIt() {
        QFETCH(bool, portal);
        QFETCH(uint, answer);
        QFETCH(QString, trigger);
        QFETCH(QString, reach);
        if (!QDBusConnection::sessionBus().isConnected()) {
            QSKIP("no session bus (run under dbus-run-session)");
        }
        activated_ = 0;
        FakePortal desktop;
        desktop.answer = answer;
        desktop.trigger = trigger;
        if (portal) {
            QVERIFY(desktop.bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                                      &desktop));
            QVERIFY(desktop.bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        }
        PortalShortcut shortcut;
        QSignalSpy bound(&shortcut, &PortalShortcut::bound);
        QSignalSpy failed(&shortcut, &PortalShortcut::failed);
        QSignalSpy pressed(&shortcut, &PortalShortcut::pressed);
        shortcut.bind(ShortcutKeys::defaultKey(), QStringLiteral("Forces off"));
        QTRY_COMPARE_WITH_TIMEOUT(bound.size() + failed.size(), 1, 5000);
        const QString said = (bound.isEmpty() ? failed : bound).at(0).at(0).toString();
        QVERIFY2(said.contains(reach), qPrintable(said));
        QCOMPARE(desktop.asked, portal && answer == 0 ? QStringLiteral("CTRL+SHIFT+space") : desktop.asked);
        desktop.activate(QStringLiteral("/org/freedesktop/portal/desktop/session/1_1/other"),
                         QStringLiteral("forces_off"));
        desktop.activate(desktop.session, QStringLiteral("something_else"));
        desktop.activate(desktop.session, QStringLiteral("forces_off"));
        // Once all three have reached this side, only the program's own counts.
        QTRY_COMPARE_WITH_TIMEOUT(activated_, 3, 5000);
        QCOMPARE(pressed.size(), bound.size());
        if (portal) {
            desktop.bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        }
    }

    // On a real X server another client holds the focus (the simulator) and presses the keys
    // (the pilot): the program hears the key once per press, whatever locks are lit, and the
    // simulator never sees it. A key another program holds is reported with its reason.
    void programHearsTheKeyFromAnotherWindow_data() {
        QTest::addColumn<bool>("heldElsewhere");
        QTest::addColumn<uint>("lock");     // keysym of a lock lit around the press, 0 for none
        QTest::addColumn<uint>("modifier"); // keysym held with Control_L
        QTest::addColumn<int>("presses");   // Space pressed this often before its release
        QTest::addColumn<int>("expected");
        QTest::newRow("pressed once") << false << 0u << 0xffe1u << 1 << 1;
        QTest::newRow("NumLock lit") << false << 0xff7fu << 0xffe1u << 1 << 1;
        QTest::newRow("CapsLock lit") << false << 0xffe5u << 0xffe1u << 1 << 1;
        QTest::newRow("held, the key repeats") << false << 0u << 0xffe1u << 3 << 1;
        QTest::newRow("Alt instead of Shift") << false << 0u << 0xffe9u << 1 << 0;
        QTest::newRow("held by another program") << true << 0u << 0xffe1u << 1 << 0;
    }

    void programHearsTheKeyFromAnotherWindow() {
#ifndef TRENNAL_HAVE_XTEST
        QSKIP("built without the XTest extension's library");
#else
        QFETCH(bool, heldElsewhere);
        QFETCH(uint, lock);
        QFETCH(uint, modifier);
        QFETCH(int, presses);
        QFETCH(int, expected);
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("not on an X server (run under xvfb-run with QT_QPA_PLATFORM=xcb)");
        }
        OtherProgram other;
        QVERIFY(other.hasFocus());
        X11KeyGrab elsewhere(other.c);
        if (heldElsewhere) {
            QCOMPARE(elsewhere.grab(ShortcutKeys::defaultKey()), QString());
        }
        GlobalShortcut shortcut(ShortcutKeys::defaultKey());
        QSignalSpy pressed(&shortcut, &GlobalShortcut::pressed);
        QCOMPARE(shortcut.isSystemWide(), !heldElsewhere);
        QVERIFY2(shortcut.summary().contains(heldElsewhere ? QStringLiteral("only in this program (another "
                                                                            "program holds Ctrl+Shift+Space)")
                                                           : QStringLiteral("system-wide")),
                 qPrintable(shortcut.summary()));
        if (heldElsewhere) {
            return;
        }
        other.press(modifier, presses, lock);
        QCOMPARE(other.spacesReceived(), expected ? 0 : presses);
        // One plain press after it: once that is heard, everything before it was handled.
        other.press(0xffe1, 1);
        QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), expected + 1, 5000);
        QCOMPARE(other.spacesReceived(), 0);
        // Another key is taken in its place, and the old one is given back.
        shortcut.setKey(QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space));
        QVERIFY(shortcut.isSystemWide());
        other.press(0xffe1, 1);
        QCOMPARE(other.spacesReceived(), 1);
        other.press(0xffe9, 1);
        QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), expected + 2, 5000);
#endif
    }
};

QTEST_MAIN(TestGlobalShortcut)
#include "tst_globalshortcut.moc"
