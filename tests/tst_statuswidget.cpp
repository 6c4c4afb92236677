#include "device/devicepresencewatch.h"
#include "records/metatypes.h"
#include "ui/statuswidget.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

namespace {

// One emitted signal of the panel, in the order it was emitted.
struct Event {
    QString name;
    Telemetry telemetry;
    float verticalSpeed = 0.0f;
    float airspeed = 0.0f;
};

bool allZero(const Telemetry& t) {
    return t.airspeed == 0.0f && t.verticalSpeed == 0.0f && t.aileronAoa == 0.0f && t.aoa == 0.0f &&
           t.sideslip == 0.0f && t.rollRate == 0.0f && t.gForce == 0.0f && t.propAirflow == 0.0f &&
           t.trimmerRoll == 0.0f && t.trimmerPitch == 0.0f && t.trimmerYaw == 0.0f && t.gear == 0.0f &&
           t.airbrake == 0.0f && t.flaps == 0.0f && !t.onGround;
}

// The slider rows: object name prefix, range and the Telemetry field they drive.
struct Row {
    const char* name;
    int min;
    int max;
    float Telemetry::*field;
};

const Row rows[] = {
    {"airspeed", 0, 1000, &Telemetry::airspeed},
    {"prop_airflow", 0, 100, &Telemetry::propAirflow},
    {"aoa", -180, 180, &Telemetry::aoa},
    {"sideslip", -90, 90, &Telemetry::sideslip},
    {"roll_rate", -360, 360, &Telemetry::rollRate},
    {"g_force", -10, 10, &Telemetry::gForce},
    {"trimmer_roll", -100, 100, &Telemetry::trimmerRoll},
    {"trimmer_pitch", -100, 100, &Telemetry::trimmerPitch},
    {"trimmer_yaw", -100, 100, &Telemetry::trimmerYaw},
    {"gear", 0, 100, &Telemetry::gear},
    {"flaps", 0, 100, &Telemetry::flaps},
    {"airbrake", 0, 100, &Telemetry::airbrake},
    {"vertical_speed", -10, 10, &Telemetry::verticalSpeed},
};

} // namespace

class TestStatusWidget : public QObject {
    Q_OBJECT

private:
    StatusWidget* widget = nullptr;
    QList<Event> events;

    template <typename T> T* child(const QString& name) {
        T* c = widget->findChild<T*>(name);
        if (!c) {
            qFatal("missing child %s", qPrintable(name));
        }
        return c;
    }
    QString text(const QString& name) { return child<QLineEdit>(name)->text(); }
    QCheckBox* overrideBox() { return child<QCheckBox>(QStringLiteral("telemetry_override")); }
    QSlider* slider(const QString& base) { return child<QSlider>(base + QStringLiteral("_slider")); }
    // The presence watch, wired to the panel as the window wires it.
    DevicePresenceWatch* watchWith(DevicePresenceWatch::Probe probe) {
        auto* watch = new DevicePresenceWatch(widget);
        watch->setProbe(std::move(probe));
        connect(watch, &DevicePresenceWatch::presenceFound, widget, &StatusWidget::showDevicePresence);
        return watch;
    }

private slots:
    void initTestCase() { registerMetaTypes(); }

    void init() {
        // A slot that does not match its form object would only show up as a warning.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
        widget = new StatusWidget();
        events.clear();
        connect(widget, &StatusWidget::telemetryOverrideEnabled, this, [this] {
            events.append({QStringLiteral("enabled"), {}, 0, 0});
        });
        connect(widget, &StatusWidget::telemetryOverrideDisabled, this, [this] {
            events.append({QStringLiteral("disabled"), {}, 0, 0});
        });
        connect(widget, &StatusWidget::telemetryOverrided, this, [this](Telemetry t) {
            events.append({QStringLiteral("overrided"), t, 0, 0});
        });
        connect(widget, &StatusWidget::landed, this, [this](float verticalSpeed, float airspeed) {
            events.append({QStringLiteral("landed"), {}, verticalSpeed, airspeed});
        });
    }

    void cleanup() {
        delete widget;
        widget = nullptr;
    }

