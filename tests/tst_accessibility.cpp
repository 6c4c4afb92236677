#include "app/mainwindow.h"
#include "engine/engine.h"
#include "records/metatypes.h"
#include "support/fakehid.h"
#include "support/loophelpers.h"
#include "ui/aboutdialog.h"
#include "ui/airflowspringsettingswidget.h"
#include "ui/aoashakersettingswidget.h"
#include "ui/axiseffectswidget.h"
#include "ui/condorshakersettingswidget.h"
#include "ui/directxsettingswidget.h"
#include "ui/forcesviewwidget.h"
#include "ui/genericshakersettingswidget.h"
#include "ui/landingjoltsettingswidget.h"
#include "ui/simpleeffectsettingswidget.h"
#include "ui/simplespringsettingswidget.h"
#include "ui/smartdampeningsettingswidget.h"
#include "ui/statuswidget.h"
#include "ui/threeaxiseffectswidget.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using PanelFactory = std::function<QWidget*()>;

// The engine the main window shows, for the whole run; never started: only widgets are read.
Engine& windowEngine() {
    static Engine* engine = new Engine(freeEndpoints(), {}, qApp);
    return *engine;
}

} // namespace

Q_DECLARE_METATYPE(PanelFactory)

namespace {

// Every panel of the window as a user meets it, down to the single effect forms.
const std::pair<const char*, PanelFactory> panels[] = {
    {"simple effect", [] { return new SimpleEffectSettingsWidget; }},
    {"simple spring", [] { return new SimpleSpringSettingsWidget; }},
    {"airflow spring", [] { return new AirflowSpringSettingsWidget; }},
    {"generic shaker", [] { return new GenericShakerSettingsWidget; }},
    {"landing jolt", [] { return new LandingJoltSettingsWidget; }},
    {"aoa shaker", [] { return new AoAShakerSettingsWidget; }},
    {"condor shaker", [] { return new CondorShakerSettingsWidget; }},
    {"directx", [] { return new DirectXSettingsWidget; }},
    {"smart dampers", [] { return new SmartDampeningSettingsWidget; }},
    {"axis effects", [] { return new AxisEffectsWidget; }},
    {"profile editor", [] { return new ThreeAxisEffectsWidget; }},
    {"status", [] { return new StatusWidget; }},
    {"forces view", [] { return new ForcesViewWidget; }},
    {"main window", [] { return new MainWindow(windowEngine()); }},
};

// The name a screen reader announces for a control: its accessible name, or the label it is
// labelled by. A combo box on Linux gives its current item as its name and leaves the label to
// the label relation, so that item text does not count as a name.
QString spokenName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    if (!iface) {
        return {};
    }
    const QString name = iface->text(QAccessible::Name);
    auto* combo = qobject_cast<QComboBox*>(w);
    if (!combo || !combo->accessibleName().isEmpty() || name != combo->currentText()) {
        return name;
    }
    for (const auto& [label, relation] : iface->relations(QAccessible::Label)) {
        if (label && qobject_cast<QLabel*>(label->object())) {
            return label->text(QAccessible::Name);
        }
    }
    return {};
}

bool insideCompoundControl(const QWidget* w, const QWidget* panel) {
    for (const QWidget* p = w->parentWidget(); p && p != panel; p = p->parentWidget()) {
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractSpinBox*>(p)) {
            return true;
        }
    }
    return false;
}

// Text fields, spin boxes, sliders, combo boxes, check boxes and lists: the controls that hold
// a value. Scroll bars and the editors inside spin and combo boxes belong to their owner.
QList<QWidget*> valueControls(QWidget* panel) {
    QList<QWidget*> out;
    for (QWidget* w : panel->findChildren<QWidget*>()) {
        if (qobject_cast<QScrollBar*>(w) || insideCompoundControl(w, panel)) {
            continue;
        }
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
            qobject_cast<QAbstractSlider*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QAbstractItemView*>(w)) {
            out.append(w);
        }
    }
    return out;
}

struct GridPlace {
    QGridLayout* grid = nullptr;
    int row = -1;
    int column = -1;
};

GridPlace placeOf(QWidget* panel, QWidget* w) {
    for (QGridLayout* grid : panel->findChildren<QGridLayout*>()) {
        const int index = grid->indexOf(w);
        if (index >= 0) {
            GridPlace p{grid, -1, -1};
            int rowSpan = 0;
            int columnSpan = 0;
            grid->getItemPosition(index, &p.row, &p.column, &rowSpan, &columnSpan);
            return p;
        }
    }
    return {};
}

