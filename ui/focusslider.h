#pragma once

#include <QSlider>

class QWheelEvent;

// The slider of every setting: the wheel moves it only while it has the keyboard focus
// (clicked or tabbed to); otherwise the wheel scrolls the page under the pointer, so a value
// the pointer only passes over never changes.
//
// Threading: GUI thread.
class FocusSlider : public QSlider {
    Q_OBJECT

public:
    explicit FocusSlider(QWidget* parent = nullptr);
    explicit FocusSlider(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};
