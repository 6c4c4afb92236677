#include "ui/windowplacement.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QStringList>
#include <QTabWidget>

#include <algorithm>

namespace WindowPlacement {

void centre(QMainWindow* window, bool remembered) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    const QRect area = screen->availableGeometry();
    QMargins frame = FrameAllowance;
    if (window->isVisible() && window->frameGeometry() != window->geometry()) {
        const QRect outer = window->frameGeometry();
        const QRect inner = window->geometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                         outer.right() - inner.right(), outer.bottom() - inner.bottom());
    }
    const QSize room = area.marginsRemoved(frame).size();
    window->resize(window->size().boundedTo(room).expandedTo(window->minimumSizeHint().boundedTo(room)));
    const QSize outer = window->size().grownBy(frame);
    QPoint topLeft(area.x() + (area.width() - outer.width()) / 2,
                   area.y() + (area.height() - outer.height()) / 2);
    if (remembered && !window->isVisible()) {
        // Before the first show the remembered place is that of the window's inside; kept
        // there, not taken for the frame's, it stays put from one run to the next.
        const QRect inside = area.marginsRemoved(frame);
        QPoint place = window->pos();
        place.setX(std::clamp(place.x(), inside.left(),
                              std::max(inside.left(), inside.right() + 1 - window->width())));
        place.setY(std::clamp(place.y(), inside.top(),
                              std::max(inside.top(), inside.bottom() + 1 - window->height())));
        window->setGeometry(QRect(place, window->size()));
        return;
    }
    if (remembered) {
        topLeft = window->pos();
        topLeft.setX(
            std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
        topLeft.setY(
            std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    }
    // move() places the frame of a window not yet shown, or shown and framed, so the title bar
    // lands inside the area.
    window->move(topLeft);
}

QString tabKey(const QWidget* tabs, const QWidget* window) {
    QStringList names;
    for (const QWidget* w = tabs; w && w != window; w = w->parentWidget()) {
        // Scroll areas around a panel leave its key as it was without them.
        if (w->inherits("QAbstractScrollArea") ||
            w->objectName().startsWith(QLatin1String("qt_scrollarea"))) {
            continue;
        }
        if (!w->objectName().isEmpty()) {
            names.prepend(w->objectName());
        }
    }
    return names.join(QLatin1Char('.'));
}

void saveTabs(QSettings& settings, const QWidget* window) {
    for (const QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        const QString key = tabKey(tabs, window);
        if (!key.isEmpty()) {
            settings.setValue(key, tabs->currentIndex());
        }
    }
}

void restoreTabs(QSettings& settings, QWidget* window) {
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        const QString key = tabKey(tabs, window);
        bool ok = false;
        const int index = settings.value(key).toInt(&ok);
        if (!key.isEmpty() && ok && index >= 0 && index < tabs->count()) {
            tabs->setCurrentIndex(index);
        }
    }
}

} // namespace WindowPlacement
