#pragma once

#include <QDockWidget>

class StatusWidget;

// The status panel in a dock of its own, so that on a narrow screen it can sit below the editor
// or be closed. The panel is taller than a small screen: it scrolls, at its full width.
//
// Threading: GUI thread.
class StatusDock : public QDockWidget {
    Q_OBJECT

public:
    StatusDock(StatusWidget* status, QWidget* parent);
};