QLabel* labelAt(QGridLayout* grid, int row, int column) {
    QLayoutItem* item = row >= 0 && column >= 0 ? grid->itemAtPosition(row, column) : nullptr;
    return item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
}

// The label a sighted user reads for a control in a grid: the first label of its row, or for
// a column of fields the label right above.
QLabel* rowLabel(QWidget* panel, QWidget* w) {
    const GridPlace p = placeOf(panel, w);
    if (!p.grid) {
        return nullptr;
    }
    for (int c = 0; c < p.column; ++c) {
        if (QLabel* label = labelAt(p.grid, p.row, c)) {
            return label;
        }
    }
    return labelAt(p.grid, p.row - 1, p.column);
}

// The setting rows of a panel: each label of a grid with the value controls beside it.
QList<QList<QWidget*>> settingRows(QWidget* panel) {
    const QList<QWidget*> controls = valueControls(panel);
    QList<QList<QWidget*>> rows;
    for (QGridLayout* grid : panel->findChildren<QGridLayout*>()) {
        for (int r = 0; r < grid->rowCount(); ++r) {
            QLabel* label = labelAt(grid, r, 0);
            if (!label) {
                continue;
            }
            QList<QWidget*> row{label};
            for (int c = 1; c < grid->columnCount(); ++c) {
                QLayoutItem* item = grid->itemAtPosition(r, c);
                if (item && controls.contains(item->widget())) {
                    row.append(item->widget());
                }
            }
            rows.append(row);
        }
    }
    return rows;
}

// The word a tooltip must use for the unit in its label's parentheses.
QString unitWord(const QString& label) {
    static const QHash<QString, QString> words{
        {QStringLiteral("(%)"), QStringLiteral("percent")},
        {QStringLiteral("(km/h)"), QStringLiteral("km/h")},
        {QStringLiteral("(Hz)"), QStringLiteral("Hz")},
        {QStringLiteral("(degrees)"), QStringLiteral("degrees")},
        {QStringLiteral("(ms)"), QStringLiteral("millisecond")},
    };
    for (auto it = words.begin(); it != words.end(); ++it) {
        if (label.endsWith(it.key())) {
            return it.value();
        }
    }
    return {};
}

} // namespace

// What assistive technology and a hovering mouse learn about each control of the window.
class TestAccessibility : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString previousDir_;

    void addPanelRows(bool withWindow) {
        QTest::addColumn<PanelFactory>("make");
        for (const auto& [name, make] : panels) {
            if (withWindow || QByteArray(name) != "main window") {
                QTest::newRow(name) << make;
            }
        }
    }

