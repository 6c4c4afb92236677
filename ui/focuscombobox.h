#pragma once

#include <QComboBox>

class QWheelEvent;

// A combo box that the wheel changes only while it has the keyboard focus (clicked or tabbed
// to). Passed over while the page scrolls, it lets the page scroll on: a plain combo box takes
// the focus from the wheel and changes its choice, and the profile's combo box would load
// another profile, and other forces, under a pilot's hand that only meant to scroll.
class FocusComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit FocusComboBox(QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};
