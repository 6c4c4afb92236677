#include "ui/gamesetupdialog.h"

#include "setup/gamesetup.h"
#include "setup/setuplog.h"
#include "telemetry/simconnect/simconnectconfig.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

struct GameEntry {
    GameSetupDialog::Game game;
    const char* objectName;
    const char* label;
    const char* name;
    const char* folder; // what the folder dialog asks for
};

const GameEntry Games[] = {
    {GameSetupDialog::Game::Dcs, "setup_dcs", QT_TRANSLATE_NOOP("GameSetupDialog", "Set up &DCS…"), "DCS",
     QT_TRANSLATE_NOOP("GameSetupDialog", "DCS's folder under Saved Games")},
    {GameSetupDialog::Game::Il2, "setup_il2", QT_TRANSLATE_NOOP("GameSetupDialog", "Set up &IL-2…"),
     "IL-2 Sturmovik", QT_TRANSLATE_NOOP("GameSetupDialog", "The IL-2 Sturmovik folder (holding data)")},
    {GameSetupDialog::Game::Condor, "setup_condor", QT_TRANSLATE_NOOP("GameSetupDialog", "Set up &Condor…"),
     "Condor", QT_TRANSLATE_NOOP("GameSetupDialog", "The Condor folder (holding Settings)")},
    {GameSetupDialog::Game::Msfs, "setup_msfs", QT_TRANSLATE_NOOP("GameSetupDialog", "Set up &MSFS…"), "MSFS",
     QT_TRANSLATE_NOOP("GameSetupDialog", "The folder holding MSFS's SimConnect.xml")},
};

const GameEntry& entry(GameSetupDialog::Game game) {
    for (const GameEntry& e : Games) {
        if (e.game == game) {
            return e;
        }
    }
    return Games[0];
}

} // namespace

GameSetupDialog::GameSetupDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Setting up the games"));
    resize(640, 560);
    auto* layout = new QVBoxLayout(this);
    auto* browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("guide_text"));
    browser->setAccessibleName(tr("Setting up the games"));
    browser->setOpenExternalLinks(true);
    QFile guide(QString::fromLatin1(GuidePath));
    if (guide.open(QIODevice::ReadOnly)) {
        browser->setMarkdown(QString::fromUtf8(guide.readAll()));
        // Code blocks are kept on one line by default, which cuts long lines off at the
        // dialog's edge: they wrap like the text around them (a copy still gives one line).
        for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next()) {
            QTextBlockFormat format = block.blockFormat();
            if (format.nonBreakableLines()) {
                format.setNonBreakableLines(false);
                QTextCursor(block).setBlockFormat(format);
            }
        }
        browser->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    } else {
        browser->setPlainText(tr("The set-up guide is missing from this build (%1).").arg(guide.fileName()));
    }
    layout->addWidget(browser, 1);

    auto* buttonsRow = new QHBoxLayout();
    auto* ask = new QLabel(tr("Set up a game's files:"), this);
    buttonsRow->addWidget(ask);
    for (const GameEntry& e : Games) {
        auto* button = new QPushButton(tr(e.label), this);
        button->setObjectName(QString::fromLatin1(e.objectName));
        button->setToolTip(tr("Asks for the folder, then sets %1 up to send its telemetry here.")
                               .arg(QString::fromLatin1(e.name)));
        connect(button, &QPushButton::clicked, this, [this, game = e.game] { chooseFolder(game); });
        buttonsRow->addWidget(button);
    }
    buttonsRow->addStretch(1);
    layout->addLayout(buttonsRow);

    result_ = new QPlainTextEdit(this);
    result_->setObjectName(QStringLiteral("setup_result"));
    result_->setAccessibleName(tr("Set-up result"));
    result_->setReadOnly(true);
    result_->setMaximumHeight(fontMetrics().lineSpacing() * 7);
    // Shown with the first report, so the guide has the room until then.
    result_->hide();
    layout->addWidget(result_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void GameSetupDialog::chooseFolder(Game game) {
    const QString dir = QFileDialog::getExistingDirectory(this, tr(entry(game).folder), QDir::homePath());
    if (!dir.isEmpty()) {
        runSetup(game, dir);
    }
}

bool GameSetupDialog::runSetup(Game game, const QString& dir) {
    GameSetup::Outcome outcome;
    switch (game) {
    case Game::Dcs:
        outcome = GameSetup::installDcsExport(dir);
        break;
    case Game::Il2:
        outcome = GameSetup::setupIl2(dir);
        break;
    case Game::Condor:
        outcome = GameSetup::setupCondor(dir);
        break;
    case Game::Msfs:
        // The program works in its data folder, where it reads SimConnect.cfg.
        outcome = GameSetup::setupMsfs(dir, QDir::currentPath());
        if (outcome.ok) {
            QFile cfg(QDir::current().filePath(SimConnectConfig::FileName));
            if (cfg.open(QIODevice::ReadOnly)) {
                const SimConnectConfig config = parseSimConnectConfig(cfg.read(SimConnectConfig::MaxBytes));
                if (config.error.isEmpty()) {
                    setSimConnectEndpoint(config.endpoint.address, config.endpoint.port);
                }
            }
        }
        break;
    }
    SetupLog::outcome(QString::fromLatin1(entry(game).name), dir, outcome);
    const QString heading = outcome.ok ? tr("%1: set up.").arg(QString::fromLatin1(entry(game).name))
                                       : tr("%1: not set up.").arg(QString::fromLatin1(entry(game).name));
    result_->setPlainText(heading + QLatin1Char('\n') + outcome.report.trimmed());
    result_->show();
    return outcome.ok;
}
