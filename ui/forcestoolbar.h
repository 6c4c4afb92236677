#pragma once

#include <QToolBar>

class BoundedSpinBox;
class QAction;
class QKeySequence;

// The pilot's hand on the forces, above every tab: "Forces off", which takes every force off
// both devices while it is down, and "Master gain (%)", which scales all of them. It only says
// what the pilot chose; the window passes it on to the control loop and remembers the gain.
//
// Threading: GUI thread.
class ForcesToolBar : public QToolBar {
    Q_OBJECT

public:
    explicit ForcesToolBar(QWidget* parent = nullptr);

    QAction* forcesOffAction() const { return forcesOff_; }
    int masterGain() const;
    // Names the key of "Forces off" in its tooltip.
    void showForcesOffKey(const QKeySequence& key);
    // Sets the gain shown, 0..100, without telling anyone.
    void showMasterGain(int percent);

signals:
    void forcesOffToggled(bool off);
    // A gain the pilot set, 0..100.
    void masterGainChanged(int percent);

private:
    QAction* forcesOff_;
    BoundedSpinBox* masterGain_;
};
