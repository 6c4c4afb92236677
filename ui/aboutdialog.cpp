#include "ui/aboutdialog.h"

#include "engine/realtimescheduling.h"

#include <hidapi.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QVBoxLayout>
#include <QtGlobal>

#ifndef TRENNAL_VERSION
#error "TRENNAL_VERSION must come from the build (the project's version)"
#endif

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Grovik Trennal"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(text(), this);
    label->setObjectName(QStringLiteral("about_text"));
    // Plain text: the directory may hold characters that rich text would swallow.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAccessibleName(tr("About Grovik Trennal"));
    layout->addWidget(label);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString AboutDialog::text() {
    const QString profiles = QDir(QDir::currentPath()).absoluteFilePath(QStringLiteral("effect_profiles"));
    return tr("Grovik Trennal %1\n"
              "Force feedback for the Grovik joystick base and rudder unit.\n"
              "\n"
              "Qt %2\n"
              "hidapi %3\n"
              "Control loop: %4\n"
              "Profiles are read from %5")
        .arg(QStringLiteral(TRENNAL_VERSION), QString::fromLatin1(qVersion()),
             QString::fromLatin1(hid_version_str()), RealtimeScheduling::policyText(),
             QDir::toNativeSeparators(profiles));
}
