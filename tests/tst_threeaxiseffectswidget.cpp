#include "profiles/profilesession.h"
#include "profiles/profilestore.h"
#include "records/axiseffectssettings.h"
#include "records/effectsprofile.h"
#include "records/metatypes.h"
#include "support/wheel.h"
#include "ui/axiseffectswidget.h"
#include "ui/profilelistmodel.h"
#include "ui/threeaxiseffectswidget.h"

#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStringListModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

// Rows of the effect types in an axis editor's combo box, by EffectType value.
const int comboRow[EffectsProfile::EffectTypeCount] = {2, 1, 3, 0, 4, 6, 7, 8, 9, 5, 10, 11, 12, 13};

} // namespace

class TestThreeAxisEffectsWidget : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString previousDir;
    std::unique_ptr<ProfileSession> session;
    std::unique_ptr<ThreeAxisEffectsWidget> widget;
    std::unique_ptr<QSignalSpy> sudden;
    std::unique_ptr<QSignalSpy> moderate;
    // What the editor sent the loop, in order; 's' sudden, 'm' moderate.
    QList<QPair<char, EffectsSettings>> sent;
    // The questions the editor asked, and the answers it gets, first to last (Cancel when out).
    QStringList asked;
    QList<QMessageBox::StandardButton> answers;
    // The names the editor offered when it asked for a flight module, and the answers it gets
    // (no value: the user cancels).
    QStringList offeredNames;
    QList<std::optional<QString>> nameAnswers;

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
        session = std::make_unique<ProfileSession>();
        widget = std::make_unique<ThreeAxisEffectsWidget>();
        widget->setSession(session.get());
        sudden = std::make_unique<QSignalSpy>(session.get(), &ProfileSession::suddenValueChange);
        moderate = std::make_unique<QSignalSpy>(session.get(), &ProfileSession::moderateValueChange);
        connect(session.get(), &ProfileSession::suddenValueChange, this, [this](const EffectsSettings& s) {
            sent.append({'s', s});
        });
        connect(session.get(), &ProfileSession::moderateValueChange, this, [this](const EffectsSettings& s) {
            sent.append({'m', s});
        });
        widget->setAsk([this](QMessageBox::Icon, const QString& text, QMessageBox::StandardButtons) {
            asked << text;
            return answers.isEmpty() ? QMessageBox::Cancel : answers.takeFirst();
        });
        widget->setAskName([this](const QString&, const QString& offered) {
            offeredNames << offered;
            return nameAnswers.isEmpty() ? std::optional<QString>() : nameAnswers.takeFirst();
        });
    }
    QWidget* notice() { return child<QWidget>(QStringLiteral("aircraft_notice")); }
    QString noticeText() { return child<QLabel>(QStringLiteral("aircraft_notice_text"))->text(); }
    QPushButton* createButton() { return child<QPushButton>(QStringLiteral("create_profile")); }
    // Stores profiles given as "GAME:module:spring", GAME being DCS or MSFS.
    static void storeAll(const QStringList& profiles) {
        for (const QString& p : profiles) {
            const QStringList parts = p.split(QLatin1Char(':'));
            store(parts[0] == QLatin1String("MSFS") ? Telemetry::TELEMETRY_SOURCE_MSFS
                                                    : Telemetry::TELEMETRY_SOURCE_DCS,
                  parts[1], QString(), parts[2].toFloat());
        }
    }
    QStringList rowTexts() {
        QStringList texts;
        const QAbstractItemModel* model = profileCombo()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            texts << model->index(row, 0).data().toString();
        }
        return texts;
    }
    // Every effect's switch and strength on every axis, as the loop would apply them.
    static QStringList felt(const EffectsSettings& settings) {
        QStringList out;
        for (int a = 0; a < 3; ++a) {
            for (int t = 0; t < EffectsProfile::EffectTypeCount; ++t) {
                const SimpleEffectSettings* e = settings.axes[a].effect(t);
                if (e->active) {
                    out << QStringLiteral("%1/%2:%3").arg(a).arg(t).arg(double(e->total_effect_strength));
                }
            }
        }
        return out;
    }
    // The spring strength of the elevator as the editor shows it.
    QSpinBox* elevatorSpring() {
        return axisEditor(1)
            ->findChild<QStackedWidget*>(QStringLiteral("effect_stack"))
            ->widget(EffectsProfile::EFFECT_TYPE_SIMPLE_SPRING)
            ->findChild<QSpinBox*>(QStringLiteral("total_effect_strength"));
    }
    static float springInFile(const QString& fileName) {
        EffectsProfile p;
        ProfileStore().load(fileName, p);
        return p.effects.axes[1].simple_spring.total_effect_strength;
    }
    QLabel* marker() { return child<QLabel>(QStringLiteral("unsaved_marker")); }
    // Column and row of a control in the grid that holds it.
    QPoint gridCell(QWidget* w) {
        for (QGridLayout* grid : widget->findChildren<QGridLayout*>()) {
            const int index = grid->indexOf(w);
            if (index >= 0) {
                int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
                grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
                return QPoint(column, row);
            }
        }
        return QPoint(-1, -1);
    }
    void activate(const QString& fileName) {
        const int row = rowOf(fileName);
        QVERIFY(row >= 0);
        profileCombo()->setCurrentIndex(row);
        emit profileCombo()->activated(row);
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
    int rowOf(const QString& fileName) {
        const QAbstractItemModel* model = profileCombo()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, 0).data(ProfileListModel::FileNameRole).toString() == fileName) {
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
        sent.clear();
        asked.clear();
        answers.clear();
        offeredNames.clear();
        nameAnswers.clear();
        sudden.reset();
        moderate.reset();
        widget.reset();
        session.reset();
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
        QCOMPARE(entries, QStringList({"DISABLED", "MSFS", "DCS", "IL2 SHTURMOVIK", "WARTHUNDER", "CONDOR2",
                                       "XPLANE"}));
        QCOMPARE(gameCombo()->currentIndex(), 0);
        QVERIFY(qobject_cast<ProfileListModel*>(profileCombo()->model()));
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
        QVERIFY(marker()->text().isEmpty());
        // A key pressed right after the window opens never lands on Delete.
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        QVERIFY(widget->focusWidget() != child<QPushButton>(QStringLiteral("delete_profile")));
        QCOMPARE(widget->focusWidget()->parentWidget(), child<QTabWidget>(QStringLiteral("tabWidget")));
    }

    void effectTypesBySource_data() {
        QTest::addColumn<int>("source");
        QTest::addColumn<QList<int>>("types"); // as offered on the elevator
        QTest::newRow("disabled") << 0 << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13};
        QTest::newRow("msfs") << 1 << QList<int>{0, 1, 2, 4, 5, 6, 7, 8, 9, 12, 13};
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
        QCOMPARE(int(session->profile().metadata.flight_data_source), source);
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

    void choosingMsfsDropsDirectX() {
        build();
        gameCombo()->setCurrentIndex(Telemetry::TELEMETRY_SOURCE_DCS);
        addEffect(0, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB);
        addEffect(2, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB);
        QCOMPARE(sudden->count(), 2);
        // The emitted copy carries the whole profile's axes at the time of the edit.
        const auto sent = sudden->last().at(0).value<EffectsSettings>();
        QVERIFY(sent.axes[0].direct_x.active);
        QVERIFY(sent.axes[2].direct_x.active);
        QVERIFY(session->profile().effects.axes[2].direct_x.active);

        gameCombo()->setCurrentIndex(Telemetry::TELEMETRY_SOURCE_MSFS);

        QVERIFY(!session->profile().effects.axes[0].direct_x.active);
        QVERIFY(!session->profile().effects.axes[2].direct_x.active);
        QVERIFY(!offers(0, EffectsProfile::EFFECT_TYPE_DIRECT_X_FFB));
        QCOMPARE(sudden->count(), 2);
        // The loop learns at once that DirectX is off.
        QCOMPARE(moderate->count(), 1);
        QVERIFY(!moderate->last().at(0).value<EffectsSettings>().axes[0].direct_x.active);
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
        QCOMPARE(session->profile().metadata.flight_module, QStringLiteral("F-16C_50"));
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
        // The copy leaves with what Condor lacks switched off, as the editor shows it.
        const auto copy = sudden->last().at(0).value<EffectsSettings>();
        QVERIFY(!copy.axes[1].landing_jolt.active);
        QVERIFY(copy.axes[1].flaps_shaker.active);
        QVERIFY(!session->profile().effects.axes[1].landing_jolt.active);
        QVERIFY(session->profile().effects.axes[1].flaps_shaker.active);
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

        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("cessna"));
        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("Cessna"));
        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_NONE, QStringLiteral("Cessna"));
        QCOMPARE(sudden->count(), 0);
        QCOMPARE(profileCombo()->currentIndex(), -1);

        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"));
        QCOMPARE(sudden->count(), 1);
        QCOMPARE(profileCombo()->currentIndex(), rowOf(a));
        QCOMPARE(session->profile().effects.axes[0].simple_spring.total_effect_strength, 11.0f);
        QCOMPARE(sudden->last().at(0).value<EffectsSettings>().axes[2].simple_spring.total_effect_strength,
                 11.0f);
        QCOMPARE(child<QLineEdit>(QStringLiteral("profile_comment_input"))->text(), QStringLiteral("A"));
    }

    // The wheel changes a combo box only while it has the keyboard focus: passed over, the
    // profile's would otherwise load another profile, and other forces.
    void wheelChangesOnlyTheFocusedCombo_data() {
        QTest::addColumn<QString>("combo");
        QTest::addColumn<bool>("focused");
        QTest::newRow("profile passed over") << "profile_combo" << false;
        QTest::newRow("game passed over") << "game_combo" << false;
        QTest::newRow("effects passed over") << "effects_combo" << false;
        QTest::newRow("profile with the focus") << "profile_combo" << true;
        QTest::newRow("effects with the focus") << "effects_combo" << true;
    }

    void wheelChangesOnlyTheFocusedCombo() {
        QFETCH(QString, combo);
        QFETCH(bool, focused);
        const QString a =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"), QStringLiteral("A"), 11.0f);
        const QString b =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"), QStringLiteral("B"), 22.0f);
        build();
        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"));
        QCOMPARE(profileCombo()->currentIndex(), rowOf(a));
        QCOMPARE(rowOf(b), rowOf(a) + 1);
        widget->show();
        QApplication::setActiveWindow(widget.get());
        QVERIFY(QTest::qWaitForWindowActive(widget.get()));
        QComboBox* target = combo == QLatin1String("effects_combo")
                                ? axisEditor(0)->findChild<QComboBox*>(combo)
                                : child<QComboBox>(combo);
        QVERIFY(target);
        if (combo == QLatin1String("effects_combo")) {
            target->setCurrentIndex(0);
        }
        if (focused) {
            target->setFocus();
        } else {
            child<QLineEdit>(QStringLiteral("profile_comment_input"))->setFocus();
        }
        const int before = target->currentIndex();
        const qsizetype changes = sudden->count() + moderate->count();

        turnWheel(target, -120); // one notch towards the user: the next entry

        QCOMPARE(target->hasFocus(), focused); // the wheel never takes the focus
        if (focused) {
            QVERIFY(target->currentIndex() != before);
        } else {
            QCOMPARE(target->currentIndex(), before);
            QCOMPARE(sudden->count() + moderate->count(), changes);
            QCOMPARE(profileCombo()->currentIndex(), rowOf(a));
        }
    }

    void namesDifferingInCaseKeepTheirOwnRows() {
        const QString lower =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("cessna"), QString(), 22.0f);
        const QString upper =
            store(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("Cessna"), QString(), 11.0f);
        build();
        QVERIFY(rowOf(upper) < rowOf(lower));

        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_MSFS, QStringLiteral("cessna"));
        QCOMPARE(profileCombo()->currentIndex(), rowOf(lower));
        QCOMPARE(session->profile().effects.axes[0].simple_spring.total_effect_strength, 22.0f);

        // Saving marks the saved file's row, so a following delete removes that file only.
        QTest::mouseClick(child<QPushButton>(QStringLiteral("save_profile")), Qt::LeftButton);
        QCOMPARE(profileCombo()->currentIndex(), rowOf(lower));
        answers << QMessageBox::Yes;
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

        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"));
        QCOMPARE(session->profile().effects.axes[0].simple_spring.total_effect_strength, 30.0f);
        QCOMPARE(sudden->count(), 1);

        // Delete asks first, naming the profile; "No" keeps it.
        answers << QMessageBox::No;
        QTest::mouseClick(child<QPushButton>(QStringLiteral("delete_profile")), Qt::LeftButton);
        QVERIFY(QFile::exists(QStringLiteral("effect_profiles/") + name));
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.last().contains(QStringLiteral("F-5E [DCS]")) && asked.last().contains(name),
                 qPrintable(asked.last()));
        QCOMPARE(sudden->count() + moderate->count(), 1);

        answers << QMessageBox::Yes;
        QTest::mouseClick(child<QPushButton>(QStringLiteral("delete_profile")), Qt::LeftButton);

        QVERIFY(!QFile::exists(QStringLiteral("effect_profiles/") + name));
        QCOMPARE(rowOf(name), -1);
        QCOMPARE(profileCombo()->currentIndex(), -1);
        QVERIFY(!session->profile().effects.axes[0].simple_spring.active);
        QCOMPARE(int(session->profile().metadata.flight_data_source), 0);
        QCOMPARE(gameCombo()->currentIndex(), 0);
        QVERIFY(child<QLineEdit>(QStringLiteral("flight_module_input"))->text().isEmpty());
        QCOMPARE(sudden->count(), 1);
        // The deleted profile's spring stops acting on the stick.
        QCOMPARE(moderate->count(), 1);
        QVERIFY(felt(moderate->last().at(0).value<EffectsSettings>()).isEmpty());
    }

    // Whatever changes what the editor shows also reaches the loop, so the stick never feels
    // an effect the editor does not show.
    void loopGetsWhatTheEditorShows_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<char>("kind");
        QTest::addColumn<QStringList>("expected");
        const QStringList springs{"0/1:30", "1/1:30", "2/1:30"};
        QTest::newRow("source switch to MSFS drops DirectX")
            << "msfs" << 'm' << (QStringList{"0/1:30", "1/1:30", "1/4:50", "2/1:30"});
        QTest::newRow("source switch to War Thunder drops the landing jolt")
            << "warthunder" << 'm' << (QStringList{"0/1:30", "0/3:40", "1/1:30", "2/1:30"});
        QTest::newRow("source switch to Condor drops the landing jolt")
            << "condor" << 'm' << (QStringList{"0/1:30", "0/3:40", "1/1:30", "2/1:30"});
        QTest::newRow("load of a profile with effects its source lacks")
            << "load condor" << 's' << (QStringList{"0/1:30", "0/3:40", "1/1:30", "2/1:30"});
        QTest::newRow("automatic load of the same profile")
            << "auto condor" << 's' << (QStringList{"0/1:30", "0/3:40", "1/1:30", "2/1:30"});
        QTest::newRow("delete") << "delete" << 'm' << QStringList();
    }

    void loopGetsWhatTheEditorShows() {
        QFETCH(QString, action);
        QFETCH(char, kind);
        QFETCH(QStringList, expected);
        EffectsProfile p;
        p.resetToDefaults();
        p.metadata.flight_data_source =
            action.endsWith(QLatin1String("condor")) && action != QLatin1String("condor")
                ? Telemetry::TELEMETRY_SOURCE_CONDOR
                : Telemetry::TELEMETRY_SOURCE_DCS;
        p.metadata.flight_module = QStringLiteral("F-5E");
        for (AxisEffectsSettings& a : p.effects.axes) {
            a.simple_spring.active = true;
            a.simple_spring.total_effect_strength = 30.0f;
        }
        p.effects.axes[0].direct_x.active = true;
        p.effects.axes[0].direct_x.total_effect_strength = 40.0f;
        p.effects.axes[1].landing_jolt.active = true; // neither War Thunder nor Condor has it
        p.effects.axes[1].landing_jolt.total_effect_strength = 50.0f;
        const QString name = ProfileStore().save(p);
        build();

        if (action == QLatin1String("load condor")) {
            activate(name);
        } else if (action == QLatin1String("auto condor")) {
            session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_CONDOR, QStringLiteral("F-5E"));
        } else {
            activate(name);
            QCOMPARE(felt(sent.last().second).size(), 5);
            sent.clear();
            if (action == QLatin1String("delete")) {
                answers << QMessageBox::Yes;
                QTest::mouseClick(child<QPushButton>(QStringLiteral("delete_profile")), Qt::LeftButton);
            } else {
                gameCombo()->setCurrentText(action == QLatin1String("msfs") ? QStringLiteral("MSFS")
                                            : action == QLatin1String("warthunder")
                                                ? QStringLiteral("WARTHUNDER")
                                                : QStringLiteral("CONDOR2"));
            }
        }

        QCOMPARE(felt(session->profile().effects), expected);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.last().first, kind);
        QCOMPARE(felt(sent.last().second), expected);
    }

    // A stream that resumes reports the aircraft again: the profile already in the editor
    // stays, with its edits, and the loop keeps its forces.
    void resumedStreamKeepsTheLoadedProfile_data() {
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<bool>("edited");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<int>("loads");
        QTest::addColumn<int>("spring");
        QTest::newRow("same aircraft") << "F-5E" << false << "F-5E" << 0 << 30;
        QTest::newRow("same aircraft keeps unsaved edits") << "F-5E" << true << "F-5E" << 0 << 77;
        QTest::newRow("other aircraft") << "F-5E" << false << "MiG-21" << 1 << 60;
        QTest::newRow("other aircraft sets edits aside") << "F-5E" << true << "MiG-21" << 1 << 60;
        QTest::newRow("nothing loaded yet") << "" << false << "F-5E" << 1 << 30;
        QTest::newRow("same aircraft, second profile chosen by hand") << "soft" << false << "F-5E" << 0 << 40;
        QTest::newRow("no profile for the aircraft") << "F-5E" << false << "Su-25" << 0 << 30;
    }

    void resumedStreamKeepsTheLoadedProfile() {
        QFETCH(QString, loaded);
        QFETCH(bool, edited);
        QFETCH(QString, reported);
        QFETCH(int, loads);
        QFETCH(int, spring);
        store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"), QString(), 30.0f);
        store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("MiG-21"), QString(), 60.0f);
        const QString soft =
            store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"), QStringLiteral("soft"), 40.0f);
        build();
        if (loaded == QLatin1String("soft")) {
            activate(soft);
        } else if (!loaded.isEmpty()) {
            session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, loaded);
        }
        if (edited) {
            elevatorSpring()->setValue(77);
        }
        sent.clear();

        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, reported);

        QCOMPARE(sent.size(), loads);
        QCOMPARE(elevatorSpring()->value(), spring);
        QCOMPARE(session->profile().effects.axes[1].simple_spring.total_effect_strength, float(spring));
        QCOMPARE(marker()->text(), QString(edited && loads == 0 ? "*" : ""));
        QVERIFY(asked.isEmpty()); // an automatic choice never asks
        QCOMPARE(session->canRestoreSetAside(), edited && loads == 1);
    }

    // Unsaved edits are marked, and loading another profile or deleting asks before they go.
    void unsavedEditsAskBeforeTheyGo_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("shownSpring"); // elevator spring in the editor afterwards
        QTest::addColumn<int>("fileSpring");  // in F-5E's file afterwards, -1 for no file
        QTest::addColumn<QString>("mark");
        QTest::newRow("load, save first") << "load" << int(QMessageBox::Save) << 60 << 45 << "";
        QTest::newRow("load, discard") << "load" << int(QMessageBox::Discard) << 60 << 30 << "";
        QTest::newRow("load, cancel") << "load" << int(QMessageBox::Cancel) << 45 << 30 << "*";
        // Delete asks once, and says that the edits go too.
        QTest::newRow("delete, yes") << "delete" << int(QMessageBox::Yes) << 0 << -1 << "";
        QTest::newRow("delete, no") << "delete" << int(QMessageBox::No) << 45 << 30 << "*";
        // Typed into the box, no Enter, the focus still there, then the window is closed.
        QTest::newRow("typed, close, save") << "typed, close" << int(QMessageBox::Save) << 45 << 45 << "";
        QTest::newRow("typed, close, cancel")
            << "typed, close" << int(QMessageBox::Cancel) << 45 << 30 << "*";
    }

    void unsavedEditsAskBeforeTheyGo() {
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(int, shownSpring);
        QFETCH(int, fileSpring);
        QFETCH(QString, mark);
        const QString a = store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"), QString(), 30.0f);
        const QString b = store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("MiG-21"), QString(), 60.0f);
        build();
        activate(a);
        QVERIFY(marker()->text().isEmpty());
        if (action == QLatin1String("typed, close")) {
            elevatorSpring()->selectAll();
            QTest::keyClicks(elevatorSpring(), QStringLiteral("45"));
            QCOMPARE(elevatorSpring()->text(), QStringLiteral("45"));
        } else {
            elevatorSpring()->setValue(45);
            QCOMPARE(marker()->text(), QStringLiteral("*"));
            QVERIFY(session->hasUnsavedChanges());
        }
        // The marker has a cell of its own beside the list, not one under it.
        QCOMPARE(gridCell(marker()).y(), gridCell(profileCombo()).y());
        QCOMPARE(gridCell(marker()).x(), gridCell(profileCombo()).x() + 1);

        if (action == QLatin1String("load")) {
            answers << QMessageBox::StandardButton(answer);
            activate(b);
        } else if (action == QLatin1String("typed, close")) {
            answers << QMessageBox::StandardButton(answer);
            QCOMPARE(widget->settleUnsavedChanges(), answer == QMessageBox::Save);
        } else {
            answers << QMessageBox::StandardButton(answer);
            QTest::mouseClick(child<QPushButton>(QStringLiteral("delete_profile")), Qt::LeftButton);
            QVERIFY2(asked.last().contains(QStringLiteral("unsaved changes")), qPrintable(asked.last()));
        }

        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked.last().contains(QStringLiteral("F-5E [DCS]")), qPrintable(asked.last()));
        QCOMPARE(elevatorSpring()->value(), shownSpring);
        QCOMPARE(marker()->text(), mark);
        if (fileSpring < 0) {
            QVERIFY(!QFile::exists(QStringLiteral("effect_profiles/") + a));
        } else {
            QCOMPARE(springInFile(a), float(fileSpring));
        }
        // The list shows the profile that is in the editor.
        QCOMPARE(profileCombo()->currentIndex(), rowOf(session->loadedFileName()));
    }

    void automaticChoiceSetsEditsAsideToRestoreOnce() {
        const QString a = store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"), QString(), 30.0f);
        store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("MiG-21"), QString(), 60.0f);
        build();
        QSignalSpy messages(session.get(), &ProfileSession::statusMessage);
        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-5E"));
        elevatorSpring()->setValue(45);

        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("MiG-21"));
        QCOMPARE(elevatorSpring()->value(), 60);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.last().at(0).toString().contains(QStringLiteral("F-5E [DCS]")),
                 qPrintable(messages.last().at(0).toString()));
        QVERIFY(session->canRestoreSetAside());
        QVERIFY(asked.isEmpty());
        sent.clear();

        widget->restoreSetAside();
        QCOMPARE(elevatorSpring()->value(), 45);
        QCOMPARE(session->loadedFileName(), a);
        QCOMPARE(profileCombo()->currentIndex(), rowOf(a));
        QCOMPARE(marker()->text(), QStringLiteral("*"));
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.last().first, 's');
        QCOMPARE(sent.last().second.axes[1].simple_spring.total_effect_strength, 45.0f);
        QVERIFY(!session->canRestoreSetAside());
        // Once only.
        widget->restoreSetAside();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(springInFile(a), 30.0f);
    }

    // A failed save says which file and why and marks nothing as saved; another profile's
    // file is replaced only when the user agrees.
    void saveOutcomes_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QStringList>("question"); // parts of the one message shown, if any
        const QString longName = QString(300, QLatin1Char('x'));
        QTest::newRow("new profile") << "F-5E"
                                     << "" << 0 << true << QStringList();
        QTest::newRow("its own file") << "F-16"
                                      << "load F-16" << 0 << true << QStringList();
        QTest::newRow("another profile's file, replace")
            << "F_16"
            << "F-16 exists" << int(QMessageBox::Yes) << true << QStringList{"DCS_F_16.json", "F-16 [DCS]"};
        QTest::newRow("another profile's file, keep")
            << "F_16"
            << "F-16 exists" << int(QMessageBox::No) << false << QStringList{"DCS_F_16.json", "F-16 [DCS]"};
        // A file that names no profile is called by its name once.
        QTest::newRow("a file without a profile, replace")
            << "F-5E"
            << "junk" << int(QMessageBox::Yes) << true
            << QStringList{"The file \"DCS_F_5E.json\" already exists. Replace it"};
        QTest::newRow("name that cannot be written")
            << longName << "" << 0 << false << QStringList{QStringLiteral("DCS_") + longName, "too long"};
        QTest::newRow("directory in the file's place")
            << "F-5E"
            << "directory" << 0 << false << QStringList{"effect_profiles/DCS_F_5E.json", "directory"};
    }

    void saveOutcomes() {
        QFETCH(QString, module);
        QFETCH(QString, setup);
        QFETCH(int, answer);
        QFETCH(bool, saved);
        QFETCH(QStringList, question);
        if (setup.contains(QLatin1String("F-16"))) {
            store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16"), QString(), 30.0f);
        }
        if (setup == QLatin1String("directory")) {
            QVERIFY(QDir().mkpath(QStringLiteral("effect_profiles/DCS_F_5E.json")));
        }
        if (setup == QLatin1String("junk")) {
            QVERIFY(QDir().mkpath(QStringLiteral("effect_profiles")));
            QFile junk(QStringLiteral("effect_profiles/DCS_F_5E.json"));
            QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("notes") == 5);
        }
        build();
        if (setup == QLatin1String("load F-16")) {
            activate(QStringLiteral("DCS_F_16.json"));
        } else {
            gameCombo()->setCurrentText(QStringLiteral("DCS"));
            addEffect(1, EffectsProfile::EFFECT_TYPE_SIMPLE_SPRING);
        }
        child<QLineEdit>(QStringLiteral("flight_module_input"))->setText(module);
        elevatorSpring()->setValue(45);
        const QString before = session->loadedFileName();
        const int rowBefore = profileCombo()->currentIndex();
        if (answer) {
            answers << QMessageBox::StandardButton(answer);
        }

        QTest::mouseClick(child<QPushButton>(QStringLiteral("save_profile")), Qt::LeftButton);

        QCOMPARE(asked.size(), question.isEmpty() ? 0 : 1);
        for (const QString& part : question) {
            QVERIFY2(asked.last().contains(part), qPrintable(asked.last()));
        }
        QCOMPARE(marker()->text(), QString(saved ? "" : "*"));
        QCOMPARE(session->hasUnsavedChanges(), !saved);
        const QString target = ProfileStore::fileName(session->profile().metadata);
        if (saved) {
            QCOMPARE(session->loadedFileName(), target);
            QCOMPARE(profileCombo()->currentIndex(), rowOf(target));
            QCOMPARE(springInFile(target), 45.0f);
        } else {
            QCOMPARE(session->loadedFileName(), before);
            QCOMPARE(profileCombo()->currentIndex(), rowBefore);
            if (setup == QLatin1String("F-16 exists")) {
                QCOMPARE(springInFile(target), 30.0f);
            }
        }
    }

    // When a stream starts, the aircraft flies with its own profile, else its game's default;
    // without either the editor keeps what it has and the line above says what the aircraft
    // flies with.
    void aircraftWithoutProfile_data() {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("before"); // a DCS aircraft reported first, or none
        QTest::addColumn<QString>("loaded"); // file in the editor after the A-10C is reported
        QTest::addColumn<QString>("line");   // part of the line; empty: no line
        QTest::newRow("own profile") << QStringList{"DCS:*:60", "DCS:A-10C:20"} << ""
                                     << "DCS_A_10C.json"
                                     << "";
        QTest::newRow("game default") << QStringList{"DCS:*:60", "DCS:F-16C:30"} << "F-16C"
                                      << "DCS__.json"
                                      << "default profile \"Any aircraft [DCS]\"";
        QTest::newRow("neither: the profile in the editor stays") << QStringList{"DCS:F-16C:30"} << "F-16C"
                                                                  << "DCS_F_16C.json"
                                                                  << "flies with the profile \"F-16C [DCS]\"";
        QTest::newRow("neither, nothing loaded") << QStringList{"DCS:F-16C:30"} << ""
                                                 << ""
                                                 << "flies without forces";
        QTest::newRow("another game's default does not serve") << QStringList{"MSFS:*:60"} << ""
                                                               << ""
                                                               << "flies without forces";
    }

    void aircraftWithoutProfile() {
        QFETCH(QStringList, stored);
        QFETCH(QString, before);
        QFETCH(QString, loaded);
        QFETCH(QString, line);
        storeAll(stored);
        build();
        QSignalSpy messages(session.get(), &ProfileSession::statusMessage);
        QVERIFY(!notice()->isVisibleTo(widget.get()));
        if (!before.isEmpty()) {
            session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, before);
        }

        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("A-10C"));

        QCOMPARE(session->loadedFileName(), loaded);
        QCOMPARE(notice()->isVisibleTo(widget.get()), !line.isEmpty());
        if (!line.isEmpty()) {
            QVERIFY2(noticeText().startsWith(QStringLiteral("No profile for A-10C")),
                     qPrintable(noticeText()));
            QVERIFY2(noticeText().contains(line), qPrintable(noticeText()));
            QCOMPARE(createButton()->text(), QStringLiteral("Create profile for A-10C"));
            QVERIFY(createButton()->isVisibleTo(widget.get()));
            QVERIFY(!messages.isEmpty());
            QVERIFY2(messages.last().at(0).toString().startsWith(QStringLiteral("No profile for A-10C")),
                     qPrintable(messages.last().at(0).toString()));
        }
        // The field offers the name the game reports.
        auto* completion = qobject_cast<QStringListModel*>(
            child<QLineEdit>(QStringLiteral("flight_module_input"))->completer()->model());
        QVERIFY(completion);
        QCOMPARE(completion->stringList().value(0), QStringLiteral("A-10C"));
        // The line stays while the aircraft flies, and goes with the stream.
        session->endStream();
        QVERIFY(!notice()->isVisibleTo(widget.get()));
    }

    // One click saves a profile for the game and the exact aircraft name, loads it, and the
    // loop flies with it.
    void createProfileForTheAircraft_data() {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QString>("byHand"); // loaded by hand while the A-10C flies
        QTest::addColumn<int>("edit");       // elevator spring set before the click, 0 for none
        QTest::addColumn<int>("answer");     // to the unsaved-changes question, 0 if none is asked
        QTest::addColumn<int>("spring");     // the new profile's elevator spring
        QTest::newRow("from the game default") << QStringList{"DCS:*:60"} << "" << 0 << 0 << 60;
        QTest::newRow("from the default, edited while flying")
            << QStringList{"DCS:*:60"} << "" << 45 << 0 << 45;
        QTest::newRow("from the default, not the profile chosen by hand")
            << QStringList{"DCS:*:60", "DCS:F-16C:30"} << "DCS_F_16C.json" << 0 << 0 << 60;
        QTest::newRow("from the default, edits of another profile discarded")
            << QStringList{"DCS:*:60", "DCS:F-16C:30"} << "DCS_F_16C.json" << 45 << int(QMessageBox::Discard)
            << 60;
        QTest::newRow("from the default, cancelled")
            << QStringList{"DCS:*:60", "DCS:F-16C:30"} << "DCS_F_16C.json" << 45 << int(QMessageBox::Cancel)
            << -1;
        QTest::newRow("from the settings in the editor")
            << QStringList{"DCS:F-16C:30"} << "DCS_F_16C.json" << 0 << 0 << 30;
        QTest::newRow("from nothing: a spring to feel") << QStringList() << "" << 0 << 0 << 50;
    }

    void createProfileForTheAircraft() {
        QFETCH(QStringList, stored);
        QFETCH(QString, byHand);
        QFETCH(int, edit);
        QFETCH(int, answer);
        QFETCH(int, spring);
        storeAll(stored);
        build();
        session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("A-10C"));
        if (!byHand.isEmpty()) {
            activate(byHand);
        }
        if (edit) {
            elevatorSpring()->setValue(edit);
        }
        if (answer) {
            answers << QMessageBox::StandardButton(answer);
        }
        const QMap<QString, QByteArray> before = [] {
            QMap<QString, QByteArray> files;
            for (const QString& name : QDir(QStringLiteral("effect_profiles")).entryList(QDir::Files)) {
                QFile f(QStringLiteral("effect_profiles/") + name);
                files[name] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            }
            return files;
        }();
        sent.clear();

        QTest::mouseClick(createButton(), Qt::LeftButton);

        QCOMPARE(asked.size(), answer ? 1 : 0);
        // The profiles that were there stay as they were.
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            QFile f(QStringLiteral("effect_profiles/") + it.key());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), it.value());
        }
        const QString created = QStringLiteral("DCS_A_10C.json");
        if (spring < 0) {
            QVERIFY(!QFile::exists(QStringLiteral("effect_profiles/") + created));
            QVERIFY(notice()->isVisibleTo(widget.get()));
            QVERIFY(sent.isEmpty());
            return;
        }
        QCOMPARE(springInFile(created), float(spring));
        EffectsProfile p;
        ProfileStore().load(created, p);
        QCOMPARE(int(p.metadata.flight_data_source), int(Telemetry::TELEMETRY_SOURCE_DCS));
        QCOMPARE(p.metadata.flight_module, QStringLiteral("A-10C"));
        QVERIFY(p.metadata.comment.isEmpty());
        QCOMPARE(session->loadedFileName(), created);
        QCOMPARE(profileCombo()->currentIndex(), rowOf(created));
        QVERIFY(!session->hasUnsavedChanges());
        QVERIFY(!notice()->isVisibleTo(widget.get()));
        // The loop flies the aircraft with the new profile's spring.
        QVERIFY(!sent.isEmpty());
        QCOMPARE(sent.last().second.axes[1].simple_spring.total_effect_strength, float(spring));
        QVERIFY(sent.last().second.axes[1].simple_spring.active);
        // And the aircraft chooses it from now on.
        QCOMPARE(session->store().autoSelect(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("A-10C")),
                 created);
    }

    // A loaded profile saved under another name is renamed (its file moves) or copied, as the
    // user says; a name that keeps the file asks nothing.
    void renamingALoadedProfile_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<int>("answer"); // Yes renames, No saves a copy; 0: nothing is asked
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("loaded");
        QTest::newRow("rename") << "F-16C_50"
                                << "" << int(QMessageBox::Yes) << QStringList{"DCS_F_16C_50.json"}
                                << "DCS_F_16C_50.json";
        QTest::newRow("save a copy") << "F-16C_50"
                                     << "" << int(QMessageBox::No)
                                     << QStringList{"DCS_F_16C.json", "DCS_F_16C_50.json"}
                                     << "DCS_F_16C_50.json";
        QTest::newRow("cancel") << "F-16C_50"
                                << "" << int(QMessageBox::Cancel) << QStringList{"DCS_F_16C.json"}
                                << "DCS_F_16C.json";
        QTest::newRow("a comment moves the file too")
            << "F-16C"
            << "soft" << int(QMessageBox::Yes) << QStringList{"DCS_F_16C_soft.json"} << "DCS_F_16C_soft.json";
        QTest::newRow("same file, nothing asked")
            << "F_16C"
            << "" << 0 << QStringList{"DCS_F_16C.json"} << "DCS_F_16C.json";
    }

    void renamingALoadedProfile() {
        QFETCH(QString, module);
        QFETCH(QString, comment);
        QFETCH(int, answer);
        QFETCH(QStringList, files);
        QFETCH(QString, loaded);
        const QString original =
            store(Telemetry::TELEMETRY_SOURCE_DCS, QStringLiteral("F-16C"), QString(), 30.0f);
        build();
        activate(original);
        child<QLineEdit>(QStringLiteral("flight_module_input"))->setText(module);
        child<QLineEdit>(QStringLiteral("profile_comment_input"))->setText(comment);
        elevatorSpring()->setValue(45);
        if (answer) {
            answers << QMessageBox::StandardButton(answer);
        }

        QTest::mouseClick(child<QPushButton>(QStringLiteral("save_profile")), Qt::LeftButton);

        QCOMPARE(asked.size(), answer ? 1 : 0);
        if (answer) {
            QVERIFY2(asked.last().contains(QStringLiteral("F-16C [DCS]")) &&
                         asked.last().contains(original) &&
                         asked.last().contains(ProfileStore::fileName(session->profile().metadata)),
                     qPrintable(asked.last()));
        }
        QCOMPARE(QDir(QStringLiteral("effect_profiles")).entryList(QDir::Files), files);
        QCOMPARE(session->loadedFileName(), loaded);
        QCOMPARE(profileCombo()->currentIndex(), rowOf(loaded));
        QCOMPARE(session->hasUnsavedChanges(), answer == QMessageBox::Cancel);
        QCOMPARE(springInFile(loaded), answer == QMessageBox::Cancel ? 30.0f : 45.0f);
        if (files.size() == 2) {
            QCOMPARE(springInFile(original), 30.0f);
        }
    }

    // A profile is never saved without a flight module: the editor asks, offering the
    // aircraft flying now, and the list never gets a blank row.
    void saveWithoutAircraftAsksForOne_data() {
        QTest::addColumn<QString>("flying"); // DCS aircraft reported before the save, or none
        QTest::addColumn<QVariant>("reply"); // the name given; invalid: the user cancels
        QTest::addColumn<QString>("file");   // the file written, empty for none
        QTest::newRow("named") << "" << QVariant(QStringLiteral("Yak-52")) << "GENERIC_Yak_52.json";
        QTest::newRow("the offered aircraft takes its game too")
            << "F-16C_50" << QVariant(QStringLiteral("F-16C_50")) << "DCS_F_16C_50.json";
        QTest::newRow("cancelled") << "F-16C_50" << QVariant() << "";
        QTest::newRow("empty answer") << "" << QVariant(QString()) << "";
    }

    void saveWithoutAircraftAsksForOne() {
        QFETCH(QString, flying);
        QFETCH(QVariant, reply);
        QFETCH(QString, file);
        build();
        if (!flying.isEmpty()) {
            session->selectProfileFor(Telemetry::TELEMETRY_SOURCE_DCS, flying);
        }
        addEffect(1, EffectsProfile::EFFECT_TYPE_SIMPLE_SPRING);
        nameAnswers << (reply.isValid() ? std::optional<QString>(reply.toString()) : std::nullopt);

        QTest::mouseClick(child<QPushButton>(QStringLiteral("save_profile")), Qt::LeftButton);

        QCOMPARE(offeredNames, QStringList{flying});
        QCOMPARE(QDir(QStringLiteral("effect_profiles")).entryList(QDir::Files),
                 file.isEmpty() ? QStringList() : QStringList{file});
        QCOMPARE(session->loadedFileName(), file);
        QCOMPARE(session->hasUnsavedChanges(), file.isEmpty());
        QVERIFY(!rowTexts().contains(QString()));
        QVERIFY(asked.isEmpty());
        if (!flying.isEmpty() && !file.isEmpty()) {
            // The aircraft now has its profile: the line about it goes.
            QVERIFY(!notice()->isVisibleTo(widget.get()));
        }
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
