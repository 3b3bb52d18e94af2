// The segmentation overlay on the slice planes of the main view and on the pane slices stands on
// the voxels whose image it covers: a flagged ball cut by planes that lie between two voxel
// layers, with "Interpolate" on and off, drawn by the renderer into a framebuffer (Mesa under
// Xvfb) and read back.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <algorithm>
#include <string>
#include <vector>

#include "shader_test_context.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

namespace {

int argc_ = 1;
char arg0_[] = "plane_overlay_test";
char* argv_[] = {arg0_, nullptr};

class GLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app = new QApplication(argc_, argv_);
    ok = t_testMakeContext() && t_testInitGlew();
    TDlgVisParam::getInst().createPanel();
  }
  void TearDown() override {
    if (ok) t_testReleaseHolderTextures();
    TDlgVisParam::destroyInst();
    // The application and the context stay until exit (see shader_programs_test.cpp).
  }
  QApplication* app = nullptr;
  bool ok = false;
};
GLEnvironment* g_env =
    static_cast<GLEnvironment*>(::testing::AddGlobalTestEnvironment(new GLEnvironment));

constexpr int kN[3] = {96, 96, 64};           // voxels along x, y, z
constexpr int kCentre[3] = {48, 48, 32};      // the ball's centre voxel
constexpr int kBackground = 40, kBall = 200;  // image bytes
constexpr int kPx = 4;                        // framebuffer pixels per voxel

// A ball of radius 20 voxels in the image, flagged as extracted (255) voxel for voxel; every other
// voxel is a target (1), which the segmentation view leaves undarkened.
void installBall() {
  TextureManager& tm = TextureManager::getInst();
  tm.channelCount = 1;
  tm.vol1.allocate(kN[0], kN[1], kN[2], nullptr);
  tm.volFlag.allocate(kN[0], kN[1], kN[2], nullptr);
  tm.volMask.allocate(kN[0], kN[1], kN[2], nullptr);
  tm.volGrad.allocate(kN[0], kN[1], kN[2], nullptr);
  for (int z = 0; z < kN[2]; ++z)
    for (int y = 0; y < kN[1]; ++y)
      for (int x = 0; x < kN[0]; ++x) {
        const int dx = x - kCentre[0], dy = y - kCentre[1], dz = z - kCentre[2];
        const bool in = dx * dx + dy * dy + dz * dz <= 20 * 20;
        const size_t i = x + size_t(kN[0]) * (y + size_t(kN[1]) * z);
        tm.vol1.data[i] = in ? kBall : kBackground;
        tm.volFlag.data[i] = in ? 255 : 1;
      }
  const double pitch[3] = {1, 1, 1};
  ASSERT_TRUE(VolRendManager::getInst().setVolumeExtent(pitch, kN[0], kN[1], kN[2]));
}

// In-plane axes (u across, v up) and the normal axis of each plane: 0 XY, 1 YZ, 2 ZX.
constexpr int kAxes[3][3] = {{0, 1, 2}, {1, 2, 0}, {0, 2, 1}};

struct Frame {
  int w = 0, h = 0;
  std::vector<unsigned char> px;  // RGBA, bottom row first
};

// The plane, seen face-on with its box rectangle filling the framebuffer, drawn as the main view
// draws it (both culling passes) or as a pane draws it, under the given clip selector.
Frame render(int plane, int clipSel, bool inPane) {
  VolRendManager& vr = VolRendManager::getInst();
  const int u = kAxes[plane][0], v = kAxes[plane][1], n = kAxes[plane][2];
  Frame f;
  f.w = kN[u] * kPx;
  f.h = kN[v] * kPx;
  EXPECT_TRUE(t_testBeginFramebuffer(f.w, f.h, 0, 0, 1, 1));
  glMatrixMode(GL_PROJECTION);
  glOrtho(0, vr.extent[u], 0, vr.extent[v], -50, 50);
  glMatrixMode(GL_MODELVIEW);
  double m[16] = {0};
  m[u * 4 + 0] = m[v * 4 + 1] = m[n * 4 + 2] = m[15] = 1;
  glLoadMatrixd(m);
  if (inPane) {
    vr.drawSliceInPane(plane, clipSel);
  } else {
    TDlgVisParam::getInst().setPlaneChecks(plane == 0, plane == 1, plane == 2);
    vr.drawSlicePlanesTextured(clipSel, false);
    vr.drawSlicePlanesTextured(clipSel, true);
  }
  f.px = t_testReadPixels(f.w, f.h);
  t_testEndFramebuffer();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  return f;
}

