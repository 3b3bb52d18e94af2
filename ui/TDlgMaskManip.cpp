#include "ui/TDlgMaskManip.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "core/ModeViewHost.h"
#include "platform/Prompt.h"
#include "platform/qt/modal_dialog.h"
#include "ui/TDlgMarchingCubesParam.h"
#include "ui/TDlgMaskCellManip.h"
#include "ui/panel_window.h"

#include "volume/TMaskIdTable.h"

namespace {

struct CellLook {
  QColor colour;
  bool used;
};

CellLook lookOf(int id) {
  const TMaskIdInfo& r = TMaskIdTable::getInst().records[id];
  return {QColor(r.color & 0xff, (r.color >> 8) & 0xff, (r.color >> 16) & 0xff), r.used != 0};
}

// Relative luminance of an sRGB colour (0 black .. 1 white).
double luminance(const QColor& c) {
  auto lin = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}

}  // namespace

double t_contrastRatio(const QColor& a, const QColor& b) {
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor t_cellLabelColour(const QColor& cell) {
  // Cyan labels, except where black reads better (light cells).
  const QColor cyan(0, 255, 255), black(0, 0, 0);
  return t_contrastRatio(cyan, cell) >= t_contrastRatio(black, cell) ? cyan : black;
}

TDlgMaskManip::TDlgMaskManip(const std::string& title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Mask ID DLG"));
  setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  m_title = new QLabel(QString::fromUtf8(title.c_str()), this);
  m_title->setObjectName(QStringLiteral("title"));
  layout->addWidget(m_title);
  auto* grid = new QGridLayout();
  grid->setSpacing(1);
  for (int id = 0; id < 256; ++id) {
    auto* b = new QPushButton(QString::number(id), this);
    b->setObjectName(QStringLiteral("cell_%1").arg(id));
    b->setFixedSize(24, 20);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, [this, id] { onCellClicked(id); });
    b->installEventFilter(this);
    m_cells[id] = b;
    grid->addWidget(b, id / 16, id % 16);
    refreshCell(id);
  }
  layout->addLayout(grid);
  // Panel controls of the current id (panel mode only).
  m_panelControls = new QWidget(this);
  auto* pc = new QVBoxLayout(m_panelControls);
  pc->setContentsMargins(0, 0, 0, 0);
  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel(QStringLiteral("Transparency"), m_panelControls));
  m_alpha = new QSlider(Qt::Horizontal, m_panelControls);
  m_alpha->setObjectName(QStringLiteral("transparencySlider"));
  m_alpha->setRange(0, 255);
  row->addWidget(m_alpha);
  pc->addLayout(row);
  m_polygon = new QCheckBox(QStringLiteral("Polygon Rendering"), m_panelControls);
  m_polygon->setObjectName(QStringLiteral("polygonCheck"));
  pc->addWidget(m_polygon);
  m_updateMesh = new QPushButton(QStringLiteral("Update Mesh"), m_panelControls);
  m_updateMesh->setObjectName(QStringLiteral("updateMeshButton"));
  pc->addWidget(m_updateMesh);
  for (const char* help : {"L-click     : Select ID", "L-DblClck : ID Manipulation", "R-click     : Modify Color"})
    pc->addWidget(new QLabel(QString::fromLatin1(help), m_panelControls));
  connect(m_alpha, &QSlider::valueChanged, this, [this](int v) { onAlphaChanged(v); });
  connect(m_polygon, &QCheckBox::toggled, this, [this](bool on) { onPolygonToggled(on); });
  connect(m_updateMesh, &QPushButton::clicked, this, [this] { onUpdateMesh(); });
  layout->addWidget(m_panelControls);
  m_panelControls->hide();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  m_buttons = buttons;
}

void TDlgMaskManip::setPanelMode() {
  m_panelMode = true;
  m_buttons->hide();
  m_panelControls->show();
  showCurrentControls();
}

void TDlgMaskManip::showCurrentControls() {
  // Without a current id the controls of a region are disabled and hidden.
  const bool valid = currentId >= 0 && currentId <= 255;
  for (QWidget* w : std::initializer_list<QWidget*>{m_alpha, m_polygon, m_updateMesh}) {
    w->setEnabled(valid);
    w->setVisible(valid);
  }
  if (!valid) return;
  const TMaskIdInfo& r = TMaskIdTable::getInst().records[currentId];
  m_updating = true;
  m_alpha->setValue(r.alpha);
  m_polygon->setChecked(r.polygonRendering != 0);
  m_updating = false;
}

namespace {
void redrawViews() {
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
}
}  // namespace

void TDlgMaskManip::onAlphaChanged(int value) {
  if (m_updating || !m_panelMode || currentId < 0 || currentId > 255) return;
  TMaskIdTable& t = TMaskIdTable::getInst();
  t.records[currentId].alpha = static_cast<uint8_t>(value);
  t.updateColorTexture();
  redrawViews();
}

