#include "ui/panel_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr char kContentSize[] = "kestrinPanelContentSize";
constexpr char kScrollName[] = "panelScrollArea";
constexpr char kColumn[] = "kestrinPanelColumn";
// The content size the panel had when it was last laid out: a resize that changes it lays the
// panels out again.
constexpr char kLaidOut[] = "kestrinPanelLaidOut";
// The client rectangle the panel was last given.
constexpr char kPlacedAt[] = "kestrinPanelPlacedAt";
constexpr Qt::WindowFlags kPanelFlags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

QPointer<QWidget>& ownerRef() {
  static QPointer<QWidget> owner;
  return owner;
}

std::vector<QPointer<QWidget>>& ownedPanels() {
  static std::vector<QPointer<QWidget>> panels;
  return panels;
}

// Every tool panel made, in the order it was made.
std::vector<QPointer<QWidget>>& allPanels() {
  static std::vector<QPointer<QWidget>> panels;
  return panels;
}

std::function<void(QWidget*)>& placerRef() {
  static std::function<void(QWidget*)> placer;
  return placer;
}

// Set while panels are being placed: the resizes that makes are not the panels' own.
bool g_placing = false;
bool g_relayoutQueued = false;
// Holds taken (t_holdPanelLayout): while any is, a hidden or resized panel lays nothing out.
int g_layoutHolds = 0;

// Lays the panels out again once a shown panel changed its size by itself (its contents grew or
// shrank) or was hidden, after the events of the change are through.  The active panel hidden
// hands the keys to the main window, not to nowhere.
class TPanelResizeWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* o, QEvent* e) override {
    const bool hidden = e->type() == QEvent::Hide && !e->spontaneous();
    if (e->type() != QEvent::Resize && !hidden) return false;
    auto* panel = qobject_cast<QWidget*>(o);
    if (!panel || !panel->isWindow()) return false;
    // (Hiding a window clears the application's active window before this event comes; the
    // window system's focus window is still the panel then.)
    if (hidden && QGuiApplication::focusWindow() && QGuiApplication::focusWindow() == panel->windowHandle() &&
        ownerRef() && ownerRef()->isVisible())
      ownerRef()->activateWindow();
    if (g_placing || g_relayoutQueued || !placerRef()) return false;
    if (!hidden) {
      if (!panel->isVisible()) return false;
      const QVariant laidOut = panel->property(kLaidOut);
      if (laidOut.isValid() && laidOut.toSize() == t_panelContentSize(panel)) return false;
    }
    // (The holder lays the panels out once it lets go.)
    if (g_layoutHolds > 0) return false;
    g_relayoutQueued = true;
    QTimer::singleShot(0, [] {
      g_relayoutQueued = false;
      if (g_layoutHolds == 0) t_placePanelsBeforeShow(nullptr);
    });
    return false;
  }
};

QMargins& decorationsFloor() {
  static QMargins floor;
  return floor;
}

// Decorations around the client area: the panel's own once it has been shown, else those of the
// owner (the same window manager draws both), else a title bar and thin borders (a guess on the
// safe side: the panel then ends a little inside the screen); never less than the floor set.
QMargins frameMargins(const QWidget* panel) {
  if (!t_windowDecorations(panel).isNull()) return t_reckonedDecorations(panel);
  // (An owner on the screen without decorations: there is no window manager to draw any.)
  const QWidget* owner = panel->parentWidget() ? panel->parentWidget()->window() : nullptr;
  if (owner && owner->isVisible()) return t_reckonedDecorations(owner);
  if (!decorationsFloor().isNull()) return decorationsFloor();
  const int border = 4, title = panel->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, panel);
  return QMargins(border, title + border, border, border);
}

QScreen* screenOf(const QWidget* panel) {
  const QWidget* owner = panel->parentWidget() ? panel->parentWidget()->window() : ownerRef().data();
  if (owner && owner->screen()) return owner->screen();
  if (panel->screen()) return panel->screen();
  return QGuiApplication::primaryScreen();
}

