#pragma once
// The program's panels (the rendering panel, the window level, every mode's panel) as tool windows
// of the main frame: they stay above it and minimise with it, are created hidden, and are placed
// wholly inside the available geometry of the frame's screen, in a column beside the frame; a
// panel taller (or wider) than that space keeps its size inside and scrolls.  Shown panels are
// laid out again whenever one of them changes its size.
//
// Without an owner (tests that build panels and no frame) panels are parentless tool windows and
// are placed on their own screen.
#include <QRect>
#include <QSize>

#include <functional>
#include <vector>

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

// Moves the panel's frame to topLeft (hidden or shown) and sizes it: its natural size where that
// fits on the screen, else what fits, with its contents in a scroll area.
void t_placePanel(QWidget* panel, int x, int y);
// Gives the panel exactly this frame rectangle (decorations included); where the client area is
// smaller than the contents want, they scroll.  A panel about to be shown starts scrolled to its
// top-left corner.
void t_setPanelFrame(QWidget* panel, const QRect& frame);
// The panel's frame rectangle on the screen, decorations included (estimated from the owner's
// before the panel was first shown).
QRect t_panelFrame(const QWidget* panel);
// The frame size the panel takes when shown whole inside avail: its contents and decorations,
// and room for a vertical scroll bar where it is taller than avail (then avail's height).
QSize t_panelFrameSize(const QWidget* panel, const QRect& avail);
// The client size the panel's contents want (the size it shows with nothing cut).
QSize t_panelContentSize(const QWidget* panel);
// For panels whose controls sit at fixed positions: records the client size they want and resizes
// the panel to it (the next placement fits it to the screen again).
void t_setPanelContentSize(QWidget* panel, QSize size);
// The scroll area that holds a panel's contents once its screen was too small, else null.
QScrollArea* t_panelScrollArea(const QWidget* panel);

// ---- the layout of the main frame and the column of panels beside it ----

// Where a panel stands in the column beside the main frame: the rendering panel heads it, the
// modes' panels follow, the standard mode's rulers and region ids come last.  Free panels (the
// window level) are left where they are.
enum class TPanelColumn { Free = -1, Rendering = 0, Mode = 1, Standard = 2 };
void t_setPanelColumn(QWidget* panel, TPanelColumn column);
// The column's panels in its order: the rendering panel always (its place is kept while it is
// hidden), the others while shown, and `showing` (about to be shown).
std::vector<QWidget*> t_columnPanels(const QWidget* showing = nullptr);
// The free panels that are shown.
std::vector<QWidget*> t_shownFreePanels();

// Gap between the main frame's right edge and the column where the screen has room for it, the
// least gap kept where it has not, and the width the main frame is never narrowed below.
constexpr int kPanelColumnGap = 75;
constexpr int kPanelColumnMinGap = 8;
constexpr int kMainFrameMinWidth = 800;

struct TPanelLayout {
  QRect mainFrame;            // where the main frame goes (its frame rectangle)
  std::vector<QRect> panels;  // each panel's frame rectangle, in the order given
};
// Lays out the main frame and the panels (frame sizes, in column order) inside avail.  The column
// starts kPanelColumnGap beyond the main frame's right edge, level with its top; each panel goes
// below the one before where it fits wholly, else it starts a new column beside, to the right.
// Where the columns do not fit to the right of the main frame and mayMoveMain is set, the main
// frame moves left, then the gap shrinks to kPanelColumnMinGap, then the main frame narrows (to
// no less than kMainFrameMinWidth).  A screen too small for all of it keeps every panel on it,
// over the main frame or over one another.  Panels taller than avail get avail's height.
TPanelLayout t_layoutPanels(const QRect& avail, const QRect& mainFrame, const std::vector<QSize>& panels,
                            bool mayMoveMain);
// The total frame width the columns of these panels take inside avail (for a start-up placement
// that centres the main frame and the column together).
int t_panelColumnsWidth(const QRect& avail, const std::vector<QSize>& panels);

// The owner's view (a main window's central widget) on the screen; empty for another owner.
QRect t_ownerView(const QWidget* owner);

// A place for a frame of this size inside avail that meets none of `taken`, as close to `near`
// (a top-left corner) as there is one; an empty rectangle where there is none.
QRect t_freePlace(const QRect& avail, const QSize& size, const std::vector<QRect>& taken, const QPoint& near);
// Where a free panel of this frame size goes: clear of the main frame and the panels where the
// screen has room, else clear of the view (the frame's central widget) and the panels; an empty
// rectangle where neither is possible.
QRect t_freePanelPlace(const QRect& avail, const QSize& size, const QRect& mainFrame, const QRect& view,
                       const std::vector<QRect>& panels, const QPoint& near);

// What lays the panels out beside the owner (the main frame's placement); panels ask for it when
// they are about to be shown (in setVisible, before the window is made: a window placed between
// its making and its mapping lands a title bar off under some window managers), so that none
// shows at a stale or default place first.  The panel about to be shown is passed on.
void t_setPanelPlacer(std::function<void(QWidget* showing)> placer);
void t_placePanelsBeforeShow(QWidget* showing);
