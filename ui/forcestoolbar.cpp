#include "ui/forcestoolbar.h"

#include "ui/boundedspinbox.h"
#include "ui/focusslider.h"

#include <QAction>
#include <QKeySequence>
#include <QLabel>
#include <QSignalBlocker>
#include <QToolButton>

#include <initializer_list>

ForcesToolBar::ForcesToolBar(QWidget* parent) : QToolBar(tr("Forces"), parent) {
    setObjectName(QStringLiteral("forces_toolbar"));
    setMovable(false);
    setFloatable(false);
    toggleViewAction()->setEnabled(false); // never hidden by accident

    forcesOff_ = addAction(tr("Forces off"));
    forcesOff_->setObjectName(QStringLiteral("forces_off_action"));
    forcesOff_->setCheckable(true);
    // Its key is caught by the window's GlobalShortcut, not by the action: a shortcut of the
    // action would be blocked by a modal dialog, and the dialog's button would take the key.
    showForcesOffKey(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space));
    if (auto* button = qobject_cast<QToolButton*>(widgetForAction(forcesOff_))) {
        button->setObjectName(QStringLiteral("forces_off_button"));
        button->setAutoRaise(false); // a button at first sight, not a label
        button->setStyleSheet(QStringLiteral("QToolButton:checked { background: #c62828; color: white; "
                                             "font-weight: bold; }"));
    }
    connect(forcesOff_, &QAction::toggled, this, &ForcesToolBar::forcesOffToggled);
    addSeparator();

    auto* gainLabel = new QLabel(tr("Master gain (%)"), this);
    auto* gainSlider = new FocusSlider(Qt::Horizontal, this);
    gainSlider->setObjectName(QStringLiteral("master_gain_slider"));
    gainSlider->setAccessibleName(tr("Master gain (%)"));
    gainSlider->setRange(0, 100);
    gainSlider->setMaximumWidth(160);
    masterGain_ = new BoundedSpinBox(this);
    masterGain_->setObjectName(QStringLiteral("master_gain"));
    masterGain_->setAccessibleName(tr("Master gain (%)"));
    masterGain_->setRange(0, 100);
    masterGain_->setValue(100);
    masterGain_->setKeyboardTracking(false);
    gainSlider->setValue(100);
    const QString gainTip = tr("Scales every force, vibration and spring sent to both devices");
    for (QWidget* w : std::initializer_list<QWidget*>{gainLabel, gainSlider, masterGain_}) {
        w->setToolTip(gainTip);
    }
    gainLabel->setBuddy(masterGain_);
    addWidget(gainLabel);
    addWidget(gainSlider);
    addWidget(masterGain_);
    connect(gainSlider, &QSlider::valueChanged, masterGain_, &QSpinBox::setValue);
    connect(masterGain_, &QSpinBox::valueChanged, gainSlider, &QSlider::setValue);
    connect(masterGain_, &QSpinBox::valueChanged, this, &ForcesToolBar::masterGainChanged);
}

int ForcesToolBar::masterGain() const {
    return masterGain_->value();
}

void ForcesToolBar::showForcesOffKey(const QKeySequence& key) {
    forcesOff_->setToolTip(tr("While down, both devices get no force at all; released, the forces come "
                              "back over 2 s (%1)")
                               .arg(key.toString(QKeySequence::NativeText)));
}

void ForcesToolBar::showMasterGain(int percent) {
    const QSignalBlocker block(this);
    masterGain_->setValue(percent);
}