    void startsEmptyWithControlsDisabled() {
        QCOMPARE(widget->windowTitle(), QStringLiteral("Form"));
        for (const char* name :
             {"joystick_state", "rudder_state", "telemetry_data_source", "flight_module"}) {
            QCOMPARE(text(QLatin1String(name)), QStringLiteral("Not detected"));
        }
        for (const Row& row : rows) {
            const QString base = QLatin1String(row.name);
            // No game yet: a dash, not a value that could pass for a reading.
            QCOMPARE(text(base + QStringLiteral("_field")), QStringLiteral("\u2013"));
            QVERIFY(child<QLineEdit>(base + QStringLiteral("_field"))->isReadOnly());
            QCOMPARE(slider(base)->minimum(), row.min);
            QCOMPARE(slider(base)->maximum(), row.max);
            QCOMPARE(slider(base)->value(), 0);
            QVERIFY(!slider(base)->isEnabled());
        }
        QCOMPARE(text(QStringLiteral("on_ground_state_field")), QStringLiteral("\u2013"));
        QVERIFY(!child<QPushButton>(QStringLiteral("on_ground_state_button"))->isEnabled());
        QVERIFY(!child<QPushButton>(QStringLiteral("reset_telemetry_button"))->isEnabled());
    }

    void overrideBoxEnablesTheControls() {
        overrideBox()->setChecked(true);
        for (const Row& row : rows) {
            QVERIFY(slider(QLatin1String(row.name))->isEnabled());
        }
        QVERIFY(child<QPushButton>(QStringLiteral("on_ground_state_button"))->isEnabled());
        QVERIFY(child<QPushButton>(QStringLiteral("reset_telemetry_button"))->isEnabled());
        // Switching on announces the override but sends no record yet.
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].name, QStringLiteral("enabled"));

        overrideBox()->setChecked(false);
        for (const Row& row : rows) {
            QVERIFY(!slider(QLatin1String(row.name))->isEnabled());
        }
        QVERIFY(!child<QPushButton>(QStringLiteral("reset_telemetry_button"))->isEnabled());
    }

    void sliderSetsItsField_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("value");
        for (int i = 0; i < int(std::size(rows)); ++i) {
            QTest::addRow("%s max", rows[i].name) << i << rows[i].max;
            QTest::addRow("%s min", rows[i].name) << i << rows[i].min;
        }
    }

    void sliderSetsItsField() {
        QFETCH(int, row);
        QFETCH(int, value);
        const Row& r = rows[row];
        overrideBox()->setChecked(true);
        events.clear();

        slider(QLatin1String(r.name))->setValue(value);

        QCOMPARE(events.size(), value == 0 ? 0 : 1);
        if (value != 0) {
            const Telemetry& got = events[0].telemetry;
            QCOMPARE(got.*r.field, float(value));
            Telemetry other = got;
            other.*r.field = 0.0f;
            QVERIFY2(allZero(other), "only the slider's own field changes");
        }
        QCOMPARE(text(QLatin1String(r.name) + QStringLiteral("_field")), QString::number(value));
    }

    void valuesAreFormattedWithSixDigits_data() {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("integer") << 250.0f << QStringLiteral("250");
        QTest::newRow("fraction") << 0.1f << QStringLiteral("0.1");
        QTest::newRow("negative") << -12.5f << QStringLiteral("-12.5");
        QTest::newRow("large") << 1234567.0f << QStringLiteral("1.23457e+06");
        QTest::newRow("large negative") << -1234567.0f << QStringLiteral("-1.23457e+06");
    }

    void valuesAreFormattedWithSixDigits() {
        QFETCH(float, value);
        QFETCH(QString, shown);
        Telemetry t;
        t.airspeed = value;
        t.verticalSpeed = value;
        t.flaps = value;
        t.onGround = true;
        widget->changeTelemetry(t);
        QCOMPARE(text(QStringLiteral("airspeed_field")), shown);
        QCOMPARE(text(QStringLiteral("vertical_speed_field")), shown);
        QCOMPARE(text(QStringLiteral("flaps_field")), shown);
        QCOMPARE(text(QStringLiteral("on_ground_state_field")), QStringLiteral("YES"));

        PositionInput p;
        p.roll = value;
        p.pitch = -0.25f;
        p.yaw = 1.0f;
        widget->changePosition(p);
        QCOMPARE(text(QStringLiteral("roll_input")), shown);
        QCOMPARE(text(QStringLiteral("pitch_input")), QStringLiteral("-0.25"));
        QCOMPARE(text(QStringLiteral("yaw_input")), QStringLiteral("1"));
    }

    void longestValuesFitTheirFields() {
        // Laid out at its smallest, every value field still shows the widest six-digit number.
        widget->resize(widget->minimumSizeHint());
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
        const QString widest = QStringLiteral("-1.23457e+06");
        QStringList fields = {QStringLiteral("on_ground_state_field"), QStringLiteral("roll_input"),
                              QStringLiteral("pitch_input"), QStringLiteral("yaw_input")};
        for (const Row& r : rows) {
            fields.append(QLatin1String(r.name) + QStringLiteral("_field"));
        }
        for (const QString& name : fields) {
            const QLineEdit* field = child<QLineEdit>(name);
            QVERIFY2(field->width() > field->fontMetrics().horizontalAdvance(widest), qPrintable(name));
        }

        // A long aircraft name shows from its start.
        widget->changeTelemetrySource(Telemetry::TELEMETRY_SOURCE_MSFS,
                                      QStringLiteral("Bf 109 G-14 with a very long livery name indeed"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("flight_module"))->cursorPosition(), 0);
    }

    // The value fields and sliders repaint alone while a game streams, on a copy of what lies
    // behind them: a part repainted alone looks as it does in a full repaint of the panel, and
    // a slider's empty corner shows the group box's shaded inside, as the panel does with the
    // slider hidden (not the window's plain colour, nor what the window held there before).
    void fieldCornersShowThePanel() {
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
        const QImage panel = widget->grab().toImage();
        for (const Row& r : rows) {
            QSlider* const s = slider(QLatin1String(r.name));
            for (QWidget* part : {static_cast<QWidget*>(child<QLineEdit>(QLatin1String(r.name) + "_field")),
                                  static_cast<QWidget*>(s)}) {
                // Still opaque once shown, whatever the style did when it polished it.
                QVERIFY(part->testAttribute(Qt::WA_OpaquePaintEvent));
                const QImage alone = part->grab().toImage().convertToFormat(panel.format());
                const QPoint at = part->mapTo(widget, QPoint(0, 0));
                QCOMPARE(alone, panel.copy(QRect(at, part->size())));
            }
            s->hide();
            const QColor behind = widget->grab().toImage().pixelColor(s->mapTo(widget, QPoint(0, 0)));
            s->show();
            QCOMPARE(s->grab().toImage().pixelColor(0, 0).rgb(), behind.rgb());
        }
    }

    // A field that only shows its text is painted on a kept picture of its face; it looks
    // exactly as the field painting itself does (an editable field paints itself), whatever the
    // text, and a text too long to show whole is left to the field.
    void plainFieldsLookAsTheyPaintThemselves_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("a number") << "airspeed_field" << "250.125";
        QTest::newRow("the longest number") << "g_force_field" << "-1.23457e+06";
        QTest::newRow("a dash") << "aoa_field" << "\u2013";
        QTest::newRow("a word") << "on_ground_state_field" << "YES";
        QTest::newRow("a device") << "joystick_state" << "Connected (Version 1.2.3)";
        QTest::newRow("accents and a trailing space") << "flight_module" << "Bf 109 \u00e9 ";
        QTest::newRow("too long to show whole")
            << "flight_module" << "A name much longer than the field that shows it, scrolled to its start";
    }
    void plainFieldsLookAsTheyPaintThemselves() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
        auto* field = child<QLineEdit>(name);
        field->clearFocus(); // an editable field with the focus shows its cursor
        field->setText(text);
        field->setCursorPosition(0);
        const QImage plain = field->grab().toImage();
        field->setReadOnly(false);
        const QImage itself = field->grab().toImage();
        field->setReadOnly(true);
        QCOMPARE(plain, itself);
        // Shown again at once after a change, from the kept face.
        field->setText(text + "1");
        field->setReadOnly(false);
        const QImage changed = field->grab().toImage();
        field->setReadOnly(true);
        QCOMPARE(field->grab().toImage(), changed);
        QVERIFY(changed != itself);
    }

    void gameRecordsAreIgnoredWhileOverriding() {
        overrideBox()->setChecked(true);
        Telemetry game;
        game.airspeed = 250.0f;
        game.onGround = true;
        widget->changeTelemetry(game);
        QCOMPARE(text(QStringLiteral("airspeed_field")), QStringLiteral("0"));
        QCOMPARE(text(QStringLiteral("on_ground_state_field")), QStringLiteral("NO"));

        // The source and device slots still update their fields.
        widget->changeTelemetrySource(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C_50"));
        widget->connectJoystick(0x03020125u);
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), QStringLiteral("DCS"));
        QCOMPARE(text(QStringLiteral("flight_module")), QStringLiteral("F-16C_50"));
        QCOMPARE(text(QStringLiteral("joystick_state")), QStringLiteral("Connected (Version 1.2.3)"));

        overrideBox()->setChecked(false);
        widget->changeTelemetry(game);
        QCOMPARE(text(QStringLiteral("airspeed_field")), QStringLiteral("250"));
    }

    void sourceDisplayNames_data() {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("none") << 0 << QString() << QStringLiteral("Not detected");
        QTest::newRow("msfs") << 1 << QStringLiteral("DR400 Ecoflyer") << QStringLiteral("MSFS");
        QTest::newRow("dcs") << 2 << QStringLiteral("F-16C_50") << QStringLiteral("DCS");
        QTest::newRow("il2") << 3 << QStringLiteral("Generic warbird") << QStringLiteral("Il2 Shturmovik");
        QTest::newRow("warthunder") << 4 << QStringLiteral("Generic warbird") << QStringLiteral("Warthunder");
        QTest::newRow("condor") << 5 << QStringLiteral("Generic glider") << QStringLiteral("Condor2");
        QTest::newRow("xplane") << 6 << QStringLiteral("Cessna 172 SP") << QStringLiteral("X-Plane");
        QTest::newRow("beyond the list")
            << 99 << QStringLiteral("Cessna 172 SP") << QStringLiteral("Not detected");
    }

    void sourceDisplayNames() {
        QFETCH(int, source);
        QFETCH(QString, name);
        QFETCH(QString, shown);
        Telemetry t;
        t.airspeed = 99.0f;
        widget->changeTelemetry(t);
        widget->changeTelemetrySource(static_cast<Telemetry::Source>(source), name);
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), shown);
        QCOMPARE(text(QStringLiteral("flight_module")), name);

        // The end of a stream clears the source and every value: none of them is live any more.
        widget->endTelemetry();
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), QStringLiteral("Not detected"));
        QCOMPARE(text(QStringLiteral("flight_module")), QStringLiteral("Not detected"));
        for (const Row& row : rows) {
            QCOMPARE(text(QLatin1String(row.name) + QStringLiteral("_field")), QStringLiteral("\u2013"));
        }
        QCOMPARE(text(QStringLiteral("on_ground_state_field")), QStringLiteral("\u2013"));
        // The next stream shows its values again.
        widget->changeTelemetry(t);
        QCOMPARE(text(QStringLiteral("airspeed_field")), QStringLiteral("99"));
    }

    // The version is the device's three bytes after the report id; a device whose reports
    // stall reads "Not responding" until they flow again, and a lost one "Not detected".
    void devicesShowTheirVersion_data() {
        QTest::addColumn<uint>("version");
        QTest::addColumn<QString>("shown");
        QTest::newRow("zero") << 0u << QStringLiteral("Connected (Version 0.0.0)");
        QTest::newRow("version read failed, report id only")
            << 37u << QStringLiteral("Connected (Version 0.0.0)");
        QTest::newRow("1.2.3") << 50463013u << QStringLiteral("Connected (Version 1.2.3)");
        QTest::newRow("largest") << 4294967295u << QStringLiteral("Connected (Version 255.255.255)");
    }

    void devicesShowTheirVersion() {
        QFETCH(uint, version);
        QFETCH(QString, shown);
        widget->connectJoystick(version);
        QCOMPARE(text(QStringLiteral("joystick_state")), shown);
        QCOMPARE(text(QStringLiteral("rudder_state")), QStringLiteral("Not detected"));
        widget->connectRudder(version);
        QCOMPARE(text(QStringLiteral("rudder_state")), shown);
        widget->setJoystickResponding(false);
        QCOMPARE(text(QStringLiteral("joystick_state")), QStringLiteral("Not responding"));
        QCOMPARE(text(QStringLiteral("rudder_state")), shown);
        widget->setJoystickResponding(true);
        QCOMPARE(text(QStringLiteral("joystick_state")), shown);
        widget->setRudderResponding(false);
        widget->disconnectJoystick();
        QCOMPARE(text(QStringLiteral("joystick_state")), QStringLiteral("Not detected"));
        QCOMPARE(text(QStringLiteral("rudder_state")), QStringLiteral("Not responding"));
        // A late word about a device already gone changes nothing.
        widget->setJoystickResponding(false);
        QCOMPARE(text(QStringLiteral("joystick_state")), QStringLiteral("Not detected"));
        widget->disconnectRudder();
        QCOMPARE(text(QStringLiteral("rudder_state")), QStringLiteral("Not detected"));
    }

    // A device attached without permission is named as such, with the udev advice, until the
    // loop connects it; a connected device is never probed.
    void devicesFoundWithoutPermission_data() {
        QTest::addColumn<int>("joystick");
        QTest::addColumn<int>("rudder");
        QTest::addColumn<bool>("joystickConnected");
        QTest::addColumn<QString>("joystickShown");
        QTest::addColumn<QString>("rudderShown");
        using P = DeviceAccess::Presence;
        const QString absent = QStringLiteral("Not detected");
        const QString refused = QStringLiteral("Found, no permission");
        const QString connected = QStringLiteral("Connected (Version 1.2.3)");
        QTest::newRow("both absent") << int(P::Absent) << int(P::Absent) << false << absent << absent;
        QTest::newRow("joystick refused")
            << int(P::NoPermission) << int(P::Absent) << false << refused << absent;
        QTest::newRow("rudder refused")
            << int(P::Absent) << int(P::NoPermission) << false << absent << refused;
        QTest::newRow("permitted, not yet open")
            << int(P::Permitted) << int(P::Permitted) << false << absent << absent;
        QTest::newRow("connected joystick is not probed")
            << int(P::NoPermission) << int(P::NoPermission) << true << connected << refused;
    }

    void devicesFoundWithoutPermission() {
        QFETCH(int, joystick);
        QFETCH(int, rudder);
        QFETCH(bool, joystickConnected);
        QFETCH(QString, joystickShown);
        QFETCH(QString, rudderShown);
        QList<unsigned short> asked;
        DevicePresenceWatch* watch = watchWith([&](unsigned short productId) {
            asked.append(productId);
            return DeviceAccess::Presence(productId == 0x7A10 ? joystick : rudder);
        });
        if (joystickConnected) {
            widget->connectJoystick(0x03020125u);
            watch->connectJoystick();
        }
        watch->probe();
        QCOMPARE(text(QStringLiteral("joystick_state")), joystickShown);
        QCOMPARE(text(QStringLiteral("rudder_state")), rudderShown);
        QCOMPARE(asked.contains(0x7A10), !joystickConnected);
        QVERIFY(asked.contains(0x7A2C));
        for (const char* name : {"joystick_state", "rudder_state"}) {
            QLineEdit* field = child<QLineEdit>(QString::fromLatin1(name));
            const bool refusedShown = field->text() == QStringLiteral("Found, no permission");
            QCOMPARE(field->toolTip().contains(QStringLiteral("udevadm control --reload-rules")),
                     refusedShown);
            QCOMPARE(field->toolTip().contains(QStringLiteral("TAG+=\"uaccess\"")), refusedShown);
        }

        // Permission granted and the loop connects: the version replaces the hint and its tip.
        widget->connectJoystick(0x03020125u);
        widget->connectRudder(0x03020125u);
        watch->connectJoystick();
        watch->connectRudder();
        QCOMPARE(text(QStringLiteral("rudder_state")), QStringLiteral("Connected (Version 1.2.3)"));
        QVERIFY(child<QLineEdit>(QStringLiteral("rudder_state"))->toolTip().isEmpty());
        asked.clear();
        watch->probe();
        QVERIFY(asked.isEmpty());
        // A late finding about a device the loop has connected since leaves its version on show.
        widget->showDevicePresence(0x7A2C, DeviceAccess::Presence::NoPermission);
        QCOMPARE(text(QStringLiteral("rudder_state")), QStringLiteral("Connected (Version 1.2.3)"));
        // Unplugged: "Not detected" at once, and looked for again.
        widget->disconnectRudder();
        watch->disconnectRudder();
        QCOMPARE(text(QStringLiteral("rudder_state")), QStringLiteral("Not detected"));
        watch->probe();
        QCOMPARE(asked, QList<unsigned short>{0x7A2C});
    }

    // The probe runs on its own while a device is missing, without anyone calling it.
    void probeRunsOnItsTimer() {
        int calls = 0;
        DevicePresenceWatch* watch = watchWith([&](unsigned short) {
            ++calls;
            return DeviceAccess::Presence::NoPermission;
        });
        QTRY_COMPARE_WITH_TIMEOUT(text(QStringLiteral("joystick_state")),
                                  QStringLiteral("Found, no permission"), 20000);
        QVERIFY(calls >= 2);

        // With both connected the watch rests; a device lost afterwards is looked for again.
        widget->connectJoystick(0x03020125u);
        widget->connectRudder(0x03020125u);
        watch->connectJoystick();
        watch->connectRudder();
        widget->disconnectRudder();
        watch->disconnectRudder();
        QCOMPARE(text(QStringLiteral("rudder_state")), QStringLiteral("Not detected"));
        QTRY_COMPARE_WITH_TIMEOUT(text(QStringLiteral("rudder_state")),
                                  QStringLiteral("Found, no permission"), 20000);
        QCOMPARE(text(QStringLiteral("joystick_state")), QStringLiteral("Connected (Version 1.2.3)"));
    }

    void onGroundButtonTwice() {
        overrideBox()->setChecked(true);
        slider(QStringLiteral("airspeed"))->setValue(120);
        slider(QStringLiteral("vertical_speed"))->setValue(-3);
        events.clear();
        auto* button = child<QPushButton>(QStringLiteral("on_ground_state_button"));

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(events.size(), 2);
        QCOMPARE(events[0].name, QStringLiteral("landed"));
        QCOMPARE(events[0].verticalSpeed, -3.0f);
        QCOMPARE(events[0].airspeed, 120.0f);
        QCOMPARE(events[1].name, QStringLiteral("overrided"));
        QVERIFY(events[1].telemetry.onGround);
        QCOMPARE(events[1].telemetry.airspeed, 120.0f);
        QCOMPARE(text(QStringLiteral("on_ground_state_field")), QStringLiteral("YES"));

        events.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].name, QStringLiteral("overrided"));
        QVERIFY(!events[0].telemetry.onGround);
        QCOMPARE(text(QStringLiteral("on_ground_state_field")), QStringLiteral("NO"));
    }

    void switchingOffResetsAndThenAnnounces() {
        overrideBox()->setChecked(true);
        slider(QStringLiteral("airspeed"))->setValue(300);
        QCOMPARE(events.last().telemetry.airspeed, 300.0f);
        events.clear();

        overrideBox()->setChecked(false);

        QCOMPARE(slider(QStringLiteral("airspeed"))->value(), 0);
        QCOMPARE(events.size(), 3);
        QCOMPARE(events[0].name, QStringLiteral("overrided")); // from the slider on its way to 0
        QVERIFY(allZero(events[0].telemetry));
        QCOMPARE(events[1].name, QStringLiteral("overrided")); // from the reset itself
        QVERIFY(allZero(events[1].telemetry));
        QCOMPARE(events[2].name, QStringLiteral("disabled"));
        // No game streams: the fields go back to showing that nothing arrives.
        QCOMPARE(text(QStringLiteral("airspeed_field")), QStringLiteral("\u2013"));
        QVERIFY(child<QLineEdit>(QStringLiteral("airspeed_field"))->isReadOnly());
    }

    // While the override is on, a value typed into a field moves its slider and is sent;
    // beyond the slider's range the nearest end is taken; a typo changes nothing.
    void typedOverrideValues_data() {
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("sent");
        QTest::newRow("airspeed 250") << "airspeed"
                                      << "250" << 250 << 1;
        QTest::newRow("airspeed 1200 above 1000") << "airspeed"
                                                  << "1200" << 1000 << 1;
        QTest::newRow("aoa -500 below -180") << "aoa"
                                             << "-500" << -180 << 1;
        QTest::newRow("g 2.6 rounds") << "g_force"
                                      << "2.6" << 3 << 1;
        QTest::newRow("vertical speed -4") << "vertical_speed"
                                           << "-4" << -4 << 1;
        QTest::newRow("not a number") << "flaps"
                                      << "abc" << 0 << 0;
        QTest::newRow("infinity") << "gear"
                                  << "inf" << 0 << 0;
    }

    void typedOverrideValues() {
        QFETCH(QString, row);
        QFETCH(QString, typed);
        QFETCH(int, expected);
        QFETCH(int, sent);
        auto* field = child<QLineEdit>(row + QStringLiteral("_field"));
        overrideBox()->setChecked(true);
        QVERIFY(!field->isReadOnly());
        events.clear();

        field->setText(typed);
        emit field->editingFinished();

        QCOMPARE(slider(row)->value(), expected);
        QCOMPARE(events.size(), sent);
        QCOMPARE(field->text(), QString::number(expected));
        for (const Row& r : rows) {
            if (QLatin1String(r.name) == row && sent > 0) {
                QCOMPARE(events.last().telemetry.*(r.field), float(expected));
            }
        }

        // Switched off, the fields ignore typing again and look it.
        overrideBox()->setChecked(false);
        QVERIFY(field->isReadOnly());
        QVERIFY(field->palette().color(QPalette::Base) == field->palette().color(QPalette::Window));
    }

    // A replay feeds the loop as a game would; the panel says it is one.
    void replayIsMarkedAsSuch() {
        widget->changeTelemetrySource(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C_50"));
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), QStringLiteral("DCS"));
        widget->showReplay(true, QStringLiteral("dcs-flight.csv"));
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), QStringLiteral("Replay: dcs-flight.csv"));
        QCOMPARE(text(QStringLiteral("flight_module")), QStringLiteral("F-16C_50"));
        QVERIFY(child<QLineEdit>(QStringLiteral("telemetry_data_source"))
                    ->toolTip()
                    .contains(QStringLiteral("DCS")));
        // A source change during the replay keeps the mark; its end removes it.
        widget->changeTelemetrySource(Telemetry::TELEMETRY_SOURCE_IL2, QStringLiteral("Bf 109"));
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), QStringLiteral("Replay: dcs-flight.csv"));
        // The tip is a sentence: it names the game as messages do.
        QCOMPARE(child<QLineEdit>(QStringLiteral("telemetry_data_source"))->toolTip(),
                 QStringLiteral("A recorded IL-2 Sturmovik flight, not a running game"));
        widget->showReplay(false, QString());
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), QStringLiteral("Il2 Shturmovik"));
        widget->endTelemetry();
        QCOMPARE(text(QStringLiteral("telemetry_data_source")), QStringLiteral("Not detected"));
    }

    void resetSendsOneRecordPerMovedSlider() {
        overrideBox()->setChecked(true);
        slider(QStringLiteral("aoa"))->setValue(-20);
        slider(QStringLiteral("gear"))->setValue(100);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("on_ground_state_button")), Qt::LeftButton);
        events.clear();

        QTest::mouseClick(child<QPushButton>(QStringLiteral("reset_telemetry_button")), Qt::LeftButton);

        QCOMPARE(events.size(), 3);
        for (const Event& e : std::as_const(events)) {
            QCOMPARE(e.name, QStringLiteral("overrided"));
            QVERIFY(allZero(e.telemetry));
        }
        QCOMPARE(slider(QStringLiteral("aoa"))->value(), 0);
        QCOMPARE(slider(QStringLiteral("gear"))->value(), 0);
        QCOMPARE(text(QStringLiteral("on_ground_state_field")), QStringLiteral("NO"));
        QCOMPARE(text(QStringLiteral("gear_field")), QStringLiteral("0"));
    }

    // The sliders follow the game's values without sending anything; the override starts from
    // them, says that the game's data is ignored, and a slider then changes only its own field.
    void switchingOnStartsFromLiveValues_data() {
        QTest::addColumn<float>("airspeed");
        QTest::addColumn<float>("g");
        QTest::addColumn<bool>("streamEnds");
        QTest::addColumn<int>("airspeedSlider");
        QTest::addColumn<int>("gSlider");
        QTest::newRow("in flight") << 250.4f << 3.0f << false << 250 << 3;
        QTest::newRow("beyond the sliders' ends") << 1500.0f << -12.0f << false << 1000 << -10;
        QTest::newRow("stream ended") << 250.0f << 3.0f << true << 0 << 0;
    }
    void switchingOnStartsFromLiveValues() {
        QFETCH(float, airspeed);
        QFETCH(float, g);
        QFETCH(bool, streamEnds);
        QFETCH(int, airspeedSlider);
        QFETCH(int, gSlider);
        Telemetry game;
        game.airspeed = airspeed;
        game.gForce = g;
        game.aoa = 4.5f;
        widget->changeTelemetry(game);
        if (streamEnds) {
            widget->endTelemetry();
        }
        QCOMPARE(slider(QStringLiteral("airspeed"))->value(), airspeedSlider);
        QCOMPARE(slider(QStringLiteral("g_force"))->value(), gSlider);
        QVERIFY(events.isEmpty());
        const auto* notice = child<QWidget>(QStringLiteral("override_notice"));
        QVERIFY(!notice->isVisibleTo(widget));

        overrideBox()->setChecked(true);

        QVERIFY(notice->isVisibleTo(widget));
        QVERIFY(notice->property("text").toString().contains(QStringLiteral("ignored")));
        QCOMPARE(events.size(), 1); // announced; the loop keeps the game's last record meanwhile
        const Telemetry expected = streamEnds ? Telemetry() : game;
        const QString shownAirspeed = QString::number(static_cast<double>(expected.airspeed), 'g', 6);
        QCOMPARE(text(QStringLiteral("airspeed_field")), shownAirspeed);
        slider(QStringLiteral("flaps"))->setValue(40);
        const Telemetry sent = events.last().telemetry;
        QCOMPARE(sent.flaps, 40.0f);
        QCOMPARE(QString::number(static_cast<double>(sent.airspeed), 'g', 6), shownAirspeed);
        QCOMPARE(sent.gForce, expected.gForce);
        QCOMPARE(sent.aoa, expected.aoa);

        overrideBox()->setChecked(false);
        QVERIFY(!notice->isVisibleTo(widget));
    }

    void verticalSpeedShowsBeforeSending() {
        overrideBox()->setChecked(true);
        QStringList shownAtEmission;
        connect(widget, &StatusWidget::telemetryOverrided, this, [&] {
            shownAtEmission << text(QStringLiteral("vertical_speed_field"))
                            << text(QStringLiteral("airspeed_field"));
        });
        slider(QStringLiteral("vertical_speed"))->setValue(5);
        slider(QStringLiteral("airspeed"))->setValue(80);
        // The vertical speed is already shown when its record leaves; the airspeed is shown after.
        QCOMPARE(shownAtEmission, QStringList({QStringLiteral("5"), QStringLiteral("0"), QStringLiteral("5"),
                                               QStringLiteral("0")}));
        QCOMPARE(text(QStringLiteral("airspeed_field")), QStringLiteral("80"));
    }
};

QTEST_MAIN(TestStatusWidget)
#include "tst_statuswidget.moc"
