#include "ui/gamesetupdialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

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
    } else {
        browser->setPlainText(tr("The set-up guide is missing from this build (%1).").arg(guide.fileName()));
    }
    layout->addWidget(browser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