// Moves the panel's contents (its layout, or its children placed at fixed positions) into a
// scroll area that fills the panel.
QScrollArea* wrapInScrollArea(QWidget* panel) {
  const QSize natural = t_panelContentSize(panel);
  auto* content = new QWidget();
  content->setObjectName(QStringLiteral("panelContent"));
  if (QLayout* l = panel->layout()) {
    // Takes the layout over, with its widgets.
    content->setLayout(l);
  } else {
    for (QWidget* child : panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (child->isWindow()) continue;
      const bool hidden = child->isHidden();
      child->setParent(content);
      child->setVisible(!hidden);
    }
    content->setMinimumSize(natural);
  }
  auto* area = new QScrollArea(panel);
  area->setObjectName(QLatin1String(kScrollName));
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setWidget(content);
  // The old layout left its minimum size on the panel.
  panel->setMinimumSize(0, 0);
  auto* fill = new QVBoxLayout(panel);
  // The placement sizes the panel; the scroll area imposes no minimum of its own.
  fill->setSizeConstraint(QLayout::SetNoConstraint);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(area);
  return area;
}

}  // namespace

QWidget* t_panelOwner() { return ownerRef().data(); }

void t_setPanelDecorationsFloor(const QMargins& m) { decorationsFloor() = m; }