void TDlgMaskManip::onPolygonToggled(bool on) {
  if (m_updating || !m_panelMode || currentId < 0 || currentId > 255) return;
  TMaskIdTable& t = TMaskIdTable::getInst();
  t.records[currentId].polygonRendering = on ? 1 : 0;
  t.updateColorTexture();
  redrawViews();
}

void TDlgMaskManip::onUpdateMesh() {
  if (!m_panelMode || currentId < 0 || currentId > 255) return;
  TDlgMarchingCubesParam dlg(1, this);
  if (t_execModal(dlg) != QDialog::Accepted) return;
  TMaskIdTable::getInst().updateSurface(static_cast<uint32_t>(currentId), dlg.samplingResolution,
                                        dlg.smoothingCount, dlg.preserveSmoothingCount);
  redrawViews();
}

void TDlgMaskManip::onCellDoubleClicked(int id) {
  if (!m_panelMode || id < 0 || id > 255) return;
  TDlgMaskCellManip dlg(id, this);
  t_execModal(dlg);
  refreshCells();
  repaint();
}

void TDlgMaskManip::onCellRightClicked(int id) {
  if (!m_panelMode || id < 0 || id > 255) return;
  unsigned char rgb[3] = {255, 0, 0};
  if (t_prompts().chooseColor(rgb)) {
    TMaskIdTable& t = TMaskIdTable::getInst();
    // Red in the low byte.
    t.records[id].color = uint32_t(rgb[0]) | (uint32_t(rgb[1]) << 8) | (uint32_t(rgb[2]) << 16);
    t.updateColorTexture();
  }
  refreshCell(id);
  redrawViews();
}

bool TDlgMaskManip::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonDblClick || e->type() == QEvent::MouseButtonPress) {
    for (int id = 0; id < 256; ++id) {
      if (watched != m_cells[id]) continue;
      auto* me = static_cast<QMouseEvent*>(e);
      if (e->type() == QEvent::MouseButtonDblClick && me->button() == Qt::LeftButton) {
        onCellDoubleClicked(id);
        return m_panelMode;
      }
      if (e->type() == QEvent::MouseButtonPress && me->button() == Qt::RightButton) {
        onCellRightClicked(id);
        return true;
      }
      break;
    }
  }
  return QDialog::eventFilter(watched, e);
}

void TDlgMaskManip::refreshCells() {
  for (int id = 0; id < 256; ++id) refreshCell(id);
}

void TDlgMaskManip::accept() {
  if (!m_panelMode) QDialog::accept();
}

void TDlgMaskManip::reject() {
  if (!m_panelMode) QDialog::reject();
}

void TDlgMaskManip::setVisible(bool visible) {
  // As a panel it is placed beside the frame before it appears.
  if (visible && m_panelMode && isHidden()) t_placePanelsBeforeShow(this);
  QDialog::setVisible(visible);
}

void TDlgMaskManip::showEvent(QShowEvent* e) {
  // The table may have changed while the cells were hidden.
  refreshCells();
  QDialog::showEvent(e);
}

void TDlgMaskManip::refreshCell(int id) {
  const CellLook look = lookOf(id);
  const bool framed = (pickMany && selection[id]) || id == currentId;
  m_cells[id]->setText(look.used ? QStringLiteral("%1✓").arg(id) : QString::number(id));
  m_cells[id]->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; border: %3; }")
                                 .arg(look.colour.name(), t_cellLabelColour(look.colour).name(),
                                      framed ? QStringLiteral("2px solid yellow") : QStringLiteral("1px solid blue")));
}

void TDlgMaskManip::onCellClicked(int id) {
  if (pickMany) {
    selection[id] = selection[id] ? 0 : 1;
  } else {
    const int prev = currentId;
    currentId = id;
    if (prev >= 0) refreshCell(prev);
    if (m_panelMode) showCurrentControls();
  }
  refreshCell(id);
}

bool TDlgMaskManip::getSelectedIds(std::vector<unsigned char>& out) {
  pickMany = true;
  pickOne = false;
  for (unsigned char& s : selection) s = 0;
  refreshCells();
  if (t_execModal(*this) != QDialog::Accepted) return false;
  bool any = false;
  for (unsigned char s : selection) any = any || s;
  if (!any) {
    t_info("Please select at least single id\n");
    return false;
  }
  out.assign(selection, selection + 256);
  return true;
}

bool TDlgMaskManip::runPickOne(int& id) {
  pickOne = true;
  pickMany = false;
  const bool ok = t_execModal(*this) == QDialog::Accepted;
  id = currentId;
  return ok;
}

bool TDlgMaskIdChooser::pickMany(const std::string& title, std::vector<unsigned char>& selection) {
  TDlgMaskManip dlg(title, t_panelOwner());
  return dlg.getSelectedIds(selection);
}

bool TDlgMaskIdChooser::pickOne(const std::string& title, int& id) {
  TDlgMaskManip dlg(title, t_panelOwner());
  return dlg.runPickOne(id);
}
