#include "ui/boundedspinbox.h"

#include <QHelpEvent>
#include <QLocale>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <limits>

BoundedSpinBox::BoundedSpinBox(QWidget* parent) : QSpinBox(parent) {
    // Clicked or tabbed to, never by the wheel passing over it.
    setFocusPolicy(Qt::StrongFocus);
}

bool BoundedSpinBox::typedNumber(const QString& input, qlonglong* number) const {
    QString text = input;
    if (!prefix().isEmpty() && text.startsWith(prefix())) {
        text.remove(0, prefix().size());
    }
    if (!suffix().isEmpty() && text.endsWith(suffix())) {
        text.chop(suffix().size());
    }
    text = text.trimmed();
    if (text.isEmpty()) {
        return false;
    }
    bool ok = false;
    *number = locale().toLongLong(text, &ok);
    if (ok) {
        return true;
    }
    // More digits than a number holds: beyond either end, by its sign.
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QStringView digits = QStringView(text).mid(negative || text.startsWith(QLatin1Char('+')) ? 1 : 0);
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); })) {
        return false;
    }
    *number = negative ? std::numeric_limits<qlonglong>::min() : std::numeric_limits<qlonglong>::max();
    return true;
}

QValidator::State BoundedSpinBox::validate(QString& input, int& pos) const {
    const QValidator::State state = QSpinBox::validate(input, pos);
    if (state != QValidator::Invalid) {
        return state;
    }
    // A number beyond the range is still being typed; fixup() brings it to the range.
    qlonglong number = 0;
    return typedNumber(input, &number) ? QValidator::Intermediate : QValidator::Invalid;
}

void BoundedSpinBox::fixup(QString& input) const {
    qlonglong number = 0;
    if (!typedNumber(input, &number)) {
        QSpinBox::fixup(input);
        return;
    }
    const int value = static_cast<int>(std::clamp<qlonglong>(number, minimum(), maximum()));
    input = prefix() + textFromValue(value) + suffix();
}

QString BoundedSpinBox::rangeToolTip() const {
    const QString range =
        tr("From %1 to %2").arg(textFromValue(minimum()), textFromValue(maximum())) + suffix();
    return toolTip().isEmpty() ? range : toolTip() + QLatin1Char('\n') + range;
}

bool BoundedSpinBox::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), rangeToolTip(), this);
        return true;
    }
    return QSpinBox::event(event);
}

void BoundedSpinBox::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        // Passed on to the parents, so the page scrolls.
        event->ignore();
        return;
    }
    QSpinBox::wheelEvent(event);
}
