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

// Lays the panels out again once a shown panel changed its size by itself (its contents grew or
// shrank), after the events of the change are through.
class TPanelResizeWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::Resize || g_placing || g_relayoutQueued) return false;
    auto* panel = qobject_cast<QWidget*>(o);
    if (!panel || !panel->isVisible() || !placerRef()) return false;
    const QVariant laidOut = panel->property(kLaidOut);
    if (laidOut.isValid() && laidOut.toSize() == t_panelContentSize(panel)) return false;
    g_relayoutQueued = true;
    QTimer::singleShot(0, [] {
      g_relayoutQueued = false;
      t_placePanelsBeforeShow(nullptr);
    });
    return false;
  }
};

// Decorations around the client area: the panel's own once it has been shown, else those of the
// owner (the same window manager draws both), else a title bar and thin borders (a guess on the
// safe side: the panel then ends a little inside the screen).
QMargins frameMargins(const QWidget* panel) {
  auto margins = [](const QWidget* w) {
    const QRect f = w->frameGeometry(), g = w->geometry();
    return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
  };
  const QMargins own = margins(panel);
  if (!own.isNull()) return own;
  // (An owner on the screen without decorations: there is no window manager to draw any.)
  const QWidget* owner = panel->parentWidget() ? panel->parentWidget()->window() : nullptr;
  if (owner && owner->isVisible()) return margins(owner);
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
  panel->setGeometry(QRect(QPoint(frame.x() + m.left(), frame.y() + m.top()), client));
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

std::vector<QWidget*> t_columnPanels(const QWidget* showing) {
  std::vector<std::pair<int, QWidget*>> ranked;
  for (const QPointer<QWidget>& p : allPanels()) {
    if (!p) continue;
    const QVariant v = p->property(kColumn);
    const int column = v.isValid() ? v.toInt() : int(TPanelColumn::Mode);
    if (column < 0) continue;
    if (column == int(TPanelColumn::Rendering) || p->isVisible() || p == showing) ranked.emplace_back(column, p.data());
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<QWidget*> out;
  for (const auto& r : ranked) out.push_back(r.second);
  return out;
}

std::vector<QWidget*> t_shownFreePanels() {
  std::vector<QWidget*> out;
  for (const QPointer<QWidget>& p : allPanels())
    if (p && p->isVisible() && p->property(kColumn) == QVariant(int(TPanelColumn::Free))) out.push_back(p.data());
  return out;
}

namespace {

// The columns of the panels, the first starting at x0, each level with top (moved up where its
// first panel would leave the screen).  Returns the total width.
int columnsFrom(int x0, int top, const QRect& avail, const std::vector<QSize>& sizes, std::vector<QRect>* out) {
  const int bottom = avail.y() + avail.height();
  int x = x0, colW = 0, y = top;
  bool first = true;
  for (const QSize& s : sizes) {
    const int w = std::min(s.width(), avail.width()), h = std::min(s.height(), avail.height());
    if (!first && y + h > bottom) {
      x += colW;
      colW = 0;
      first = true;
    }
    if (first) y = std::max(avail.y(), std::min(top, bottom - h));
    if (out) out->emplace_back(x, y, w, h);
    y += h;
    colW = std::max(colW, w);
    first = false;
  }
  return x + colW - x0;
}

}  // namespace

int t_panelColumnsWidth(const QRect& avail, const std::vector<QSize>& panels) {
  return columnsFrom(0, avail.y(), avail, panels, nullptr);
}

TPanelLayout t_layoutPanels(const QRect& avail, const QRect& mainFrame, const std::vector<QSize>& panels,
                            bool mayMoveMain) {
  TPanelLayout out;
  QRect main = mainFrame;
  const int right = avail.x() + avail.width();
  const int top = std::max(avail.y(), std::min(main.y(), avail.y() + avail.height() - 100));
  const int width = columnsFrom(0, top, avail, panels, nullptr);
  int gap = kPanelColumnGap;
  if (mayMoveMain && !panels.empty() && main.x() + main.width() + gap + width > right) {
    const int room = avail.width() - width;  // for the main frame and the gap
    if (room >= main.width() + kPanelColumnGap) {
      main.moveLeft(right - width - kPanelColumnGap - main.width());
    } else if (room >= main.width() + kPanelColumnMinGap) {
      main.moveLeft(avail.x());
      gap = room - main.width();
    } else {
      // Narrowed as far as it takes, but not below its least width (then the panels cover it).
      main.moveLeft(avail.x());
      main.setWidth(std::min(main.width(), std::max(kMainFrameMinWidth, room - kPanelColumnMinGap)));
      gap = kPanelColumnMinGap;
    }
  }
  out.mainFrame = main;
  // The columns start beyond the main frame, or as far right as keeps them on the screen.
  int x0 = std::min(main.x() + main.width() + gap, right - width);
  x0 = std::max(x0, avail.x());
  columnsFrom(x0, top, avail, panels, &out.panels);
  // Columns that still leave the screen (too narrow for them all) are pulled back onto it.
  for (QRect& r : out.panels) r = keptInside(r, avail);
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

QRect t_freePanelPlace(const QRect& avail, const QSize& size, const QRect& mainFrame, const QRect& view,
                       const std::vector<QRect>& panels, const QPoint& near) {
  std::vector<QRect> taken = panels;
  taken.push_back(mainFrame);
  const QRect clear = t_freePlace(avail, size, taken, near);
  if (!clear.isEmpty()) return clear;
  taken = panels;
  if (!view.isEmpty()) taken.push_back(view);
  return t_freePlace(avail, size, taken, near);
}

void t_setPanelPlacer(std::function<void(QWidget*)> placer) { placerRef() = std::move(placer); }

void t_placePanelsBeforeShow(QWidget* showing) {
  static bool placing = false;
  if (placing || !placerRef()) return;
  placing = true;
  placerRef()(showing);
  placing = false;
}
