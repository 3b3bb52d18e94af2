#include "modes/vis/TDlgVisStd.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>

#include "view/CKestrinView.h"
#include "modes/vis/StateVisStd.h"
#include "view/TDlgVisParam.h"
#include "volume/TextureManager.h"

TDlgVisStd::TDlgVisStd() : TModePanel(QStringLiteral("Rulers")) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Rulers : shift + left drag ", this));
  m_list = new QListWidget(this);
  layout->addWidget(m_list);
  m_clearAll = new QPushButton("Clear All", this);
  // Enter must not clear the rulers when the button has the focus.
  m_clearAll->setAutoDefault(false);
  layout->addWidget(m_clearAll);
  connect(m_clearAll, &QPushButton::clicked, this, [this] { OnBnClickedButtonClearAll(); });
  connect(m_list, &QListWidget::currentRowChanged, this, [this] {
    if (!m_updating) OnLbnSelchangeListRulers();
  });
}

void TDlgVisStd::updateRulerList() {
  m_updating = true;
  m_list->clear();
  const TextureManager& tm = TextureManager::getInst();
  int W = 1, H = 1, D = 1;
  if (!tm.vol1.empty()) tm.getSize(W, H, D);
  double pitch[3] = {1, 1, 1};
  if (TDlgVisParam::exists()) TDlgVisParam::getInst().getPitch(pitch);
  const double scale[3] = {W * pitch[0], H * pitch[1], D * pitch[2]};
  const StateVisStd& mode = StateVisStd::getInst();
  for (size_t i = 0; i < mode.rulers.size(); ++i) {
    const auto& r = mode.rulers[i];
    double len2 = 0;
    for (int k = 0; k < 3; ++k) {
      const double d = (r[3 + k] - r[k]) * scale[k];
      len2 += d * d;
    }
    char text[128];
    snprintf(text, sizeof text, "ruler %d  : %f", int(i), std::sqrt(len2));
    m_list->addItem(QString::fromUtf8(text));
  }
  if (mode.selectedRuler >= 0 && mode.selectedRuler < m_list->count())
    m_list->setCurrentRow(mode.selectedRuler);
  m_updating = false;
}

void TDlgVisStd::OnLbnSelchangeListRulers() {
  const int sel = m_list->currentRow();
  StateVisStd& mode = StateVisStd::getInst();
  if (sel >= 0 && sel < int(mode.rulers.size())) mode.selectedRuler = sel;
  if (CKestrinView* v = CKestrinView::s_theView) v->requestRedraw();
}

void TDlgVisStd::OnBnClickedButtonClearAll() {
  StateVisStd& mode = StateVisStd::getInst();
  mode.rulers.clear();
  mode.selectedRuler = 0;
  updateRulerList();
  if (CKestrinView* v = CKestrinView::s_theView) v->requestRedraw();
}
