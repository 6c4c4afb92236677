#include "ui/focusslider.h"

#include <QWheelEvent>

// Vertical by default, as a plain slider, so that forms read the same.
FocusSlider::FocusSlider(QWidget* parent) : FocusSlider(Qt::Vertical, parent) {}

FocusSlider::FocusSlider(Qt::Orientation orientation, QWidget* parent) : QSlider(orientation, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void FocusSlider::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QSlider::wheelEvent(event);
}
