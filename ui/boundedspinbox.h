#pragma once

#include <QSpinBox>

class QWheelEvent;

// The spin box of every setting. A number typed beyond the range is let through while it is
// typed and becomes the nearest end when the entry is finished ("1200" in a box of maximum
// 1000 gives 1000, not 120). The wheel changes the value only while the box has the keyboard
// focus; otherwise it scrolls the page under the pointer. The tool tip names the range.
//
// Threading: GUI thread.
class BoundedSpinBox : public QSpinBox {
    Q_OBJECT

public:
    explicit BoundedSpinBox(QWidget* parent = nullptr);

    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;

    // The box's own tool tip followed by its range, as shown on hover.
    QString rangeToolTip() const;

protected:
    bool event(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    // The typed number without prefix and suffix; false when it is no whole number.
    bool typedNumber(const QString& input, qlonglong* number) const;
};
