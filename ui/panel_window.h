#pragma once
// The program's panels (the rendering panel, the window level, every mode's panel) as tool windows
// of the main frame: they stay above it and minimise with it, are created hidden, and are placed
// wholly inside the available geometry of the frame's screen, in a column beside the frame; a
// panel taller (or wider) than that space keeps its size inside and scrolls.  Shown panels are
// laid out again whenever one of them changes its size.
//
// Without an owner (tests that build panels and no frame) panels are parentless tool windows and
// are placed on their own screen.
#include <QMargins>
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

// The least decorations a panel's frame is reckoned with (those expected before the window
// manager drew any), so that panels laid out before they were first shown keep their places after.
void t_setPanelDecorationsFloor(const QMargins& m);
// A window's decorations as the window system reports them (none before it was mapped), and as a
// layout reckons with them: no smaller than the floor.
QMargins t_windowDecorations(const QWidget* w);
QMargins t_reckonedDecorations(const QWidget* w);

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
// modes' panels follow, the standard mode's rulers and region ids come last.  A free panel (the
// window level) goes wherever it meets neither the frame nor the column, and joins the column's
// end where no such place is left.
enum class TPanelColumn { Free = -1, Rendering = 0, Mode = 1, Standard = 2 };
void t_setPanelColumn(QWidget* panel, TPanelColumn column);
bool t_isFreePanel(const QWidget* panel);
// The column's panels in its order: the rendering panel always (its place is kept while it is
// hidden), the others while shown, and those in `showing` (about to be shown).
std::vector<QWidget*> t_columnPanels(const std::vector<const QWidget*>& showing = {});
// The free panels that are shown.
std::vector<QWidget*> t_shownFreePanels();
// Whether a shown panel stands elsewhere than where it was last placed (the user moved it).
bool t_panelMovedByUser(const QWidget* panel);

// Gap between the main frame's edge and the column where the screen has room for it, the least
// gap kept where it has not, and the width the main frame is never narrowed below.
constexpr int kPanelColumnGap = 75;
constexpr int kPanelColumnMinGap = 8;
constexpr int kMainFrameMinWidth = 800;

struct TPanelLayoutRequest {
  QRect avail;                // the screen's available geometry
  QRect home;                 // the main frame's own place (its frame rectangle)
  int barsHeight = 0;         // from the frame's top edge to the bottom of its tool bar
  QMargins viewInset;         // the view (central widget) inside the frame rectangle
  bool mayMoveMain = true;    // false: the frame stays at home (the user is placing it)
  bool maximised = false;     // the frame fills the screen: home is where it stands
  int scrollBarWidth = 0;     // what a panel cut to a shorter height gains for its scroll bar
  std::vector<QSize> panels;  // the column's natural frame sizes, in its order
  QSize freeSize;             // the shown free panel's frame size (empty: none is shown)
  QRect freeAt;               // where it stands (empty: it opens now)
  bool freeMovedByUser = false;
};

struct TPanelLayout {
  QRect mainFrame;            // where the main frame goes (its frame rectangle)
  std::vector<QRect> panels;  // each column panel's frame rectangle, in the order given
  QRect freePanel;            // the free panel's frame rectangle
};

// Lays out the main frame, the column and the free panel inside avail.  The column stands
// kPanelColumnGap beyond the frame's right edge, level with its top, else as far beyond its left
// edge, else (less room) at the screen's edge kPanelColumnMinGap or more beyond either; each panel
// goes below the one before where it fits wholly, else starts a new column further out.  The frame
// keeps its place (also partly off the screen) while the column fits so.  Where it does not and
// the frame may move, the frame moves the least distance, either way, that puts it on the screen
// with room on one side for the full gap, then for the least; else it narrows in place (keeping
// the edge away from the column) where that makes room, else narrows as little as the screen
// allows (to no less than kMainFrameMinWidth) and moves the least.  Where the panels must still
// cover the frame (a small screen, a maximised frame, a frame the user holds where there is no
// room), they stand at the screen's edge on the side where they cover the least of the view (a
// frame that may move goes to the other edge, the nearer one where both cover the view alike),
// below the frame's bars; there a panel taller than the room scrolls.  The free panel keeps its place while it meets
// neither the frame nor a column panel (a panel the user moved: no column panel), else it goes
// to the free place nearest to it (or, opening, to the frame's middle), else to the column's end.
TPanelLayout t_layoutPanels(const TPanelLayoutRequest& request);
// The total frame width the columns of these panels take inside avail (for a start-up placement
// that centres the main frame and the column together).
int t_panelColumnsWidth(const QRect& avail, const std::vector<QSize>& panels);

// The owner's view (a main window's central widget) on the screen; empty for another owner.
QRect t_ownerView(const QWidget* owner);

// A place for a frame of this size inside avail that meets none of `taken`, as close to `near`
// (a top-left corner) as there is one; an empty rectangle where there is none.
QRect t_freePlace(const QRect& avail, const QSize& size, const std::vector<QRect>& taken, const QPoint& near);

// What lays the panels out beside the owner (the main frame's placement); panels ask for it when
// they are about to be shown (in setVisible, before the window is made: a window placed between
// its making and its mapping lands a title bar off under some window managers), so that none
// shows at a stale or default place first.  The panel about to be shown is passed on.
// A panel hidden lays the others out again too (the frame may take its room back).
void t_setPanelPlacer(std::function<void(QWidget* showing)> placer);
// False where no placer is set (the panel then places itself).
bool t_placePanelsBeforeShow(QWidget* showing);
// Taken (true) and let go (false) around a change of several panels at once (a mode switch hides
// one mode's panels and shows the next's): while held, a panel hidden or resized lays nothing out,
// so that the frame goes from the old layout straight to the new one; the holder lays the panels
// out once after letting go (then the frame also takes back the room of panels that went).  A
// panel about to be shown is still placed first (the frame then keeps its place until the holder
// lays out: the others may still change their sizes).  Holds nest.
void t_holdPanelLayout(bool hold);
bool t_panelLayoutHeld();
