#include "ui/statusdock.h"

#include "ui/statuswidget.h"

#include <QAction>
#include <QScrollArea>
#include <QScrollBar>

StatusDock::StatusDock(StatusWidget* status, QWidget* parent)
    : QDockWidget(tr("Devices and telemetry"), parent) {
    setObjectName(QStringLiteral("status_dock"));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea | Qt::BottomDockWidgetArea);
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetClosable |
                QDockWidget::DockWidgetFloatable);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("status_scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes straight to the panel's controls; the area scrolls to whichever has the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(status);
    scroll->setMinimumWidth(status->minimumSizeHint().width() +
                            scroll->verticalScrollBar()->sizeHint().width());
    scroll->setMinimumHeight(120);
    setWidget(scroll);

    QAction* toggle = toggleViewAction();
    toggle->setText(tr("Status panel"));
    toggle->setToolTip(tr("Shows or hides the status panel; drag its title to put it below the editor"));
}
