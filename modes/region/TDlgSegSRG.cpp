#include "modes/region/TDlgSegSRG.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cstdio>

#include "modes/region/StateSegSRG.h"
#include "view/redraw.h"

namespace {

StateSegSRG* mode() { return StateSegSRG::getInst(); }

QColor groupColor(const TSrgGroup& g) {
  const std::uint32_t c = StateSegSRG::packColor(g.color);
  return QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff);
}

}  // namespace

TDlgSegSRG::TDlgSegSRG() : TModePanel(QStringLiteral("Dialog")) {
  setObjectName(QStringLiteral("TDlgSegSRG"));
  auto* top = new QVBoxLayout(this);

  m_list = new QTableWidget(0, 2, this);
  m_list->setObjectName(QStringLiteral("listPetals"));
  m_list->setHorizontalHeaderLabels({QStringLiteral("petals"), QStringLiteral("col")});
  m_list->setColumnWidth(0, 110);
  m_list->setColumnWidth(1, 30);
  m_list->verticalHeader()->hide();
  m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The selected group's row: white text on dark blue.
  QPalette pal = m_list->palette();
  pal.setColor(QPalette::Highlight, QColor(0, 0, 210));
  pal.setColor(QPalette::HighlightedText, Qt::white);
  pal.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0, 0, 210));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::white);
  m_list->setPalette(pal);
  m_list->setMinimumHeight(160);
  m_list->installEventFilter(this);
  top->addWidget(m_list);

  auto* addGroup = new QPushButton(QStringLiteral("Add New Group"), this);
  auto* run = new QPushButton(QStringLiteral("Run ! \nSeed Region Grow"), this);
  top->addWidget(addGroup);
  top->addWidget(run);
  auto* checks = new QHBoxLayout();
  m_visSurf = new QCheckBox(QStringLiteral("vis surf"), this);
  m_visCPs = new QCheckBox(QStringLiteral("vis CPs"), this);
  m_visSurf->setChecked(true);
  m_visCPs->setChecked(true);
  checks->addWidget(m_visSurf);
  checks->addWidget(m_visCPs);
  top->addLayout(checks);
  for (const char* help : {"Shift+L-drag : add CP", "Shift+R-drag : del CP"})
    top->addWidget(new QLabel(QString::fromUtf8(help), this));
  auto* end = new QHBoxLayout();
  auto* finish = new QPushButton(QStringLiteral("Finish"), this);
  auto* cancel = new QPushButton(QStringLiteral("cancel"), this);
  end->addWidget(finish);
  end->addWidget(cancel);
  top->addLayout(end);

  for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);

  connect(addGroup, &QPushButton::clicked, this, [this] {
    mode()->addNewGroup();
    updateGroupList();
    t_redrawAll();
  });
  connect(run, &QPushButton::clicked, this, [] {
    mode()->runSRG();
    t_redrawAll();
  });
  connect(finish, &QPushButton::clicked, this, [] { mode()->finishSegmentation(); });
  connect(cancel, &QPushButton::clicked, this, [] { mode()->cancel(); });
  connect(m_visSurf, &QCheckBox::toggled, this, [] { t_redrawAll(); });
  connect(m_visCPs, &QCheckBox::toggled, this, [] { t_redrawAll(); });
  connect(m_list, &QTableWidget::itemSelectionChanged, this, [this] { onSelectionChanged(); });
  resize(220, 420);
}

void TDlgSegSRG::updateGroupList() {
  m_refilling = true;
  const std::vector<TSrgGroup>& groups = mode()->groups();
  m_list->clearContents();
  m_list->setRowCount(static_cast<int>(groups.size()));
  for (int i = 0; i < static_cast<int>(groups.size()); ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%d--Cp:%d", i, static_cast<int>(groups[i].seeds.size()));
    auto* name = new QTableWidgetItem(QString::fromLatin1(text));
    // The colour cell keeps the group's colour: it never takes the selection's.
    auto* colour = new QTableWidgetItem(QStringLiteral(" - "));
    colour->setBackground(groupColor(groups[i]));
    colour->setFlags(Qt::ItemIsEnabled);
    m_list->setItem(i, 0, name);
    m_list->setItem(i, 1, colour);
  }
  const int sel = mode()->selectedGroup();
  if (sel >= 0 && sel < m_list->rowCount()) {
    m_list->setCurrentCell(sel, 0);
    m_list->selectRow(sel);
    m_list->scrollToItem(m_list->item(sel, 0));
  } else {
    m_list->clearSelection();
  }
  m_refilling = false;
}

void TDlgSegSRG::onSelectionChanged() {
  if (m_refilling) return;
  const QList<QTableWidgetItem*> items = m_list->selectedItems();
  if (items.isEmpty()) return;
  mode()->selectGroup(items.last()->row());
  updateGroupList();
  t_redrawAll();
}

bool TDlgSegSRG::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_list && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    std::printf("OnLvnKeydownListctrlPetals  ~ %d\n", key);
    if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
      mode()->deleteSelectedGroup();
      updateGroupList();
      t_redrawAll();
      return true;
    }
  }
  return TModePanel::eventFilter(watched, event);
}

bool TDlgSegSRG::isVisSurfChecked() const { return m_visSurf->isChecked(); }
bool TDlgSegSRG::isVisCPsChecked() const { return m_visCPs->isChecked(); }

void TDlgSegSRG::setBusy(bool busy) {
  for (QPushButton* b : findChildren<QPushButton*>()) b->setEnabled(!busy);
  m_list->setEnabled(!busy);
}

QPushButton* TDlgSegSRG::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}
