// High-DPI screens: the program started with a TIFF under Xvfb, its QT_SCALE_FACTOR (1, 1.5 or 2)
// given by the CTest entry's environment, and driven by Qt events in client points.  The main
// view and the XY pane draw over their whole framebuffer, showing what they show at factor 1
// (the run at 1 keeps its pictures in artefacts/dpi_e2e/scale1, the others compare theirs with
// them, and their lines, the XY pane's cross line and the slice outline in the main view, are
// as many times as thick in device pixels as the factor); a Shift click on the middle of the
// voxel block seen in the main view paints the block's middle cell; a Shift drag over a row of
// the block's cells seen in the XY pane paints exactly those cells; and the edges of the surface
// a Ctrl cut stroke builds show along the line drawn.  Every run keeps its screenshots and
// framebuffers in artefacts/dpi_e2e/scale<factor>.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "core/TCore.h"
#include "e2e_program.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

namespace {

using namespace e2e;

const int kW = 16, kH = 12, kD = 10;
// A bright block of 3 x 3 cells over z 1..3, beside the centre, in a dim box.
const int kBx = 5, kBy = 6, kBn = 3;
int sample(int x, int row, int z) {
  const int y = kH - 1 - row;  // the first row of a TIFF page is the top of the volume
  return x >= kBx && x < kBx + kBn && y >= kBy && y < kBy + kBn && z >= 1 && z <= 3 ? 2500 : 300;
}
int at(int x, int y, int z) { return x + kW * (y + kH * z); }

double scaleFactor() { return qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble(); }
QString scaleDir(double s) { return QStringLiteral("dpi_e2e/scale%1/").arg(s); }

int grey(QRgb p) { return (qRed(p) + qGreen(p) + qBlue(p)) / 3; }
bool isBackground(QRgb p) {
  return std::abs(qRed(p) - 51) <= 3 && std::abs(qGreen(p) - 51) <= 3 && std::abs(qBlue(p) - 51) <= 3;
}

// Pixels of a picture that pass a test, and their bounding box.
struct Found {
  std::vector<QPoint> pts;
  QRect box;
};
template <class Test>
Found find(const QImage& img, Test test) {
  Found f;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (test(x, y)) {
        f.pts.emplace_back(x, y);
        f.box |= QRect(x, y, 1, 1);
      }
  return f;
}

// The share of cells, on a grid laid over both pictures in proportion to their sizes, whose mean
// colours differ by more than 45 (summed over the channels).  Pictures of one scene at two pixel
// ratios differ only along edges.
double differingCells(const QImage& a, const QImage& b) {
  const int nx = 32, ny = 24;
  auto mean = [](const QImage& img, int i, int j, int nx, int ny, int c[3]) {
    const int x0 = i * img.width() / nx, x1 = (i + 1) * img.width() / nx;
    const int y0 = j * img.height() / ny, y1 = (j + 1) * img.height() / ny;
    long s[3] = {0, 0, 0}, n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x, ++n) {
        const QRgb p = img.pixel(x, y);
        s[0] += qRed(p), s[1] += qGreen(p), s[2] += qBlue(p);
      }
    for (int k = 0; k < 3; ++k) c[k] = n ? int(s[k] / n) : 0;
  };
  int differ = 0;
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      int ca[3], cb[3];
      mean(a, i, j, nx, ny, ca);
      mean(b, i, j, nx, ny, cb);
      differ += std::abs(ca[0] - cb[0]) + std::abs(ca[1] - cb[1]) + std::abs(ca[2] - cb[2]) > 45;
    }
  return double(differ) / (nx * ny);
}

// The framebuffer fills the widget at its pixel ratio, and what is drawn lies round its centre
// (the cameras look at the middle of the box), reaching the upper and the right half.
void expectDrawnOverWholeArea(const QImage& img, QWidget* w, double dpr, const char* what) {
  EXPECT_EQ(img.width(), qRound(w->width() * dpr)) << what;
  EXPECT_EQ(img.height(), qRound(w->height() * dpr)) << what;
  const QRect box = find(img, [&](int x, int y) { return !isBackground(img.pixel(x, y)); }).box;
  ASSERT_FALSE(box.isEmpty()) << what;
  EXPECT_LT(box.top(), img.height() / 4) << what;
  EXPECT_GT(box.right(), img.width() * 5 / 8) << what;
  EXPECT_NEAR(box.center().x(), img.width() / 2.0, 0.05 * img.width()) << what;
  EXPECT_NEAR(box.center().y(), img.height() / 2.0, 0.05 * img.height()) << what;
}