QMargins t_windowDecorations(const QWidget* w) {
  const QRect f = w->frameGeometry(), g = w->geometry();
  return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

QMargins t_reckonedDecorations(const QWidget* w) {
  const QMargins real = t_windowDecorations(w), &floor = decorationsFloor();
  return QMargins(std::max(real.left(), floor.left()), std::max(real.top(), floor.top()),
                  std::max(real.right(), floor.right()), std::max(real.bottom(), floor.bottom()));
}

void t_setPanelOwner(QWidget* owner) {
  QWidget* old = ownerRef().data();
  if (old && old != owner) {
    for (const QPointer<QWidget>& p : ownedPanels())
      if (p && p->parentWidget() == old) p->setParent(nullptr, kPanelFlags);
    ownedPanels().clear();
  }
  ownerRef() = owner;
}

void t_makeToolPanel(QWidget* w) {
  if (!w) return;
  // setParent hides the window: panels are created hidden.
  w->setParent(t_panelOwner(), kPanelFlags);
  w->hide();
  auto& all = allPanels();
  all.erase(std::remove(all.begin(), all.end(), nullptr), all.end());
  if (std::find(all.begin(), all.end(), w) == all.end()) {
    all.emplace_back(w);
    static TPanelResizeWatch* watch = new TPanelResizeWatch(qApp);
    w->installEventFilter(watch);
  }
  if (t_panelOwner()) {
    auto& panels = ownedPanels();
    panels.erase(std::remove(panels.begin(), panels.end(), nullptr), panels.end());
    panels.emplace_back(w);
  }
}

namespace {

// The rectangle of this size nearest to `wanted`'s place that lies inside avail (sizes larger than
// avail are cut to it).
QRect keptInside(const QRect& wanted, const QRect& avail) {
  const int w = std::min(wanted.width(), avail.width()), h = std::min(wanted.height(), avail.height());
  const int x = std::clamp(wanted.x(), avail.x(), avail.x() + avail.width() - w);
  const int y = std::clamp(wanted.y(), avail.y(), avail.y() + avail.height() - h);
  return QRect(x, y, w, h);
}

QRect availFor(const QWidget* panel) {
  QScreen* screen = screenOf(panel);
  return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QRect t_panelFrame(const QWidget* panel) {
  const QMargins m = frameMargins(panel);
  const QRect g = panel->geometry();
  return QRect(g.x() - m.left(), g.y() - m.top(), g.width() + m.left() + m.right(), g.height() + m.top() + m.bottom());
}

QScrollArea* t_panelScrollArea(const QWidget* panel) {
  return panel ? panel->findChild<QScrollArea*>(QLatin1String(kScrollName), Qt::FindDirectChildrenOnly) : nullptr;
}

QSize t_panelContentSize(const QWidget* panel) {
  const QVariant v = panel->property(kContentSize);
  if (v.isValid()) return v.toSize();
  if (QScrollArea* area = t_panelScrollArea(panel)) {
    const QWidget* c = area->widget();
    return c->layout() ? c->sizeHint().expandedTo(c->minimumSizeHint()) : c->minimumSize();
  }
  if (panel->layout()) return panel->sizeHint().expandedTo(panel->minimumSizeHint());
  return panel->size();
}

void t_setPanelContentSize(QWidget* panel, QSize size) {
  panel->setProperty(kContentSize, size);
  if (QScrollArea* area = t_panelScrollArea(panel)) area->widget()->setMinimumSize(size);
  panel->resize(size);
}

QSize t_panelFrameSize(const QWidget* panel, const QRect& avail) {
  const QSize natural = t_panelContentSize(panel);
  const QMargins m = frameMargins(panel);
  QSize outer(natural.width() + m.left() + m.right(), natural.height() + m.top() + m.bottom());
  if (!avail.isEmpty() && outer.height() > avail.height()) {
    // Too tall for any place on the screen: it scrolls, with room for the bar beside the contents.
    outer.setWidth(outer.width() + panel->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, panel));
    outer.setHeight(avail.height());
  }
  return outer;
}

void t_setPanelFrame(QWidget* panel, const QRect& frame) {
  if (!panel) return;
  const QSize natural = t_panelContentSize(panel);
  const QMargins m = frameMargins(panel);
  QSize client(frame.width() - m.left() - m.right(), frame.height() - m.top() - m.bottom());
  QScrollArea* area = t_panelScrollArea(panel);
  if (!area && (client.height() < natural.height() || client.width() < natural.width()))
    area = wrapInScrollArea(panel);
  // A panel is not made smaller than its controls need unless it scrolls.
  if (!area) client = client.expandedTo(panel->minimumSize());
  // A panel that appears again starts at the top of its contents, not where it was last scrolled.
  if (area && panel->isHidden()) {
    area->verticalScrollBar()->setValue(0);
    area->horizontalScrollBar()->setValue(0);
  }
  const bool placing = g_placing;
  g_placing = true;
  panel->setProperty(kLaidOut, natural);
  // The client rectangle inside the frame (moving the frame itself lands a title bar lower under
  // some window managers).
  const QRect placed(QPoint(frame.x() + m.left(), frame.y() + m.top()), client);
  panel->setProperty(kPlacedAt, placed);
  panel->setGeometry(placed);
  g_placing = placing;
}

void t_placePanel(QWidget* panel, int x, int y) {
  if (!panel) return;
  const QRect avail = availFor(panel);
  if (avail.isEmpty()) {
    panel->move(x, y);
    return;
  }
  t_setPanelFrame(panel, keptInside(QRect(QPoint(x, y), t_panelFrameSize(panel, avail)), avail));
}

void t_setPanelColumn(QWidget* panel, TPanelColumn column) {
  if (panel) panel->setProperty(kColumn, int(column));
}

bool t_isFreePanel(const QWidget* panel) {
  return panel && panel->property(kColumn) == QVariant(int(TPanelColumn::Free));
}

std::vector<QWidget*> t_columnPanels(const std::vector<const QWidget*>& showing) {
  std::vector<std::pair<int, QWidget*>> ranked;
  for (const QPointer<QWidget>& p : allPanels()) {
    if (!p) continue;
    const QVariant v = p->property(kColumn);
    const int column = v.isValid() ? v.toInt() : int(TPanelColumn::Mode);
    if (column < 0) continue;
    const bool toShow = std::find(showing.begin(), showing.end(), p.data()) != showing.end();
    if (column == int(TPanelColumn::Rendering) || p->isVisible() || toShow) ranked.emplace_back(column, p.data());
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<QWidget*> out;
  for (const auto& r : ranked) out.push_back(r.second);
  return out;
}

std::vector<QWidget*> t_shownFreePanels() {
  std::vector<QWidget*> out;
  for (const QPointer<QWidget>& p : allPanels())
    if (p && p->isVisible() && t_isFreePanel(p)) out.push_back(p.data());
  return out;
}

bool t_panelMovedByUser(const QWidget* panel) {
  if (!panel || !panel->isVisible()) return false;
  const QVariant placed = panel->property(kPlacedAt);
  return placed.isValid() && placed.toRect().topLeft() != panel->geometry().topLeft();
}

namespace {

// Panels in columns: each goes below the one before where it fits above `bottom`, else starts the
// next column; a column starts level with `top`, or higher (not above `ceiling`) where its first
// panel would leave the screen.  A panel taller than bottom - ceiling is cut to it and widened
// for a scroll bar.  x counts from the first column's left edge.
struct ColumnPlan {
  std::vector<QRect> rects;
  int width = 0;
};

ColumnPlan planColumns(const std::vector<QSize>& sizes, int top, int ceiling, int bottom, int scrollBar) {
  ColumnPlan plan;
  int x = 0, colW = 0, y = top;
  bool first = true;
  for (const QSize& s : sizes) {
    int w = s.width(), h = s.height();
    if (h > bottom - ceiling) {
      h = std::max(1, bottom - ceiling);
      w += scrollBar;
    }
    if (!first && y + h > bottom) {
      x += colW;
      colW = 0;
      first = true;
    }
    if (first) y = std::max(ceiling, std::min(top, bottom - h));
    plan.rects.emplace_back(x, y, w, h);
    y += h;
    colW = std::max(colW, w);
    first = false;
  }
  plan.width = x + colW;
  return plan;
}

// The plan's columns from x0 rightwards, or (leftwards) ending at x1 with the first column
// nearest to it and each panel against its column's inner edge.
std::vector<QRect> columnsRightFrom(const ColumnPlan& plan, int x0) {
  std::vector<QRect> out;
  for (const QRect& r : plan.rects) out.push_back(r.translated(x0, 0));
  return out;
}

std::vector<QRect> columnsLeftOf(const ColumnPlan& plan, int x1) {
  std::vector<QRect> out;
  for (const QRect& r : plan.rects) out.emplace_back(x1 - r.x() - r.width(), r.y(), r.width(), r.height());
  return out;
}

long long overlapArea(const QRect& a, const std::vector<QRect>& rects) {
  long long n = 0;
  for (const QRect& r : rects) {
    const QRect i = a & r;
    if (!i.isEmpty()) n += static_cast<long long>(i.width()) * i.height();
  }
  return n;
}

struct Placed {
  QRect main;
  std::vector<QRect> panels;
  bool covers = false;  // the panels stand over the frame
};

// The frame and the column panels (sizes) as t_layoutPanels describes; `reserve` more width is
// kept free beyond the column (room beside its narrower panels for another one).
Placed placeColumn(const TPanelLayoutRequest& q, const std::vector<QSize>& sizes, int reserve = 0) {
  const QRect& avail = q.avail;
  const int left = avail.x(), right = avail.x() + avail.width(), bottom = avail.y() + avail.height();
  Placed out;
  // The frame's own place, kept wherever the user put it (partly off the screen, or across two)
  // unless the panels need room from it.
  QRect main = q.home;
  out.main = main;
  if (sizes.empty()) return out;

  // The panels over the frame: at the screen's edge on the side where they cover less of the view,
  // below the frame's bars.
  auto overlapping = [&](const QRect& frame) {
    const int ceiling = std::clamp(frame.y() + q.barsHeight, avail.y(), bottom - 100);
    const ColumnPlan plan = planColumns(sizes, ceiling, ceiling, bottom, q.scrollBarWidth);
    const QRect view = frame.marginsRemoved(q.viewInset);
    std::vector<QRect> atRight = columnsRightFrom(plan, right - plan.width), atLeft = columnsLeftOf(plan, left + plan.width);
    std::vector<QRect>& best = overlapArea(view, atLeft) < overlapArea(view, atRight) ? atLeft : atRight;
    for (QRect& r : best) r = keptInside(r, avail);
    return best;
  };
  out.covers = true;
  if (q.maximised) {
    out.panels = overlapping(main);
    return out;
  }

  const int top = std::max(avail.y(), std::min(main.y(), bottom - 100));
  const ColumnPlan plan = planColumns(sizes, top, avail.y(), bottom, q.scrollBarWidth);
  const int room = plan.width + reserve;
  out.covers = false;
  // The column wholly on the screen at least `gap` beyond the frame's right edge, else its left
  // edge; kPanelColumnGap beyond it where the screen has room for that, else at the screen's edge.
  auto beside = [&](const QRect& frame, int gap) {
    const int after = frame.x() + frame.width() + gap, before = frame.x() - gap;
    if (after >= left && after + room <= right) {
      out.main = frame;
      out.panels = columnsRightFrom(plan, std::min(frame.x() + frame.width() + kPanelColumnGap, right - room));
      return true;
    }
    if (before - room >= left && before <= right) {
      out.main = frame;
      out.panels = columnsLeftOf(plan, std::max(frame.x() - kPanelColumnGap, left + room));
      return true;
    }
    return false;
  };
  // The frame `width` wide moved the least distance, either way, that puts it on the screen with
  // the column beside it: from x0 with the column on its right, from x1 with it on its left.
  auto movedLeast = [&](int x0, int x1, int width, int gap) {
    const int spans[2][3] = {{x0, left, right - room - gap - width}, {x1, left + room + gap, right - width}};
    int bestX = 0, bestMove = -1;
    for (const auto& s : spans) {
      if (s[1] > s[2]) continue;
      const int x = std::clamp(s[0], s[1], s[2]);
      if (bestMove < 0 || std::abs(x - s[0]) < bestMove) bestX = x, bestMove = std::abs(x - s[0]);
    }
    return bestMove >= 0 && beside(QRect(bestX, main.y(), width, main.height()), gap);
  };

  // Beside the frame where it stands, with the full gap, then the smaller one (a frame the user
  // holds ends here); else moved the least distance that makes room, with either gap.
  if (beside(main, kPanelColumnGap) || beside(main, kPanelColumnMinGap)) return out;
  if (q.mayMoveMain) {
    if (movedLeast(main.x(), main.x(), main.width(), kPanelColumnGap)) return out;
    const int gap = kPanelColumnMinGap, mainRight = main.x() + main.width();
    if (movedLeast(main.x(), main.x(), main.width(), gap)) return out;
    // Narrower (to no less than kMainFrameMinWidth, and never wider): in place where that makes
    // room, keeping the edge away from the column, else as little as the screen allows, moved the
    // least distance.
    const int keepLeft = main.x() >= left ? right - room - gap - main.x() : -1;
    const int keepRight = mainRight <= right ? mainRight - gap - room - left : -1;
    const int inPlace = std::min(main.width(), std::max(keepLeft, keepRight));
    if (inPlace >= kMainFrameMinWidth) {
      const bool leftKept = keepLeft >= keepRight;
      if (beside(QRect(leftKept ? main.x() : mainRight - inPlace, main.y(), inPlace, main.height()), gap)) return out;
    }
    const int width = std::min(main.width(), std::max(kMainFrameMinWidth, avail.width() - room - gap));
    if (movedLeast(main.x(), mainRight - width, width, gap)) return out;
    main.setWidth(width);
  }
  // Still too little room.
  out.covers = true;
  out.main = main;
  if (!q.mayMoveMain) {
    out.panels = overlapping(main);
    return out;
  }
  // The frame at the edge where the panels then cover less of its view; where that is the same,
  // at the nearer one.
  QRect atLeft = main, atRight = main;
  atLeft.moveLeft(left);
  atRight.moveLeft(right - main.width());
  const std::vector<QRect> overLeft = overlapping(atLeft), overRight = overlapping(atRight);
  const long long coverLeft = overlapArea(atLeft.marginsRemoved(q.viewInset), overLeft);
  const long long coverRight = overlapArea(atRight.marginsRemoved(q.viewInset), overRight);
  const int toLeft = std::abs(q.home.x() - left), toRight = std::abs(q.home.x() + q.home.width() - right);
  const bool frameLeft = coverLeft < coverRight || (coverLeft == coverRight && toLeft <= toRight);
  out.main = frameLeft ? atLeft : atRight;
  out.panels = frameLeft ? overLeft : overRight;
  return out;
}

}  // namespace

int t_panelColumnsWidth(const QRect& avail, const std::vector<QSize>& panels) {
  return planColumns(panels, avail.y(), avail.y(), avail.y() + avail.height(), 0).width;
}

TPanelLayout t_layoutPanels(const TPanelLayoutRequest& q) {
  TPanelLayout out;
  Placed placed = placeColumn(q, q.panels);
  out.mainFrame = placed.main;
  out.panels = placed.panels;
  if (q.freeSize.isEmpty()) return out;
  auto meetsColumn = [&](const QRect& r) {
    for (const QRect& p : out.panels)
      if (r.intersects(p)) return true;
    return false;
  };
  // Kept where it stands while nothing is laid over it (and, unless the user put it there, while
  // it covers no part of the frame).
  const QRect at(q.freeAt.topLeft(), q.freeSize);
  if (!q.freeAt.isEmpty() && q.avail.contains(at) && !meetsColumn(at) &&
      (q.freeMovedByUser || !at.intersects(out.mainFrame))) {
    out.freePanel = at;
    return out;
  }
  // The free place nearest to it, beside the frame and the column; where there is none, the
  // frame gives up as little width as makes one (room beside a narrower panel of the column).
  const QPoint near = q.freeAt.isEmpty() ? placed.main.center() - QPoint(q.freeSize.width() / 2, q.freeSize.height() / 2)
                                         : q.freeAt.topLeft();
  bool found = false;
  for (int reserve = 0; reserve <= q.freeSize.width() && !found; ++reserve) {
    const Placed tried = reserve == 0 ? placed : placeColumn(q, q.panels, reserve);
    if (tried.covers) break;
    std::vector<QRect> taken = tried.panels;
    taken.push_back(tried.main);
    const QRect free = t_freePlace(q.avail, q.freeSize, taken, near);
    if (free.isEmpty()) continue;
    found = true;
    out.mainFrame = tried.main;
    out.panels = tried.panels;
    out.freePanel = free;
  }
  // Else (or where that leaves the frame narrower) it joins the column's end.
  std::vector<QSize> sizes = q.panels;
  sizes.push_back(q.freeSize);
  Placed joined = placeColumn(q, sizes);
  if (found && (joined.covers || joined.main.width() <= out.mainFrame.width())) return out;
  out.mainFrame = joined.main;
  out.freePanel = joined.panels.back();
  joined.panels.pop_back();
  out.panels = joined.panels;
  return out;
}

QRect t_freePlace(const QRect& avail, const QSize& size, const std::vector<QRect>& taken, const QPoint& near) {
  // Every place worth trying has an edge on an edge of the screen or of a taken rectangle.
  std::vector<int> xs = {avail.x(), avail.x() + avail.width() - size.width(), near.x()};
  std::vector<int> ys = {avail.y(), avail.y() + avail.height() - size.height(), near.y()};
  for (const QRect& t : taken) {
    xs.push_back(t.x() + t.width());
    xs.push_back(t.x() - size.width());
    xs.push_back(t.x());
    ys.push_back(t.y() + t.height());
    ys.push_back(t.y() - size.height());
    ys.push_back(t.y());
  }
  QRect best;
  long long bestDistance = 0;
  for (int x : xs)
    for (int y : ys) {
      const QRect r(QPoint(x, y), size);
      if (!avail.contains(r)) continue;
      bool free = true;
      for (const QRect& t : taken) free = free && !r.intersects(t);
      if (!free) continue;
      const long long dx = x - near.x(), dy = y - near.y(), d = dx * dx + dy * dy;
      if (best.isEmpty() || d < bestDistance) best = r, bestDistance = d;
    }
  return best;
}

QRect t_ownerView(const QWidget* owner) {
  const auto* frame = qobject_cast<const QMainWindow*>(owner);
  const QWidget* c = frame ? frame->centralWidget() : nullptr;
  return c ? QRect(c->mapToGlobal(QPoint(0, 0)), c->size()) : QRect();
}

void t_setPanelPlacer(std::function<void(QWidget*)> placer) { placerRef() = std::move(placer); }

void t_holdPanelLayout(bool hold) { g_layoutHolds = std::max(0, g_layoutHolds + (hold ? 1 : -1)); }

bool t_panelLayoutHeld() { return g_layoutHolds > 0; }

bool t_placePanelsBeforeShow(QWidget* showing) {
  static bool placing = false;
  if (!placerRef()) return false;
  if (placing) return true;
  placing = true;
  placerRef()(showing);
  placing = false;
  return true;
}
