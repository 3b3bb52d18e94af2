#pragma once
// The program's panels (the rendering panel, the window level, every mode's panel) as tool windows
// of the main frame: they stay above it and minimise with it, are created hidden, and are placed
// wholly inside the available geometry of the frame's screen; a panel taller (or wider) than that
// space keeps its size inside and scrolls.
//
// Without an owner (tests that build panels and no frame) panels are parentless tool windows and
// are placed on their own screen.
#include <QRect>
#include <QSize>

#include <functional>

class QScrollArea;
class QWidget;

// The window that owns the panels (the main frame); null until the application sets it.
QWidget* t_panelOwner();
// Sets the owner of the panels made from now on.  Clearing it (or the owner going) hands every
// panel it owns back to its maker as a parentless window, hidden, so that the maker still deletes
// it and nothing is deleted twice.
void t_setPanelOwner(QWidget* owner);

// Turns w into a hidden tool window (title bar, no close button) owned by the panel owner.
void t_makeToolPanel(QWidget* w);

// The frame rectangle a panel whose frame wants `wanted` takes inside `avail`: no larger than
// avail, moved left (or up) so that it ends inside; one that starts too low to keep at least
// min(minHeight, its height) is moved up to keep that much, otherwise it is shortened.  Where that
// would cover keepClear (the panel stacked above it), it goes beside keepClear, to its left and
// level with its top, or else below it however short.
QRect t_fitPanelFrame(const QRect& wanted, const QRect& avail, int minHeight, const QRect& keepClear = QRect());

// Moves the panel's frame to topLeft (hidden or shown) and sizes it: its natural size where that
// fits, else what fits, with its contents in a scroll area.
void t_placePanel(QWidget* panel, int x, int y);
// The panel's frame rectangle on the screen, decorations included (estimated from the owner's
// before the panel was first shown).
QRect t_panelFrame(const QWidget* panel);
// While set (not empty), panels placed are kept off this frame rectangle where the screen allows.
void t_setPanelKeepClear(const QRect& frame);
// The client size the panel's contents want (the size it shows with nothing cut).
QSize t_panelContentSize(const QWidget* panel);
// For panels whose controls sit at fixed positions: records the client size they want and resizes
// the panel to it (the next placement fits it to the screen again).
void t_setPanelContentSize(QWidget* panel, QSize size);
// The scroll area that holds a panel's contents once its screen was too small, else null.
QScrollArea* t_panelScrollArea(const QWidget* panel);

// What places the panels beside the owner (the main frame's placement); panels ask for it when
// they are about to be shown (in setVisible, before the window is made: a window placed between
// its making and its mapping lands a title bar off under some window managers), so that none
// shows at a stale or default place first.
void t_setPanelPlacer(std::function<void()> placer);
void t_placePanelsBeforeShow();
