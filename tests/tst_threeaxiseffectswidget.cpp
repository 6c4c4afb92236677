#include "forces/metatypes.h"
#include "profiles/effectsprofile.h"
#include "profiles/profilestore.h"
#include "ui/axiseffectswidget.h"
#include "ui/threeaxiseffectswidget.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Rows of the effect types in an axis editor's combo box, by EffectType value.
const int comboRow[EffectsProfile::EffectTypeCount] = {2, 1, 3, 0, 4, 6, 7, 8, 9, 5, 10, 11, 12};

} // namespace

class TestThreeAxisEffectsWidget : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
    std::unique_ptr<ThreeAxisEffectsWidget> widget;
    std::unique_ptr<QSignalSpy> sudden;
    std::unique_ptr<QSignalSpy> moderate;

    template <typename T> T* child(const QString& name) {
        T* c = widget->findChild<T*>(name);
        if (!c) {
            qFatal("missing child %s", qPrintable(name));
        }
        return c;
    }
    QComboBox* gameCombo() { return child<QComboBox>(QStringLiteral("game_combo")); }
    QComboBox* profileCombo() { return child<QComboBox>(QStringLiteral("profile_combo")); }
    AxisEffectsWidget* axisEditor(int axis) {
        static const char* names[] = {"ailerons_effects_widget", "elevator_effects_widget",
                                      "rudder_effects_widget"};
        return child<AxisEffectsWidget>(QLatin1String(names[axis]));
    }
    // Whether an axis editor offers an effect type in its combo box.
    bool offers(int axis, int type) {
        auto* combo = axisEditor(axis)->findChild<QComboBox*>(QStringLiteral("effects_combo"));
        return !qobject_cast<QListView*>(combo->view())->isRowHidden(comboRow[type]);
    }
    int offeredCount(int axis) {
        int n = 0;
        for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
            n += offers(axis, t) ? 1 : 0;
        }
        return n;
    }
    void addEffect(int axis, int type) {
        auto* combo = axisEditor(axis)->findChild<QComboBox*>(QStringLiteral("effects_combo"));
        combo->setCurrentIndex(comboRow[type]);
        QTest::mouseClick(axisEditor(axis)->findChild<QPushButton*>(QStringLiteral("activate_effect_button")),
                          Qt::LeftButton);
    }
    void build() {
        widget = std::make_unique<ThreeAxisEffectsWidget>();
        sudden = std::make_unique<QSignalSpy>(widget.get(), &ThreeAxisEffectsWidget::suddenValueChange);
        moderate = std::make_unique<QSignalSpy>(widget.get(), &ThreeAxisEffectsWidget::moderateValueChange);
    }
    // Writes a profile file as the store would, before the editor scans the directory.
    static QString store(Telemetry::Source source, const QString& module, const QString& comment,
                         float springStrength) {
        EffectsProfile p;
        p.resetToDefaults();
        p.metadata.flight_data_source = source;
        p.metadata.flight_module = module;
        p.metadata.comment = comment;
        for (AxisEffectsSettings& a : p.effects.axes) {
            a.simple_spring.active = true;
            a.simple_spring.total_effect_strength = springStrength;
        }
        return ProfileStore().save(p);
    }
    static int rowOf(const QString& fileName) {
        QStandardItemModel* model = ProfileStore::listModel();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->item(row)->data(ProfileStore::FileNameRole).toString() == fileName) {
                return row;
            }
        }
        return -1;
    }

