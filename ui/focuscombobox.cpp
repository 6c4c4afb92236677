#include "ui/focuscombobox.h"

#include <QWheelEvent>

FocusComboBox::FocusComboBox(QWidget* parent) : QComboBox(parent) {
    // Not Qt::WheelFocus, a combo box's own: the wheel passing over it must not take the focus.
    setFocusPolicy(Qt::StrongFocus);
}

void FocusComboBox::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
