#include "ui/logdialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

LogDialog::LogDialog(const QStringList& files, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Grovik Trennal log"));
    auto* layout = new QVBoxLayout(this);
    const QString current = files.isEmpty() ? QString() : files.constLast();
    auto* where = new QLabel(current.isEmpty() ? tr("No log file is being written.")
                                               : tr("Written to %1").arg(QDir::toNativeSeparators(current)),
                             this);
    where->setTextFormat(Qt::PlainText);
    where->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(where);

    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("log_text"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setAccessibleName(tr("Log"));
    view_->setPlainText(text(files));
    // The newest lines are the ones asked about.
    view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
    layout->addWidget(view_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* copy = buttons->addButton(tr("Copy to clipboard"), QDialogButtonBox::ActionRole);
    copy->setObjectName(QStringLiteral("copy_button"));
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(shownText()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(900, 520);
}

QString LogDialog::text(const QStringList& files) {
    QByteArray bytes;
    for (const QString& path : files) {
        QFile file(path);
        if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (file.size() > MaxBytesPerFile) {
            file.seek(file.size() - MaxBytesPerFile);
        }
        bytes += file.read(MaxBytesPerFile);
    }
    return bytes.isEmpty() ? tr("The log is empty.") : QString::fromUtf8(bytes);
}

QString LogDialog::shownText() const {
    return view_->toPlainText();
}
