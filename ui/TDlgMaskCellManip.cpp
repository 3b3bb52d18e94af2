#include "ui/TDlgMaskCellManip.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "platform/Prompt.h"
#include "ui/TDlgMaskManip.h"

#include "volume/TMaskIdTable.h"

namespace {
bool isRegion(int id) { return id >= 1 && id <= 255; }
}  // namespace

TDlgMaskCellManip::TDlgMaskCellManip(int id, QWidget* parent) : QDialog(parent), m_id(id) {
  setWindowTitle(QStringLiteral("Mask Region Edit DLG"));
  setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  char text[64];
  std::snprintf(text, sizeof text, "Edit %d-th Region", id);
  auto* title = new QLabel(QString::fromLatin1(text), this);
  title->setObjectName(QStringLiteral("title"));
  layout->addWidget(title);
  auto* grid = new QGridLayout();
  layout->addLayout(grid);
  struct Row {
    int id;
    const char* caption;
    void (TDlgMaskCellManip::*handler)();
  };
  const Row rows[] = {
      {1170, "Merge", &TDlgMaskCellManip::OnMerge},
      {1171, "Move", &TDlgMaskCellManip::OnMove},
      {1173, "Delete", &TDlgMaskCellManip::OnDelete},
      {1176, "Erosion (痩せる)", &TDlgMaskCellManip::OnErode},
      {1205, "Dilate 太る-他領域に浸食", &TDlgMaskCellManip::OnDilateInvade},
      {1204, "Dilate 太る-他領域に浸食しない", &TDlgMaskCellManip::OnDilateKeep},
      {1207, "Num of disconnected regions", &TDlgMaskCellManip::OnCountParts},
      {1206, "Divide disconnected regions", &TDlgMaskCellManip::OnSplitParts},
      {1210, "Divide disconnected regions (top3)", nullptr},
      {1188, "Export as Obj", &TDlgMaskCellManip::OnExportObj},
      {1190, "Export as STL", &TDlgMaskCellManip::OnExportStl},
      {1208, "Membrane (2 voxels)", &TDlgMaskCellManip::OnMembrane},
      {1186, "cancel", nullptr},
  };
  int k = 0;
  for (const Row& r : rows) {
    QPushButton* b = addButton(r.id, r.caption, r.handler);
    grid->addWidget(b, k / 2, k % 2);
    ++k;
  }
  connect(button(1186), &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
}

QPushButton* TDlgMaskCellManip::addButton(int commandId, const char* caption,
                                          void (TDlgMaskCellManip::*handler)()) {
  auto* b = new QPushButton(QString::fromUtf8(caption), this);
  b->setObjectName(QStringLiteral("button%1").arg(commandId));
  b->setAutoDefault(false);
  if (handler) connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
  m_buttons.emplace_back(commandId, b);
  return b;
}

QPushButton* TDlgMaskCellManip::button(int commandId) const {
  for (const auto& p : m_buttons)
    if (p.first == commandId) return p.second;
  return nullptr;
}

void TDlgMaskCellManip::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TDlgMaskCellManip::finish() {
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
  done(QDialog::Accepted);
}

bool TDlgMaskCellManip::pickTarget(const char* title, int& target) {
  TDlgMaskManip chooser(title, this);
  target = -1;
  return chooser.runPickOne(target) && target >= 0 && target <= 255;
}

std::string TDlgMaskCellManip::refusalOfMove(int a, int b) {
  // Moving the background relabels every background voxel; the table does that.
  if (!isRegion(b)) return "A region cannot be moved into the background (id 0).";
  if (a == b) return "A region cannot be moved onto itself.";
  return std::string();
}

std::string TDlgMaskCellManip::refusalOfMerge(int a, int b) {
  // Merging the background into a region turns every background voxel into it; the table does
  // that.
  if (a == b) return "A region cannot be merged into itself.";
  return std::string();
}

std::string TDlgMaskCellManip::refusalOfDelete(int a) {
  if (!isRegion(a)) return "The background (id 0) cannot be deleted.";
  return std::string();
}

std::string TDlgMaskCellManip::refusalOfMembrane(int a, int b) {
  if (!isRegion(a) || !isRegion(b)) return "A membrane needs two regions other than the background (id 0).";
  if (a == b) return "A region cannot be its own membrane.";
  return std::string();
}

void TDlgMaskCellManip::OnMerge() {
  int target;
  if (pickTarget("統合先の領域IDを選択してください", target)) {
    const std::string why = refusalOfMerge(m_id, target);
    if (!why.empty())
      t_warn(why);
    else
      TMaskIdTable::getInst().mergeRegion(uint32_t(m_id), uint32_t(target));
  }
  finish();
}

void TDlgMaskCellManip::OnMove() {
  int target;
  if (pickTarget("移動先の領域IDを選択してください", target)) {
    const std::string why = refusalOfMove(m_id, target);
    if (!why.empty()) {
      t_warn(why);
    } else {
      TMaskIdTable& t = TMaskIdTable::getInst();
      const bool targetInUse = t.records[target].used != 0;
      t.moveRegion(m_id, target);
      // The target's voxels now hold both regions: its surface is built from them, not copied.
      if (targetInUse) t.updateSurface(uint32_t(target), 1, 3, 3);
    }
  }
  finish();
}

void TDlgMaskCellManip::OnDelete() {
  char text[128];
  std::snprintf(text, sizeof text, "the system delete mask id %d\n", m_id);
  if (t_askOkCancel(text)) {
    const std::string why = refusalOfDelete(m_id);
    if (!why.empty())
      t_warn(why);
    else
      TMaskIdTable::getInst().deleteRegion(m_id);
  }
  finish();
}

void TDlgMaskCellManip::OnErode() {
  TMaskIdTable::getInst().erodeRegion(uint32_t(m_id));
  finish();
}

void TDlgMaskCellManip::OnDilateInvade() {
  TMaskIdTable::getInst().dilateRegion(uint32_t(m_id), true);
  finish();
}

void TDlgMaskCellManip::OnDilateKeep() {
  TMaskIdTable::getInst().dilateRegion(uint32_t(m_id), false);
  finish();
}

void TDlgMaskCellManip::OnCountParts() {
  TMaskIdTable::getInst().countParts(uint8_t(m_id));
  finish();
}

void TDlgMaskCellManip::OnSplitParts() {
  // The table explains its own refusal (not enough free ids).  Dividing the background gives
  // each of its parts a free id.
  TMaskIdTable::getInst().splitParts(uint32_t(m_id));
  finish();
}

void TDlgMaskCellManip::OnExportObj() {
  TCore::getInst().exportRegionMesh(0, m_id);
  done(QDialog::Accepted);
}

void TDlgMaskCellManip::OnExportStl() {
  TCore::getInst().exportRegionMesh(1, m_id);
  done(QDialog::Accepted);
}

void TDlgMaskCellManip::OnMembrane() {
  int target;
  if (pickTarget("膜を作る領域のIDを選択してください", target)) {
    const std::string why = refusalOfMembrane(m_id, target);
    if (!why.empty())
      t_warn(why);
    else
      TMaskIdTable::getInst().generateMembrane(uint32_t(m_id), uint32_t(target), 4.1);
  }
  finish();
}
