#include "modes/curve/TDlgRefContours.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "modes/curve/StateRefContours.h"
#include "platform/Prompt.h"
#include "view/redraw.h"

namespace {
StateRefContours& mode() { return *StateRefContours::getInst(); }
}  // namespace

TDlgRefContours::TDlgRefContours() : TModePanel(QStringLiteral("Refinement Contours")) {
  setObjectName(QStringLiteral("TDlgRefContours"));
  auto* top = new QVBoxLayout(this);

  // What the main view shows: push-like check boxes.
  auto* vis = new QGroupBox(QStringLiteral("Visualization"), this);
  auto* vg = new QGridLayout(vis);
  vg->addWidget(new QLabel(QStringLiteral("Surface"), vis), 0, 0);
  struct Toggle {
    Check c;
    const char* caption;
    int row, col;
  };
  const Toggle toggles[] = {{Normal, "Normal(1)", 0, 1},  {Image, "Image(2)", 0, 2},   {Def, "Def(3)", 0, 3},
                            {Edges, "Edges(4)", 0, 4},    {VolInit, "Vol Init(5)", 1, 1}, {VolRef, "Vol Ref(6)", 1, 2},
                            {Fibers, "Fibers(7)", 1, 3}, {ForeHL, "ForeHL(8)", 1, 4}};
  for (const Toggle& t : toggles) {
    auto* b = new QPushButton(QString::fromLatin1(t.caption), vis);
    b->setCheckable(true);
    m_checks[t.c] = b;
    vg->addWidget(b, t.row, t.col);
  }
  top->addWidget(vis);

  auto* edit = new QGroupBox(QStringLiteral("Contour Editing"), this);
  auto* eg = new QVBoxLayout(edit);
  auto* row = new QHBoxLayout();
  auto* store = new QPushButton(QStringLiteral("Store this fiber(f)"), edit);
  auto* cancelFiber = new QPushButton(QStringLiteral("Cacel this fiber"), edit);
  row->addWidget(store);
  row->addWidget(cancelFiber);
  eg->addLayout(row);
  auto addCheck = [&](Check c, const char* caption, QHBoxLayout* into) {
    auto* b = new QCheckBox(QString::fromUtf8(caption), edit);
    m_checks[c] = b;
    into->addWidget(b);
  };
  auto* tools = new QHBoxLayout();
  // The doubled ampersand shows as one.
  addCheck(GrabDrag, "Grab&&Drag", tools);
  addCheck(OverDraw, "Over Drawing", tools);
  eg->addLayout(tools);
  auto* rub = new QHBoxLayout();
  addCheck(RubSmooth, "Rub Smoothing", rub);
  addCheck(RubSnakes, "Rub Snakes", rub);
  eg->addLayout(rub);
  auto* rate = new QHBoxLayout();
  rate->addWidget(new QLabel(QStringLiteral("Smoothing Rate"), edit));
  m_slider = new QSlider(Qt::Horizontal, edit);
  m_slider->setObjectName(QStringLiteral("rateSlider"));
  m_slider->setRange(1, 20);
  m_slider->setValue(8);
  rate->addWidget(m_slider);
  eg->addLayout(rate);
  auto* roi = new QHBoxLayout();
  roi->addWidget(new QLabel(QStringLiteral("ROI mesh size"), edit));
  addCheck(RoiSmall, "small", roi);
  addCheck(RoiMiddle, "middle", roi);
  addCheck(RoiLarge, "large", roi);
  eg->addLayout(roi);
  top->addWidget(edit);

  auto* postCut = new QPushButton(QStringLiteral("PostRun Graph Cut"), this);
  auto* eraseAll = new QPushButton(QStringLiteral("Erase All Fiber (d)"), this);
  auto* eraseMode = new QPushButton(QStringLiteral("Erase Trgt Fiber Mode"), this);
  eraseMode->setCheckable(true);
  m_checks[EraseMode] = eraseMode;
  top->addWidget(postCut);
  auto* erase = new QHBoxLayout();
  erase->addWidget(eraseAll);
  erase->addWidget(eraseMode);
  top->addLayout(erase);
  auto* end = new QHBoxLayout();
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  auto* finish = new QPushButton(QStringLiteral("Finish"), this);
  end->addWidget(cancel);
  end->addWidget(finish);
  top->addLayout(end);

  // The surface and volume views exclude each other; edges, fibers and the highlight only redraw.
  const Check views[] = {Normal, Image, Def, VolInit, VolRef};
  for (Check c : views)
    connect(m_checks[c], &QAbstractButton::clicked, this, [this, c, views] {
      if (m_checks[c]->isChecked())
        for (Check o : views)
          if (o != c) setChecked(o, false);
      t_redrawAll();
    });
  for (Check c : {Edges, Fibers, ForeHL}) connect(m_checks[c], &QAbstractButton::clicked, this, [] { t_redrawAll(); });
  connect(m_checks[RubSmooth], &QAbstractButton::clicked, this, [this] { checkOnly(RubSmooth, {RubSnakes}); });
  connect(m_checks[RubSnakes], &QAbstractButton::clicked, this, [this] { checkOnly(RubSnakes, {RubSmooth}); });
  connect(m_checks[GrabDrag], &QAbstractButton::clicked, this, [this] { checkOnly(GrabDrag, {OverDraw}); });
  connect(m_checks[OverDraw], &QAbstractButton::clicked, this, [this] { checkOnly(OverDraw, {GrabDrag}); });
  connect(m_checks[RoiSmall], &QAbstractButton::clicked, this, [this] { checkOnly(RoiSmall, {RoiMiddle, RoiLarge}); });
  connect(m_checks[RoiMiddle], &QAbstractButton::clicked, this, [this] { checkOnly(RoiMiddle, {RoiSmall, RoiLarge}); });
  connect(m_checks[RoiLarge], &QAbstractButton::clicked, this, [this] { checkOnly(RoiLarge, {RoiSmall, RoiMiddle}); });
  connect(finish, &QPushButton::clicked, this, [] {
    mode().finishEditing();
    t_redrawAll();
  });
  connect(postCut, &QPushButton::clicked, this, [] {
    mode().postRunGraphCut();
    t_redrawAll();
  });
  connect(store, &QPushButton::clicked, this, [] {
    mode().storeFiber();
    t_redrawAll();
  });
  connect(eraseAll, &QPushButton::clicked, this, [] {
    if (t_askYesNoCancel(StateRefContours::kEraseAllKeyQuestion) == PromptAnswer::Yes) mode().eraseAllFibers();
    t_redrawAll();
  });
  connect(cancel, &QPushButton::clicked, this, [] { t_info("todo"); });
}

QPushButton* TDlgRefContours::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

void TDlgRefContours::checkOnly(Check on, std::initializer_list<Check> off) {
  setChecked(on, true);
  for (Check c : off) setChecked(c, false);
}

bool TDlgRefContours::isChecked(Check c) const { return c >= 0 && c < kCheckCount && m_checks[c]->isChecked(); }

void TDlgRefContours::setChecked(Check c, bool on) {
  if (c < 0 || c >= kCheckCount) return;
  const QSignalBlocker block(m_checks[c]);
  m_checks[c]->setChecked(on);
}

int TDlgRefContours::smoothingRate() const { return m_slider->value(); }

void TDlgRefContours::updateControls() {
  showPanel();
  for (int c = 0; c < kCheckCount; ++c) setChecked(Check(c), false);
  for (Check c : {Normal, Fibers, ForeHL, RoiSmall, GrabDrag, RubSmooth}) setChecked(c, true);
  const QSignalBlocker block(m_slider);
  m_slider->setRange(1, 20);
  m_slider->setValue(8);
}