private slots:
    void initTestCase() { registerMetaTypes(); }

    void init() {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("connectSlotsByName")));
        previousDir = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
    }

    void cleanup() {
        sudden.reset();
        moderate.reset();
        widget.reset();
        QDir::setCurrent(previousDir);
        dir.reset();
    }

    void controlsAfterConstruction() {
        build();
        QCOMPARE(widget->windowTitle(), QStringLiteral("Form"));
        QStringList entries;
        for (int i = 0; i < gameCombo()->count(); ++i) {
            entries << gameCombo()->itemText(i);
        }
        QCOMPARE(entries,
                 QStringList({"DISABLED", "MSFS", "DCS", "IL2 SHTURMOVIK", "WARTHUNDER", "CONDOR2"}));
        QCOMPARE(gameCombo()->currentIndex(), 0);
        QCOMPARE(profileCombo()->model(), ProfileStore::listModel());
        QCOMPARE(profileCombo()->currentIndex(), -1);
        QVERIFY(profileCombo()->minimumWidth() >= 500);
        auto* tabs = child<QTabWidget>(QStringLiteral("tabWidget"));
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Ailerons"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Elevator"));
        QCOMPARE(tabs->tabText(2), QStringLiteral("Rudder"));
        QCOMPARE(child<QPushButton>(QStringLiteral("save_profile"))->text(), QStringLiteral("Save profile"));
        QCOMPARE(child<QPushButton>(QStringLiteral("delete_profile"))->text(),
                 QStringLiteral("Delete profile"));
        QVERIFY(QDir(QStringLiteral("effect_profiles")).exists());
        QCOMPARE(sudden->count() + moderate->count(), 0);
    }

    void effectTypesBySource_data() {
        QTest::addColumn<int>("source");
        QTest::addColumn<QList<int>>("types"); // as offered on the elevator
        QTest::newRow("disabled") << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12};
        QTest::newRow("msfs") << 1 << QList<int>{0, 1, 2, 4, 5, 6, 7, 8, 9, 12};
        QTest::newRow("dcs") << 2 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12};
        QTest::newRow("il2") << 3 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12};
        QTest::newRow("warthunder") << 4 << QList<int>{0, 1, 2, 3, 5, 6, 7, 8, 12};
        QTest::newRow("condor") << 5 << QList<int>{0, 1, 2, 3, 5, 7, 12};
    }

    void effectTypesBySource() {
        QFETCH(int, source);
        QFETCH(QList<int>, types);
        build();
        gameCombo()->setCurrentIndex(source);
        QCOMPARE(int(currentEffectsProfile().metadata.flight_data_source), source);
        for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
            QCOMPARE(offers(1, t), types.contains(t));
            // The elevator weight is never offered on ailerons or rudder, the game-specific
            // shakers of IL-2 and Condor never at all.
            const bool elsewhere = types.contains(t) && t != EffectsProfile::EFFECT_TYPE_ELEVATOR_WEIGHT;
            QCOMPARE(offers(0, t), elsewhere);
            QCOMPARE(offers(2, t), elsewhere);
        }
        QCOMPARE(sudden->count() + moderate->count(), 0);
    }

    void choosingMsfsDropsDirectXSilently() {
        build();
        gameCombo()->setCurrentIndex(Telemetry::TELEMETRY_SOURCE_DCS);
        addEffect(0, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB);
        addEffect(2, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB);
        QCOMPARE(sudden->count(), 2);
        // The emitted copy carries the whole profile's axes at the time of the edit.
        const auto sent = sudden->last().at(0).value<EffectsSettings>();
        QVERIFY(sent.axes[0].direct_x.active);
        QVERIFY(sent.axes[2].direct_x.active);
        QVERIFY(currentEffectsProfile().effects.axes[2].direct_x.active);

        gameCombo()->setCurrentIndex(Telemetry::TELEMETRY_SOURCE_MSFS);

        QVERIFY(!currentEffectsProfile().effects.axes[0].direct_x.active);
        QVERIFY(!currentEffectsProfile().effects.axes[2].direct_x.active);
        QVERIFY(!offers(0, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB));
        QCOMPARE(sudden->count(), 2);
        QCOMPARE(moderate->count(), 0);
    }

    void panelEditsLeaveAsModerateCopies() {
        build();
        addEffect(1, EffectsProfile::EFFECT_TYPE_ELEVATOR_WEIGHT);
        auto* page = axisEditor(1)->findChild<QStackedWidget*>(QStringLiteral("effect_stack"))->widget(2);
        page->findChild<QSpinBox*>(QStringLiteral("total_effect_strength"))->setValue(45);
        QCOMPARE(moderate->count(), 1);
        const auto sent = moderate->last().at(0).value<EffectsSettings>();
        QCOMPARE(sent.axes[1].elevator_weight.total_effect_strength, 45.0f);
        QVERIFY(sent.axes[1].elevator_weight.active);
    }

    void typedFlightModuleNamesTheSavedFile() {
        build();
        gameCombo()->setCurrentIndex(Telemetry::TELEMETRY_SOURCE_DCS);
        QTest::keyClicks(child<QLineEdit>(QStringLiteral("flight_module_input")), QStringLiteral("F-16C_50"));
        QCOMPARE(currentEffectsProfile().metadata.flight_module, QStringLiteral("F-16C_50"));
        QCOMPARE(sudden->count() + moderate->count(), 0);

        QTest::mouseClick(child<QPushButton>(QStringLiteral("save_profile")), Qt::LeftButton);

        QVERIFY(QFile::exists(QStringLiteral("effect_profiles/DCS_F_16C_50.json")));
        const int row = rowOf(QStringLiteral("DCS_F_16C_50.json"));
        QVERIFY(row >= 0);
        QCOMPARE(profileCombo()->currentIndex(), row);
        QCOMPARE(sudden->count() + moderate->count(), 0); // marking the row does not load it
    }

    void loadingACondorProfile() {
        EffectsProfile p;
        p.resetToDefaults();
        p.metadata.flight_data_source = Telemetry::TELEMETRY_SOURCE_CONDOR;
        p.metadata.flight_module = QStringLiteral("ASK 21");
        p.effects.axes[1].landing_jolt.active = true; // not a Condor 2 effect
        p.effects.axes[1].flaps_shaker.active = true;
        const QString name = ProfileStore().save(p);
        build();
        const int row = rowOf(name);
        QVERIFY(row >= 0);

        profileCombo()->setCurrentIndex(row);
        emit profileCombo()->activated(row);

        QCOMPARE(sudden->count(), 1);
        // The copy leaves as the file has it; the editor then switches off what Condor lacks.
        const auto sent = sudden->last().at(0).value<EffectsSettings>();
        QVERIFY(sent.axes[1].landing_jolt.active);
        QVERIFY(!currentEffectsProfile().effects.axes[1].landing_jolt.active);
        QVERIFY(currentEffectsProfile().effects.axes[1].flaps_shaker.active);
        QCOMPARE(gameCombo()->currentText(), QStringLiteral("CONDOR2"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("flight_module_input"))->text(), QStringLiteral("ASK 21"));
        QCOMPARE(offeredCount(1), 7);
        QCOMPARE(offeredCount(0), 6);
        QCOMPARE(offeredCount(2), 6);
        QCOMPARE(moderate->count(), 0);
    }

    void autoSelectTakesTheFirstExactMatch() {
        const QString a =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"), QStringLiteral("A"), 11.0f);
        const QString b =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"), QStringLiteral("B"), 22.0f);
        QCOMPARE(a, QStringLiteral("MSFS_Cessna_A.json"));
        QCOMPARE(b, QStringLiteral("MSFS_Cessna_B.json"));
        build();

        widget->selectProfileFor(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("cessna"));
        widget->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("Cessna"));
        widget->selectProfileFor(Telemetry::TELEMETRY_SOURCE_NONE, QStringLiteral("Cessna"));
        QCOMPARE(sudden->count(), 0);
        QCOMPARE(profileCombo()->currentIndex(), -1);

        widget->selectProfileFor(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"));
        QCOMPARE(sudden->count(), 1);
        QCOMPARE(profileCombo()->currentIndex(), rowOf(a));
        QCOMPARE(currentEffectsProfile().effects.axes[0].simple_spring.total_effect_strength, 11.0f);
        QCOMPARE(sudden->last().at(0).value<EffectsSettings>().axes[2].simple_spring.total_effect_strength,
                 11.0f);
        QCOMPARE(child<QLineEdit>(QStringLiteral("profile_comment_input"))->text(), QStringLiteral("A"));
    }

    void namesDifferingInCaseKeepTheirOwnRows() {
        const QString lower =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("cessna"), QString(), 22.0f);
        const QString upper =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"), QString(), 11.0f);
        build();
        QVERIFY(rowOf(upper) < rowOf(lower));

        widget->selectProfileFor(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("cessna"));
        QCOMPARE(profileCombo()->currentIndex(), rowOf(lower));
        QCOMPARE(currentEffectsProfile().effects.axes[0].simple_spring.total_effect_strength, 22.0f);

        // Saving marks the saved file's row, so a following delete removes that file only.
        QTest::mouseClick(child<QPushButton>(QStringLiteral("save_profile")), Qt::LeftButton);
        QCOMPARE(profileCombo()->currentIndex(), rowOf(lower));
        QTest::mouseClick(child<QPushButton>(QStringLiteral("delete_profile")), Qt::LeftButton);
        QVERIFY(!QFile::exists(QStringLiteral("effect_profiles/") + lower));
        QVERIFY(QFile::exists(QStringLiteral("effect_profiles/") + upper));
    }

    void deleteRemovesTheCurrentFileAndResets() {
        const QString name = store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"), QString(), 30.0f);
        build();
        // Without a current row nothing is deleted.
        QTest::mouseClick(child<QPushButton>(QStringLiteral("delete_profile")), Qt::LeftButton);
        QVERIFY(QFile::exists(QStringLiteral("effect_profiles/") + name));

        widget->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"));
        QCOMPARE(currentEffectsProfile().effects.axes[0].simple_spring.total_effect_strength, 30.0f);
        QCOMPARE(sudden->count(), 1);

        QTest::mouseClick(child<QPushButton>(QStringLiteral("delete_profile")), Qt::LeftButton);

        QVERIFY(!QFile::exists(QStringLiteral("effect_profiles/") + name));
        QCOMPARE(rowOf(name), -1);
        QCOMPARE(profileCombo()->currentIndex(), -1);
        QVERIFY(!currentEffectsProfile().effects.axes[0].simple_spring.active);
        QCOMPARE(int(currentEffectsProfile().metadata.flight_data_source), 0);
        QCOMPARE(gameCombo()->currentIndex(), 0);
        QVERIFY(child<QLineEdit>(QStringLiteral("flight_module_input"))->text().isEmpty());
        QCOMPARE(sudden->count(), 1); // the reset is not sent
        QCOMPARE(moderate->count(), 0);
    }

    void unknownSourceInAFileIsHandled() {
        QDir().mkpath(QStringLiteral("effect_profiles"));
        QFile f(QStringLiteral("effect_profiles/odd.json"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"metadata":{"flight_data_source":9,"flight_module":"X","comment":""},"effects":{}})");
        f.close();
        build();
        const int row = rowOf(QStringLiteral("odd.json"));
        QVERIFY(row >= 0);
        profileCombo()->setCurrentIndex(row);
        emit profileCombo()->activated(row);
        QCOMPARE(sudden->count(), 1);
        // An unknown source is offered what War Thunder, whose name it is listed under, offers.
        QCOMPARE(offeredCount(1), 9);
        QCOMPARE(gameCombo()->currentIndex(), -1);
    }
};

QTEST_MAIN(TestThreeAxisEffectsWidget)
#include "tst_threeaxiseffectswidget.moc"
