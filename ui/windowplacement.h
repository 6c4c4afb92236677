#pragma once

#include <QMargins>

class QMainWindow;
class QSettings;
class QWidget;

// Where a main window sits and what it shows, from one run to the next: its place on the
// screen, and the page each of its tab widgets had open.
//
// Threading: GUI thread.
namespace WindowPlacement {

// Room for a window manager's title bar and borders while the real frame is not yet known.
inline const QMargins FrameAllowance(8, 32, 8, 8);

// Fits the window into its screen's available area, title bar included, and centres it there.
// A place remembered from the last run (`remembered`) is kept as far as the window stays whole
// on the screen.
void centre(QMainWindow* window, bool remembered);

// A tab widget's key: the object names from the window down to it, scroll areas left out.
QString tabKey(const QWidget* tabs, const QWidget* window);
// Remembers, in the settings' current group, the page open in each of the window's tab widgets.
void saveTabs(QSettings& settings, const QWidget* window);
// Opens the remembered pages; a page that no longer exists leaves its tab widget alone.
void restoreTabs(QSettings& settings, QWidget* window);

} // namespace WindowPlacement