// How thick a line the program draws is, in device pixels: the median, over the rows a vertical
// line crosses (the columns for a horizontal one), of the number of its pixels there.  The median
// passes over the rows where another line crosses it.
template <class Test>
int lineThickness(const QImage& img, Qt::Orientation along, Test onLine) {
  const bool vertical = along == Qt::Vertical;
  const int n = vertical ? img.height() : img.width(), m = vertical ? img.width() : img.height();
  std::vector<int> counts;
  for (int i = 0; i < n; ++i) {
    int c = 0;
    for (int j = 0; j < m; ++j) c += vertical ? onLine(j, i) : onLine(i, j);
    if (c > 0) counts.push_back(c);
  }
  if (counts.empty()) return 0;
  std::nth_element(counts.begin(), counts.begin() + counts.size() / 2, counts.end());
  return counts[counts.size() / 2];
}
// The XY pane's vertical cross line (pure green) and the top edge of the slice plane's outline
// in the main view (white; the block's cells are grey).
int paneCrossLine(const QImage& img) {
  return lineThickness(img, Qt::Vertical, [&](int x, int y) {
    const QRgb p = img.pixel(x, y);
    return qGreen(p) > 150 && qRed(p) < 100 && qBlue(p) < 100;
  });
}
int mainOutlineTop(const QImage& img) {
  return lineThickness(img, Qt::Horizontal, [&](int x, int y) {
    const QRgb p = img.pixel(x, y);
    return y < img.height() / 2 && std::min({qRed(p), qGreen(p), qBlue(p)}) > 200;
  });
}

QPoint toClient(QPointF device, double dpr) {
  return QPoint(int(std::lround(device.x() / dpr)), int(std::lround(device.y() / dpr)));
}

Shots shot(scaleDir(scaleFactor()));

}  // namespace

std::string g_tiff;