private slots:
    void initTestCase() {
        registerMetaTypes();
        FakeHid::reset();
    }
    void init() {
        // Tabs and docks as a first run shows them, whatever another test run left behind.
        MainWindow::windowSettings()->clear();
        // The editor and the window scan the profile directory of the working directory.
        previousDir_ = QDir::currentPath();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
    }
    void cleanup() {
        QDir::setCurrent(previousDir_);
        dir_.reset();
    }

    void everyValueControlHasASpokenName_data() { addPanelRows(true); }
    void everyValueControlHasASpokenName() {
        QFETCH(PanelFactory, make);
        std::unique_ptr<QWidget> panel(make());
        const QList<QWidget*> controls = valueControls(panel.get());
        QVERIFY(!controls.isEmpty());
        for (QWidget* w : controls) {
            const QString name = spokenName(w);
            QVERIFY2(!name.trimmed().isEmpty(), qPrintable(w->objectName() + " has no accessible name"));
            // A control in a labelled row is announced by the text the row shows.
            if (QLabel* label = rowLabel(panel.get(), w)) {
                QCOMPARE(name, label->text());
            }
        }
    }

    void everySettingRowExplainsItself_data() { addPanelRows(false); }
    void everySettingRowExplainsItself() {
        QFETCH(PanelFactory, make);
        std::unique_ptr<QWidget> panel(make());
        const QList<QList<QWidget*>> rows = settingRows(panel.get());
        if (qobject_cast<ForcesViewWidget*>(panel.get())) {
            // No setting rows: each button, box and slider explains what it does to the plot,
            // the recorder or the replay.
            for (QWidget* w : panel->findChildren<QWidget*>()) {
                if (qobject_cast<QAbstractButton*>(w) ||
                    (qobject_cast<QAbstractSlider*>(w) && !qobject_cast<QScrollBar*>(w))) {
                    QVERIFY2(!w->toolTip().isEmpty(), qPrintable(w->objectName() + " has no tooltip"));
                }
            }
            return;
        }
        QVERIFY(!rows.isEmpty() || qobject_cast<SimpleSpringSettingsWidget*>(panel.get()) ||
                qobject_cast<StatusWidget*>(panel.get()));
        if (qobject_cast<StatusWidget*>(panel.get())) {
            // The status rows show values; the panel explains what its override does.
            QVERIFY(!panel->findChild<QCheckBox*>(QStringLiteral("telemetry_override"))->toolTip().isEmpty());
            QVERIFY(
                !panel->findChild<QWidget*>(QStringLiteral("on_ground_state_button"))->toolTip().isEmpty());
            return;
        }
        for (const QList<QWidget*>& row : rows) {
            auto* label = qobject_cast<QLabel*>(row.first());
            const QString tip = label->toolTip();
            QVERIFY2(!tip.isEmpty(), qPrintable(label->text() + " has no tooltip"));
            // Hovering the slider or the box tells the same as hovering the label.
            for (QWidget* w : row) {
                QVERIFY2(w->toolTip() == tip,
                         qPrintable(w->objectName() + " explains " + label->text() + " differently"));
            }
            // One or two sentences: an explanation, not a manual.
            QVERIFY2(tip.count(QRegularExpression(QStringLiteral("[.!?](\\s|$)"))) <= 2, qPrintable(tip));
            const QString unit = unitWord(label->text());
            QVERIFY2(unit.isEmpty() || tip.contains(unit), qPrintable(label->text() + ": " + tip));
        }
    }

    // Tab moves through a panel as the eye reads it: row by row, left to right, and a column
    // beside another only once the first is done.
    void tabOrderFollowsTheRows_data() { addPanelRows(true); }
    void tabOrderFollowsTheRows() {
        QFETCH(PanelFactory, make);
        std::unique_ptr<QWidget> panel(make());
        panel->resize(panel->sizeHint());
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        // The override sliders take part only while the override is on.
        if (auto* box = panel->findChild<QCheckBox*>(QStringLiteral("telemetry_override"))) {
            box->setChecked(true);
        }
        QList<QWidget*> chain;
        for (QWidget* w = panel->nextInFocusChain(); w != panel.get(); w = w->nextInFocusChain()) {
            // A widget with a focus proxy hands the focus on and is no stop of its own.
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isVisibleTo(panel.get()) &&
                w->isEnabled() && !insideCompoundControl(w, panel.get())) {
                chain.append(w);
            }
        }
        QVERIFY(chain.size() >= 2);
        for (int i = 1; i < chain.size(); ++i) {
            const QRect a(chain[i - 1]->mapTo(panel.get(), QPoint()), chain[i - 1]->size());
            const QRect b(chain[i]->mapTo(panel.get(), QPoint()), chain[i]->size());
            const bool sameLine = b.center().y() >= a.top() && b.center().y() <= a.bottom();
            const bool next =
                sameLine ? b.left() > a.left() : b.center().y() > a.bottom() || b.left() > a.right();
            QVERIFY2(next, qPrintable(chain[i]->objectName() + " comes after " + chain[i - 1]->objectName()));
        }
    }

    void aboutNamesProgramVersionLibrariesAndProfiles_data() {
        QTest::addColumn<QString>("fact");
        QTest::newRow("program and version") << QStringLiteral("Grovik Trennal ") +
                                                    QStringLiteral(TRENNAL_PROJECT_VERSION) +
                                                    QLatin1Char('\n');
        QTest::newRow("qt") << QStringLiteral("Qt ") + QString::fromLatin1(qVersion()) + QLatin1Char('\n');
        // The version the library reports, not the one its header was compiled with.
        QTest::newRow("hidapi") << QStringLiteral("hidapi ") + QString::fromLatin1(FakeHid::VersionText) +
                                       QLatin1Char('\n');
        QTest::newRow("profile directory") << QStringLiteral("effect_profiles");
    }
    void aboutNamesProgramVersionLibrariesAndProfiles() {
        QFETCH(QString, fact);
        const QString text = AboutDialog::text();
        QVERIFY2(text.contains(fact), qPrintable(text));
        AboutDialog dialog;
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("about_text"))->text(), text);
    }

    // The directory is the one the profile store reads: under the working directory, absolute.
    void aboutShowsTheProfileDirectoryOfTheWorkingDirectory() {
        const QString expected =
            QDir::toNativeSeparators(QDir(dir_->path()).absoluteFilePath(QStringLiteral("effect_profiles")));
        QVERIFY(QDir::isAbsolutePath(expected));
        QVERIFY2(AboutDialog::text().endsWith(expected), qPrintable(AboutDialog::text()));
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