using Mask = std::vector<char>;

// Pixels where the image shows the ball: brighter than the background by more than a seventh of
// the ball's contrast (a layer blended in at that weight is plainly visible).
Mask imageMask(const Frame& f) {
  Mask m(size_t(f.w) * f.h);
  for (size_t i = 0; i < m.size(); ++i)
    m[i] = f.px[4 * i] > kBackground + (kBall - kBackground) / 7 && f.px[4 * i + 2] < 255;
  return m;
}

// Pixels the segmentation view turned red.
Mask redMask(const Frame& f) {
  Mask m(size_t(f.w) * f.h);
  for (size_t i = 0; i < m.size(); ++i) m[i] = f.px[4 * i] > f.px[4 * i + 1] + 60;
  return m;
}

int count(const Mask& m) { return int(std::count(m.begin(), m.end(), 1)); }

// Pixels of a that have no pixel of b within r pixels.
int uncovered(const Mask& a, const Mask& b, int w, int h, int r) {
  int n = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!a[size_t(y) * w + x]) continue;
      bool near = false;
      for (int yy = std::max(0, y - r); yy <= std::min(h - 1, y + r) && !near; ++yy)
        for (int xx = std::max(0, x - r); xx <= std::min(w - 1, x + r) && !near; ++xx)
          near = b[size_t(yy) * w + xx];
      n += !near;
    }
  return n;
}

void savePng(const Frame& f, const std::string& name) {
  const std::string dir = std::string(KESTRIN_ARTEFACTS) + "/plane_overlay";
  QDir().mkpath(QString::fromStdString(dir));
  QImage img(f.px.data(), f.w, f.h, f.w * 4, QImage::Format_RGBA8888);
  img.mirrored(false, true).save(QString::fromStdString(dir + "/" + name + ".png"));
}

}  // namespace

TEST(PlaneOverlay, RedCoversTheImagesCrossSectionBetweenVoxelLayers) {
  if (!g_env->ok) GTEST_SKIP() << "no GL context";
  t_testMakeContext();
  installBall();
  TDlgVisParam& panel = TDlgVisParam::getInst();
  VolRendManager& vr = VolRendManager::getInst();
  // Plane positions in voxels from the ball's centre: the first two are where the XY plane of
  // the region modes starts (0.2 of 64) and one wheel notch on, the third lies past the centre
  // just above a layer boundary.
  const double offsets[3] = {-19.2, -18.2, 18.3};
  for (bool interpolate : {true, false}) {
    if (panel.interpolateCheck()->isChecked() != interpolate) panel.interpolateCheck()->click();
    ASSERT_EQ(TextureManager::getInst().vol1.linear, interpolate);
    for (int plane = 0; plane < 3; ++plane)
      for (double off : offsets)
        for (bool inPane : {false, true}) {
          const int n = kAxes[plane][2];
          for (double& s : vr.slicePos) s = 0.5;
          vr.slicePos[n] = (kCentre[n] + off) / kN[n];
          SCOPED_TRACE(testing::Message() << "interpolate " << interpolate << ", plane " << plane
                                          << " at voxel " << kCentre[n] + off
                                          << (inPane ? ", pane" : ", main view"));
          const Frame image = render(plane, 0, inPane), overlay = render(plane, 1, inPane);
          const Mask bright = imageMask(image), red = redMask(overlay);
          ASSERT_GT(count(bright), 0);
          EXPECT_EQ(uncovered(bright, red, image.w, image.h, 2), 0)
              << "image pixels of the ball without red: " << count(bright) << " bright, "
              << count(red) << " red";
          EXPECT_EQ(uncovered(red, bright, image.w, image.h, 2), 0)
              << "red pixels off the ball's image: " << count(bright) << " bright, " << count(red)
              << " red";
          if (plane == 0 && !inPane && off == offsets[1])
            savePng(overlay, interpolate ? "xy_13.8_linear" : "xy_13.8_nearest");
        }
  }
}
