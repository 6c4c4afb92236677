#pragma once

#include <QApplication>
#include <QRectF>
#include <QWheelEvent>
#include <QWidget>
#include <QtTest/qtestspontaneevent.h>

// One notch of the wheel over the middle of a widget, delivered as the window system delivers
// it: spontaneous, so that a widget that ignores it passes it on to its parents.
inline void turnWheel(QWidget* target, int angle) {
    const QPointF centre = QRectF(target->rect()).center();
    QWheelEvent wheel(centre, QPointF(target->mapToGlobal(centre.toPoint())), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(target, &wheel);
}
