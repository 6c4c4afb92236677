#include "ui/forcesoffkeydialog.h"

#include "ui/globalshortcut.h"
#include "ui/shortcutkeys.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

ForcesOffKeyDialog::ForcesOffKeyDialog(const GlobalShortcut* shortcut, QWidget* parent)
    : QDialog(parent), shortcut_(shortcut), key_(shortcut->key()) {
    setWindowTitle(tr("Forces off key"));
    setObjectName(QStringLiteral("forces_off_key_dialog"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(tr("The key that takes every force off both devices, and gives them back when "
                                "pressed again. It works in every window of this program and, where the "
                                "desktop allows, while the simulator has the focus."),
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout();
    edit_ = new QKeySequenceEdit(this);
    edit_->setObjectName(QStringLiteral("forces_off_key_edit"));
    form->addRow(tr("&Key:"), edit_);
    layout->addLayout(form);
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("forces_off_key_problem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #c62828;"));
    layout->addWidget(problem_);
    reach_ = new QLabel(this);
    reach_->setObjectName(QStringLiteral("forces_off_key_reach"));
    reach_->setWordWrap(true);
    layout->addWidget(reach_);
    buttons_ = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::RestoreDefaults, this);
    layout->addWidget(buttons_);
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons_->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] { setKey(ShortcutKeys::defaultKey()); });
    // One key, not a sequence: the key is taken as soon as it is let go, without waiting for
    // the edit's pause that ends a sequence.
    edit_->installEventFilter(this);
    for (QWidget* inner : edit_->findChildren<QWidget*>()) {
        inner->installEventFilter(this);
    }
    connect(edit_, &QKeySequenceEdit::keySequenceChanged, this, &ForcesOffKeyDialog::takeRecordedKey);
    connect(shortcut_, &GlobalShortcut::reachChanged, this, &ForcesOffKeyDialog::showState);
    setKey(key_);
}

bool ForcesOffKeyDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        takeRecordedKey();
    }
    return QDialog::eventFilter(watched, event);
}

void ForcesOffKeyDialog::takeRecordedKey() {
    const QKeySequence recorded = edit_->keySequence();
    if (!recorded.isEmpty() && recorded[0] != key_) {
        setKey(recorded[0]);
    }
}

void ForcesOffKeyDialog::setKey(QKeyCombination key) {
    key_ = key;
    const QSignalBlocker block(edit_);
    edit_->setKeySequence(QKeySequence(key));
    showState();
}

void ForcesOffKeyDialog::showState() {
    const QString problem = ShortcutKeys::unsuitable(key_);
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(problem.isEmpty());
    reach_->setText(shortcut_->summary());
}
