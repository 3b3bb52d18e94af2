#include "ui/panel_window.h"

#include <QGuiApplication>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr char kContentSize[] = "kestrinPanelContentSize";
constexpr char kScrollName[] = "panelScrollArea";
constexpr Qt::WindowFlags kPanelFlags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
// A panel pushed below the screen's bottom keeps at least this much height (or all of it).
constexpr int kMinPanelHeight = 240;

QPointer<QWidget>& ownerRef() {
  static QPointer<QWidget> owner;
  return owner;
}

std::vector<QPointer<QWidget>>& ownedPanels() {
  static std::vector<QPointer<QWidget>> panels;
  return panels;
}

QRect& keepClearRef() {
  static QRect r;
  return r;
}

std::function<void()>& placerRef() {
  static std::function<void()> placer;
  return placer;
}

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
  if (t_panelOwner()) {
    auto& panels = ownedPanels();
    panels.erase(std::remove(panels.begin(), panels.end(), nullptr), panels.end());
    panels.emplace_back(w);
  }
}

namespace {

QRect fitInside(const QRect& wanted, const QRect& avail, int minHeight) {
  const int w = std::min(wanted.width(), avail.width());
  int h = std::min(wanted.height(), avail.height());
  const int right = avail.x() + avail.width(), bottom = avail.y() + avail.height();
  const int x = std::max(avail.x(), std::min(wanted.x(), right - w));
  int y = std::max(avail.y(), wanted.y());
  if (y + h > bottom) {
    const int keep = std::min(h, minHeight);
    if (bottom - y >= keep) {
      h = bottom - y;
    } else {
      y = std::max(avail.y(), bottom - keep);
      h = bottom - y;
    }
  }
  return QRect(x, y, w, h);
}

}  // namespace

QRect t_fitPanelFrame(const QRect& wanted, const QRect& avail, int minHeight, const QRect& keepClear) {
  const QRect r = fitInside(wanted, avail, minHeight);
  if (keepClear.isEmpty() || !r.intersects(keepClear)) return r;
  // Moved up over the panel above it: beside that panel, level with its top, where there is room.
  const QRect beside = fitInside(QRect(QPoint(keepClear.x() - wanted.width(), keepClear.y()), wanted.size()), avail, minHeight);
  if (!beside.intersects(keepClear)) return beside;
  // Else below it, however short (it scrolls), while a usable strip is left.
  const QRect below = fitInside(wanted, avail, 0);
  if (below.height() >= 100 && !below.intersects(keepClear)) return below;
  return r;
}

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

void t_placePanel(QWidget* panel, int x, int y) {
  if (!panel) return;
  QScreen* screen = screenOf(panel);
  const QSize natural = t_panelContentSize(panel);
  const QMargins m = frameMargins(panel);
  const QSize outer(natural.width() + m.left() + m.right(), natural.height() + m.top() + m.bottom());
  if (!screen) {
    panel->move(x, y);
    return;
  }
  const QRect avail = screen->availableGeometry();
  QRect r = t_fitPanelFrame(QRect(QPoint(x, y), outer), avail, kMinPanelHeight, keepClearRef());
  QSize client(r.width() - m.left() - m.right(), r.height() - m.top() - m.bottom());
  if (client.height() < natural.height() || client.width() < natural.width()) {
    QScrollArea* area = t_panelScrollArea(panel);
    if (!area) area = wrapInScrollArea(panel);
    // Room for the vertical bar, so that only one direction scrolls where the screen allows.
    if (client.height() < natural.height()) {
      const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
      const QRect wider = t_fitPanelFrame(QRect(r.topLeft(), QSize(r.width() + bar, r.height())), avail, 0, keepClearRef());
      if (!wider.intersects(keepClearRef())) r = wider;
      client.setWidth(r.width() - m.left() - m.right());
    }
  }
  // A panel is not made smaller than its controls need unless it scrolls.
  if (!t_panelScrollArea(panel)) client = client.expandedTo(panel->minimumSize());
  // The client rectangle inside the frame (moving the frame itself lands a title bar lower under
  // some window managers).
  panel->setGeometry(QRect(QPoint(r.x() + m.left(), r.y() + m.top()), client));
}

void t_setPanelKeepClear(const QRect& frame) { keepClearRef() = frame; }

void t_setPanelPlacer(std::function<void()> placer) { placerRef() = std::move(placer); }

void t_placePanelsBeforeShow() {
  static bool placing = false;
  if (placing || !placerRef()) return;
  placing = true;
  placerRef()();
  placing = false;
}