TEST(HighDpi, ViewsPickPaintAndCutAsAtScaleOne) {
  TCore& core = TCore::getInst();
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  // Fits the 1280 x 1024 test screen at factor 2.
  frame->resize(620, 470);
  // The panes' dock as wide at every factor (the frame's first width, and so the docks' share of
  // it, depends on how much of the screen the factor leaves).
  frame->resizeDocks({SubPaneManager::getInst().getPaneXY()}, {314}, Qt::Horizontal);
  QApplication::processEvents();
  CKestrinView* v = CKestrinView::s_theView;
  const double dpr = v->devicePixelRatioF();
  ASSERT_DOUBLE_EQ(dpr, scaleFactor());
  ASSERT_EQ(TextureManager::getInst().getW(), kW);

  // Slice-by-slice painting from the menu; the panes zoomed out a little by a right drag up.
  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32791"));
  ASSERT_NE(cmd, nullptr);
  cmd->trigger();
  ASSERT_EQ(core.modeId, 5);
  TSubPane* paneXY = SubPaneManager::getInst().getPaneXY();
  ASSERT_TRUE(paneXY && paneXY->isVisible());
  TSubPaneView* pv = paneXY->view();
  const QPoint paneMid(pv->width() / 2, pv->height() / 2);
  drag(pv, Qt::RightButton, Qt::NoModifier, {paneMid, paneMid - QPoint(0, 100), paneMid - QPoint(0, 200)});
  const int k = int(kD * VolRendManager::getInst().slicePos[2]);
  ASSERT_GE(k, 1);
  ASSERT_LE(k, 3);

  // (1) Both views draw over their whole area, the pictures of factor 1.
  const QImage mainPic = v->grabFramebuffer();
  const QImage panePic = pv->grabFramebuffer();
  mainPic.save(shot.path("main_view"));
  panePic.save(shot.path("xy_pane"));
  shot(frame, nullptr, "01_entered");
  expectDrawnOverWholeArea(mainPic, v, dpr, "main view");
  expectDrawnOverWholeArea(panePic, pv, dpr, "XY pane");
  if (dpr != 1) {
    Shots reference(scaleDir(1));
    const QImage refMain(reference.path("main_view")), refPane(reference.path("xy_pane"));
    ASSERT_FALSE(refMain.isNull() || refPane.isNull()) << "the run at factor 1 keeps the reference pictures";
    EXPECT_LT(differingCells(mainPic, refMain), 0.04);
    EXPECT_LT(differingCells(panePic, refPane), 0.04);
    // Lines are as wide in client points as at factor 1: so many times as thick in device
    // pixels.  GL rounds the width of a line that is not smoothed to whole pixels.
    const int crossAt1 = paneCrossLine(refPane), outlineAt1 = mainOutlineTop(refMain);
    ASSERT_GT(crossAt1, 0);
    ASSERT_GT(outlineAt1, 0);
    EXPECT_NEAR(paneCrossLine(panePic), crossAt1 * dpr, 0.5)
        << "the XY pane's cross line, " << crossAt1 << " at factor 1";
    EXPECT_NEAR(mainOutlineTop(mainPic), outlineAt1 * dpr, 0.5)
        << "the main view's slice outline, " << outlineAt1 << " at factor 1";
  }

  // (2) The block as the main view shows it (the grey of its cells, and wider than the white
  // lines of the plane's outline): a Shift click at its middle paints its middle cell on the XY
  // slice.
  const int bright = 96, r = int(std::ceil(2 * dpr));
  auto brightAround = [&](const QImage& img, int x, int y) {
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) {
        const QPoint q(x + dx, y + dy);
        if (!img.rect().contains(q) || grey(img.pixel(q)) < bright) return false;
      }
    return true;
  };
  const Found block = find(mainPic, [&](int x, int y) { return brightAround(mainPic, x, y); });
  ASSERT_GT(block.pts.size(), 100u * dpr * dpr);
  QPointF mid;
  for (const QPoint& p : block.pts) mid += QPointF(p);
  mid /= double(block.pts.size());
  drag(v, Qt::LeftButton, Qt::ShiftModifier, {toClient(mid, dpr)});
  std::set<int> expect = {at(kBx + 1, kBy + 1, k)};
  EXPECT_EQ(flaggedVoxels(255), expect);
  shot(frame, nullptr, "02_picked_in_main_view");

  // (3) The block's cells as the XY pane shows them (grey above the middle of its two greys; the
  // slice's cross lines are coloured): a Shift drag through the centres of its lowest row paints
  // exactly those three cells.
  const int dim = grey(panePic.pixel(panePic.width() / 2, panePic.height() / 2));
  int top = 0;
  for (int y = 0; y < panePic.height(); ++y)
    for (int x = 0; x < panePic.width(); ++x) {
      const QRgb p = panePic.pixel(x, y);
      top = std::max(top, std::min({qRed(p), qGreen(p), qBlue(p)}));
    }
  const int cut = (dim + top) / 2;
  const QRect cells = find(panePic, [&](int x, int y) {
                        const QRgb p = panePic.pixel(x, y);
                        return qRed(p) > cut && qGreen(p) > cut && qBlue(p) > cut;
                      }).box;
  ASSERT_GT(cells.width(), 8 * dpr);
  ASSERT_GT(cells.height(), 8 * dpr);
  const double cw = cells.width() / double(kBn), ch = cells.height() / double(kBn);
  std::vector<QPoint> row;
  const int y = kBy;
  for (int x = kBx; x < kBx + kBn; ++x) {
    // Image rows run down, world y up.
    const QPointF centre(cells.left() + (x - kBx + 0.5) * cw, cells.top() + (kBy + kBn - 1 - y + 0.5) * ch);
    row.push_back(toClient(centre, dpr));
    expect.insert(at(x, y, k));
  }
  drag(pv, Qt::LeftButton, Qt::ShiftModifier, row);
  EXPECT_EQ(flaggedVoxels(255), expect);
  pv->grabFramebuffer().save(shot.path("xy_pane_painted"));
  shot(frame, nullptr, "03_painted_in_xy_pane");

  // (4) The standard mode: a Ctrl stroke across the box at 40 % of the view's height.  Seen from
  // where it was drawn the cut surface is edge-on: what changes in the picture are its boundary
  // edges, on the stroke's line (drawn on to the box's sides).
  core.setMode(0);
  ASSERT_EQ(core.modeId, 0);
  const QImage before = v->grabFramebuffer();
  const int sy = v->height() * 2 / 5, x0 = v->width() * 3 / 10, x1 = v->width() * 7 / 10;
  std::vector<QPoint> stroke;
  for (int i = 0; i < 12; ++i) stroke.emplace_back(x0 + (x1 - x0) * i / 11, sy);
  drag(v, Qt::LeftButton, Qt::ControlModifier, stroke);
  ASSERT_GT(VolRendManager::getInst().cutSurface.polyCount, 20);
  const QImage after = v->grabFramebuffer();
  after.save(shot.path("main_view_cut"));
  shot(frame, nullptr, "04_cut_stroke");
  const Found changed = find(after, [&](int x, int y) {
    const QRgb a = after.pixel(x, y), b = before.pixel(x, y);
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 60;
  });
  ASSERT_GT(changed.pts.size(), size_t(40 * dpr));
  const double line = sy * dpr, slack = 3 * dpr;
  size_t onLine = 0;
  for (const QPoint& p : changed.pts) onLine += std::abs(p.y() - line) <= slack;
  EXPECT_GT(onLine, changed.pts.size() * 9 / 10);
  EXPECT_LE(changed.box.left(), x0 * dpr + slack);
  EXPECT_GE(changed.box.right(), x1 * dpr - slack);
}

int main(int argc, char** argv) { return runOnVolume(argc, argv, "dpi_e2e", kW, kH, kD, sample, g_tiff); }
