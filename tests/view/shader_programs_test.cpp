// The seven shader programs built through the GLSL layer, and TSheder's binding rules, on a
// real GL context (Mesa under Xvfb).
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "shader_test_context.h"
#include "view/TSheder.h"
#include "view/glsl_program.h"
#include "volume/TextureManager.h"
#include "volume/volume_values.h"

namespace {

int argc_ = 1;
char arg0_[] = "shader_programs_test";
char* argv_[] = {arg0_, nullptr};

class GLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app = new QApplication(argc_, argv_);
    ok = t_testMakeContext() && t_testInitGlew();
  }
  void TearDown() override {
    if (ok) t_testReleaseHolderTextures();  // while their context is still current
    // The application and the context stay (reachable) until exit: closing the display would
    // unload the driver before the leak check, leaving its few cached allocations with stacks
    // that no suppression can match.
  }
  QApplication* app = nullptr;
  bool ok = false;
};
GLEnvironment* g_env =
    static_cast<GLEnvironment*>(::testing::AddGlobalTestEnvironment(new GLEnvironment));

std::string shaderPath(const char* base) { return std::string(KESTRIN_SHADER_DIR) + base + ".glsl"; }

const char* const kPrograms[7] = {"visCutSurf", "segGCut", "visI", "visIG", "visIG2D", "visMask",
                                   "refContour"};

// A volume of W x H x D voxels in the holder, channel values from f(x, y, z) in bytes.
template <class F>
void setVolume(int W, int H, int D, int channels, F f) {
  TextureManager& tm = TextureManager::getInst();
  tm.channelCount = channels;
  TOGL3DImage* ch[3] = {&tm.vol1, &tm.vol2, &tm.vol3};
  for (int c = 0; c < 3; ++c) {
    ch[c]->allocate(W, H, D, nullptr);
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ch[c]->data[x + W * (y + H * z)] = f(c, x, y, z);
  }
  tm.volFlag.allocate(W, H, D, nullptr);
  tm.volMask.allocate(W, H, D, nullptr);
  tm.volGrad.allocate(W, H, D, nullptr);
}

class ShaderGL : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!g_env->ok) GTEST_SKIP() << "no GL context";
    t_testMakeContext();
  }
};

// Draws the quad z = 0.5 of the volume over the whole framebuffer.
void drawSliceQuad(float zTex) {
  glBegin(GL_QUADS);
  glTexCoord3f(0, 0, zTex); glVertex3f(-1, -1, 0);
  glTexCoord3f(1, 0, zTex); glVertex3f(1, -1, 0);
  glTexCoord3f(1, 1, zTex); glVertex3f(1, 1, 0);
  glTexCoord3f(0, 1, zTex); glVertex3f(-1, 1, 0);
  glEnd();
}

}  // namespace

TEST_F(ShaderGL, AllProgramsBuildForEveryEntryAndFindEveryParameter) {
  for (const char* base : kPrograms) {
    SCOPED_TRACE(base);
    TSheder sh(shaderPath(base));
    ASSERT_TRUE(sh.initShader());
    EXPECT_TRUE(sh.isInitialised());
    for (int j = 0; j < 3; ++j) {
      SCOPED_TRACE(j + 1);
      EXPECT_NE(sh.programHandle(j), 0u);
      // The matrix is read by every vertex entry.
      EXPECT_GE(sh.matrixLocation(j), 0);
      for (int k = 0; k < TSheder::kFragParamCount; ++k)
        EXPECT_TRUE(sh.fragParamDeclared(k, j)) << TSheder::kFragParamNames[k];
      // What every program reads: the first channel, the clip mode (flag volume and mask behind
      // it), the shading inputs.
      for (int k : {TSheder::P_IMG1, TSheder::P_HL, TSheder::P_MASK, TSheder::P_TF_MASK,
                    TSheder::P_CLIPMODE, TSheder::P_EYEPOS, TSheder::P_TEXCDOFFSET})
        EXPECT_GE(sh.fragParamLocation(k, j), 0) << TSheder::kFragParamNames[k];
      // Channels beyond the entry's count are not read.
      EXPECT_EQ(sh.fragParamLocation(TSheder::P_IMG2, j) >= 0, j >= 1);
      EXPECT_EQ(sh.fragParamLocation(TSheder::P_IMG3, j) >= 0, j >= 2);
    }
  }
}

TEST_F(ShaderGL, EachProgramReadsItsOwnTransferFunction) {
  struct Case { const char* base; int param; };
  const Case cases[] = {{"visI", TSheder::P_TF_I},       {"visIG", TSheder::P_TF_IG},
                        {"visIG2D", TSheder::P_TF_IG2D}, {"visMask", TSheder::P_TF_MASK},
                        {"segGCut", TSheder::P_TF_IG2D},    {"refContour", TSheder::P_OTHERMODE},
                        {"visCutSurf", TSheder::P_CLPCOLMODE}};
  for (const Case& c : cases) {
    TSheder sh(shaderPath(c.base));
    ASSERT_TRUE(sh.initShader()) << c.base;
    for (int j = 0; j < 3; ++j)
      EXPECT_GE(sh.fragParamLocation(c.param, j), 0) << c.base << " " << TSheder::kFragParamNames[c.param];
  }
  // The gradient volume and the pseudo-colour table serve the colour modes.
  TSheder surf(shaderPath("visCutSurf"));
  ASSERT_TRUE(surf.initShader());
  EXPECT_GE(surf.fragParamLocation(TSheder::P_GMAG, 0), 0);
  TSheder vol(shaderPath("visI"));
  ASSERT_TRUE(vol.initShader());
  EXPECT_GE(vol.fragParamLocation(TSheder::P_TF_HEU, 0), 0);
  EXPECT_GE(vol.fragParamLocation(TSheder::P_VOLCOLMODE, 0), 0);
  EXPECT_GE(vol.fragParamLocation(TSheder::P_ALPHACOEF, 0), 0);
}

TEST_F(ShaderGL, BindPicksProgramByChannelCountAndSetsUniforms) {
  TSheder sh(shaderPath("visCutSurf"));
  ASSERT_TRUE(sh.initShader());
  const double eye[3] = {1.5, -2.0, 30.0};
  struct Case { int channels; int program; };
  for (Case c : {Case{1, 0}, Case{2, 1}, Case{3, 2}}) {
    setVolume(256, 128, 64, c.channels, [](int, int, int, int) { return 0; });
    // Volume colour "c2" (3), clip selector 3, plane colour selector 5.
    sh.bind(eye, 3, 3, 5, 0.125, 7);
    ASSERT_TRUE(sh.isBound());
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(GLuint(current), sh.programHandle(c.program)) << c.channels;
    EXPECT_EQ(sh.lastBinding().programIndex, c.program);
    EXPECT_EQ(sh.lastBinding().volColMode, 2);
    EXPECT_EQ(sh.lastBinding().pseudoTable, 1);
    EXPECT_EQ(sh.lastBinding().otherMode, 7);

    const GLuint prog = sh.programHandle(c.program);
    GLint iv = -1;
    glGetUniformiv(prog, sh.fragParamLocation(TSheder::P_CLIPMODE, c.program), &iv);
    EXPECT_EQ(iv, 2);  // clip selector 3 -> clip mode 2
    glGetUniformiv(prog, sh.fragParamLocation(TSheder::P_CLPCOLMODE, c.program), &iv);
    EXPECT_EQ(iv, 2);  // plane colour selector 5 -> 2
    GLfloat fv[4] = {0, 0, 0, 0};
    glGetUniformfv(prog, sh.fragParamLocation(TSheder::P_TEXCDOFFSET, c.program), fv);
    EXPECT_FLOAT_EQ(fv[0], 0.00390625f);
    EXPECT_FLOAT_EQ(fv[1], 0.0078125f);
    EXPECT_FLOAT_EQ(fv[2], 0.015625f);
    EXPECT_FLOAT_EQ(fv[3], 0.0f);
    glGetUniformfv(prog, sh.fragParamLocation(TSheder::P_EYEPOS, c.program), fv);
    EXPECT_FLOAT_EQ(fv[0], 1.5f);
    EXPECT_FLOAT_EQ(fv[1], -2.0f);
    EXPECT_FLOAT_EQ(fv[2], 30.0f);
    // Every texture parameter the program reads sits on its own unit.
    for (int k = 0; k < TSheder::kTextureParamCount; ++k) {
      GLint loc = sh.fragParamLocation(k, c.program);
      if (loc < 0) continue;
      glGetUniformiv(prog, loc, &iv);
      EXPECT_EQ(iv, TSheder::textureUnitOf(k)) << TSheder::kFragParamNames[k];
    }
    sh.unbind();
    EXPECT_FALSE(sh.isBound());
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(current, 0);
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ShaderGL, ClipSelectorsTwoAndThreeAreExchanged) {
  TSheder sh(shaderPath("visCutSurf"));
  ASSERT_TRUE(sh.initShader());
  setVolume(8, 8, 8, 1, [](int, int, int, int) { return 0; });
  const GLuint prog = sh.programHandle(0);
  const GLint loc = sh.fragParamLocation(TSheder::P_CLIPMODE, 0);
  struct Case { int sel; int mode; };
  for (Case c : {Case{0, 0}, Case{1, 1}, Case{2, 3}, Case{3, 2}, Case{4, 4}, Case{5, 5},
                 Case{7, 0}, Case{-1, 0}}) {
    ASSERT_TRUE(sh.ensureInit(c.sel, 1));
    GLint iv = -9;
    glGetUniformiv(prog, loc, &iv);
    EXPECT_EQ(iv, c.mode) << "clip selector " << c.sel;
    sh.unbind();
  }
}

TEST_F(ShaderGL, SliceColourFollowsVolumeAndPlaneColourMode) {
  // Channel 1 rises along x, channel 2 is constant: plane colour "Intens" (1) shows channel 1 as
  // grey in a one-channel volume.
  setVolume(16, 16, 4, 1, [](int c, int x, int, int) { return c == 0 ? x * 16 : 200; });
  TSheder sh(shaderPath("visCutSurf"));
  ASSERT_TRUE(sh.initShader());
  ASSERT_TRUE(t_testBeginFramebuffer(16, 16, 0, 0, 0, 1));
  ASSERT_TRUE(sh.ensureInit(0, 1));
  glColor3f(1, 1, 1);
  drawSliceQuad(0.5f);
  sh.unbind();
  std::vector<unsigned char> px = t_testReadPixels(16, 16);
  t_testEndFramebuffer();
  // Pixel column x samples voxel column x (linear filtering between neighbours at most).
  for (int x = 1; x < 15; ++x) {
    int v = px[(8 * 16 + x) * 4];
    EXPECT_NEAR(v, x * 16, 10) << "column " << x;
    EXPECT_EQ(px[(8 * 16 + x) * 4 + 0], px[(8 * 16 + x) * 4 + 1]);  // grey
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ShaderGL, RegionColoursAndClippingUseTheLabelVolumes) {
  setVolume(8, 8, 2, 1, [](int, int, int, int) { return 100; });
  TextureManager& tm = TextureManager::getInst();
  // Left half labelled region 3 and flagged 255.
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 4; ++x) {
        tm.volMask.data[x + 8 * (y + 8 * z)] = 3;
        tm.volFlag.data[x + 8 * (y + 8 * z)] = 255;
      }
  TOGL1DImage colours;
  colours.allocate(256, nullptr);
  colours.data[3 * 4 + 0] = 0;
  colours.data[3 * 4 + 1] = 255;
  colours.data[3 * 4 + 2] = 0;
  colours.data[3 * 4 + 3] = 200;
  TSheder::setMaskColourTableSource([&colours] { return &colours; });
  TSheder sh(shaderPath("visCutSurf"));
  ASSERT_TRUE(sh.initShader());

  auto render = [&](int clipSel) {
    EXPECT_TRUE(t_testBeginFramebuffer(8, 8, 0, 0, 1, 1));
    EXPECT_TRUE(sh.ensureInit(clipSel, 1));
    glColor3f(1, 1, 1);
    drawSliceQuad(0.5f);
    sh.unbind();
    auto px = t_testReadPixels(8, 8);
    t_testEndFramebuffer();
    return px;
  };
  auto at = [](const std::vector<unsigned char>& px, int x, int y, int c) {
    return int(px[(y * 8 + x) * 4 + c]);
  };
  // Clip selector 2 -> region colours: green over the labelled half, grey 100 elsewhere.
  auto regions = render(2);
  EXPECT_GT(at(regions, 1, 4, 1), at(regions, 1, 4, 0) + 60);
  EXPECT_NEAR(at(regions, 6, 4, 0), 100, 3);
  EXPECT_NEAR(at(regions, 6, 4, 1), 100, 3);
  // Clip selector 5 keeps only labelled voxels: the clear colour (blue) shows on the right.
  auto clipped = render(5);
  EXPECT_NEAR(at(clipped, 1, 4, 0), 100, 3);
  EXPECT_EQ(at(clipped, 6, 4, 2), 255);
  EXPECT_EQ(at(clipped, 6, 4, 0), 0);
  // Clip selector 1 (segmentation view): extracted voxels turn red.
  auto seg = render(1);
  EXPECT_GT(at(seg, 1, 4, 0), at(seg, 1, 4, 1) + 60);
  TSheder::setMaskColourTableSource(nullptr);
  colours.clear(nullptr);
}

TEST_F(ShaderGL, MissingFileFailsOnceAndNeverBinds) {
  TSheder sh(shaderPath("doesNotExist"));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(sh.ensureInit(0, 0));
  std::string first = testing::internal::GetCapturedStderr();
  EXPECT_NE(first.find(" !! cant load vertexd Shader: file is = "), std::string::npos) << first;
  EXPECT_NE(first.find("error GLSL is not avairable"), std::string::npos) << first;
  EXPECT_TRUE(sh.hasFailed());

  // Later draws neither try again nor report again, and nothing is bound.
  testing::internal::CaptureStderr();
  const double eye[3] = {0, 0, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(sh.ensureInit(0, 0));
    EXPECT_FALSE(sh.ensureInitEx(eye, 0, 0.5, 0));
  }
  sh.unbind();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  GLint current = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  EXPECT_EQ(current, 0);
}

TEST_F(ShaderGL, MissingFragmentEntryIsReportedAndNotBound) {
  // A file whose two-channel entry cannot be built (as when a driver refuses one entry).
  std::string path = std::string(::testing::TempDir()) + "kestrin_broken_entry.glsl";
  {
    std::ifstream in(shaderPath("visCutSurf"));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = text.find("void Frag_Main_2() {");
    ASSERT_NE(at, std::string::npos);
    text.insert(at, "#ifdef Frag_Main_2\n#error this entry is refused\n#endif\n");
    size_t inc = text.find("#include \"common.glsl\"");
    ASSERT_NE(inc, std::string::npos);
    std::ifstream common(std::string(KESTRIN_SHADER_DIR) + "common.glsl");
    std::string ctext((std::istreambuf_iterator<char>(common)), std::istreambuf_iterator<char>());
    text.replace(inc, 22, ctext);
    std::ofstream out(path);
    out << text;
  }
  TSheder sh(path);
  testing::internal::CaptureStderr();
  bool built = sh.initShader();
  std::string log = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(built) << log;
  EXPECT_NE(log.find(" !!cant load fragmen Shader ch:2: file is = " + path), std::string::npos) << log;
  EXPECT_NE(sh.programHandle(0), 0u);
  EXPECT_EQ(sh.programHandle(1), 0u);
  EXPECT_NE(sh.programHandle(2), 0u);

  setVolume(4, 4, 4, 2, [](int, int, int, int) { return 0; });
  const double eye[3] = {0, 0, 0};
  sh.bind(eye, 0, 0, 0, 0.5, 0);
  EXPECT_FALSE(sh.isBound());
  EXPECT_EQ(sh.lastBinding().programIndex, 1);
  GLint current = -1;
  glGetIntegerv(GL_CURRENT_PROGRAM, &current);
  EXPECT_EQ(current, 0);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  setVolume(4, 4, 4, 3, [](int, int, int, int) { return 0; });
  sh.bind(eye, 0, 0, 0, 0.5, 0);
  EXPECT_TRUE(sh.isBound());
  sh.unbind();
  std::remove(path.c_str());
}

TEST_F(ShaderGL, UnbindOnUninitialisedShaderDoesNothing) {
  TSheder sh(shaderPath("visI"));
  glUseProgram(0);
  sh.unbind();
  const double eye[3] = {0, 0, 0};
  sh.bind(eye, 0, 0, 0, 1.0, 0);  // not initialised: nothing happens
  EXPECT_FALSE(sh.isBound());
  EXPECT_FALSE(sh.isInitialised());
  EXPECT_FALSE(sh.hasFailed());
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ShaderGL, WithoutAContextNothingIsBuiltUntilOneIsCurrent) {
  TSheder sh(shaderPath("visI"));
  t_testDoneCurrent();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(sh.ensureInit(0, 0));
  EXPECT_FALSE(sh.ensureInit(0, 0));
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "GLSL is not avirable!!!!!!\n");
  EXPECT_FALSE(sh.hasFailed());
  ASSERT_TRUE(t_testMakeContext());
  setVolume(4, 4, 4, 1, [](int, int, int, int) { return 0; });
  EXPECT_TRUE(sh.ensureInit(0, 0));
  sh.unbind();
}

// ---------------------------------------------------------------------------------------------
// What the volume programs draw: one slice through the middle of the volume, blending off, so
// that each pixel holds the program's colour and opacity for the voxel under it.

namespace {

struct Rgba { int r, g, b, a; };

// Renders the slice z = 0.5 of a W x H volume with base's program bound for the volume draws
// (opacity coefficient 1) and the given volume colour selector.
std::vector<unsigned char> renderVolumeSlice(const char* base, int W, int H, int volColourSel) {
  TSheder sh(shaderPath(base));
  EXPECT_TRUE(sh.initShader()) << base;
  EXPECT_TRUE(t_testBeginFramebuffer(W, H, 0, 0, 0, 0));
  glDisable(GL_BLEND);
  const double eye[3] = {0, 0, 5};
  EXPECT_TRUE(sh.ensureInitEx(eye, volColourSel, 1.0, 0)) << base;
  drawSliceQuad(0.5f);
  sh.unbind();
  auto px = t_testReadPixels(W, H);
  t_testEndFramebuffer();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << base;
  return px;
}

Rgba pixelAt(const std::vector<unsigned char>& px, int W, int x, int y) {
  const unsigned char* p = &px[(size_t(y) * W + x) * 4];
  return {p[0], p[1], p[2], p[3]};
}

void fillGradient(int value) {
  TOGL3DImage& g = TextureManager::getInst().volGrad;
  std::memset(g.data, value, size_t(g.W) * g.H * g.D);
  g.unbind(nullptr);  // published: the next bind uploads the new bytes
}

// Holder tables to their start state: ramps, the one default 2-D point, no pseudo colours.
void resetTables() {
  TextureManager& tm = TextureManager::getInst();
  tm.tfI.initRamp(nullptr);
  tm.tfIG.initRamp(nullptr);
  tm.tf2D.init(nullptr);
}

}  // namespace

TEST_F(ShaderGL, IntensityProgramsTakeOpacityFromTheirTransferFunctions) {
  resetTables();
  // Channel 1 rises along x: column x holds 16 x.
  setVolume(16, 4, 2, 1, [](int, int x, int, int) { return x * 16; });
  TextureManager& tm = TextureManager::getInst();

  // visI: the opacity is the intensity curve at the voxel's value (a ramp: the value itself).
  auto px = renderVolumeSlice("visI", 16, 4, 1);
  for (int x = 0; x < 16; ++x) EXPECT_NEAR(pixelAt(px, 16, x, 2).a, x * 16, 3) << "visI column " << x;
  tm.tfI.clearChannel(0, nullptr);
  px = renderVolumeSlice("visI", 16, 4, 1);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(pixelAt(px, 16, x, 2).a, 0) << "visI cleared, column " << x;

  // visIG: intensity curve (channel 0) times gradient curve (channel 1) of the second function.
  fillGradient(128);
  px = renderVolumeSlice("visIG", 16, 4, 1);
  for (int x = 0; x < 16; ++x)
    EXPECT_NEAR(pixelAt(px, 16, x, 2).a, x * 16 * 128 / 255.0, 3) << "visIG column " << x;
  tm.tfIG.clearChannel(1, nullptr);
  px = renderVolumeSlice("visIG", 16, 4, 1);
  EXPECT_EQ(pixelAt(px, 16, 12, 2).a, 0);
  resetTables();
}

TEST_F(ShaderGL, TwoDimensionalTableIsReadWithIntensityAcrossAndGradientUp) {
  resetTables();
  TextureManager& tm = TextureManager::getInst();
  // Left half: intensity 64, gradient 192.  Right half: intensity 192, gradient 64.
  setVolume(16, 4, 2, 1, [](int, int x, int, int) { return x < 8 ? 64 : 192; });
  for (int i = 0; i < 16 * 4 * 2; ++i) tm.volGrad.data[i] = (i % 16) < 8 ? 192 : 64;
  // One point at intensity 0.25, gradient 0.75: only the left half is inside it.
  tm.tf2D.setPoints({TTransFuncPoint{0.25, 0.75, 0.1}}, nullptr);
  auto px = renderVolumeSlice("visIG2D", 16, 4, 1);
  EXPECT_GT(pixelAt(px, 16, 2, 2).a, 200);
  EXPECT_EQ(pixelAt(px, 16, 13, 2).a, 0);
  resetTables();
}

TEST_F(ShaderGL, DefaultTwoDimensionalPointMissesTheDefaultShell) {
  // The default shell rises so steeply that every voxel of middle intensity has a saturated
  // gradient byte: nothing of it lies near the default point (0.5, 0.5), so mode 2 starts out
  // empty on it, while a point at the top of the gradient axis shows the shell.
  resetTables();
  TextureManager& tm = TextureManager::getInst();
  int W, H, D;
  float* v = nullptr;
  t_makeDefaultVolume(&W, &H, &D, &v);
  setVolume(W, H, D, 1, [](int, int, int, int) { return 0; });
  delete[] tm.val1;
  tm.val1 = v;
  const double mn[3] = {0, 0, 0}, mx[3] = {800, 800, 800};
  tm.applyWindowLevel(mn, mx);
  tm.computeGradientVolume(W, H, D, 1);
  auto opaque = [&](const std::vector<unsigned char>& px) {
    int n = 0;
    for (size_t i = 3; i < px.size(); i += 4) n += px[i] > 16;
    return n;
  };
  auto px = renderVolumeSlice("visIG2D", W, H, 1);
  EXPECT_EQ(opaque(px), 0);
  tm.tf2D.setPoints({TTransFuncPoint{0.5, 1.0, 0.1}}, nullptr);
  px = renderVolumeSlice("visIG2D", W, H, 1);
  EXPECT_GT(opaque(px), 200);
  // The ring: the centre of the slice stays empty, the shell at radius 3 of 10 is drawn.
  EXPECT_EQ(pixelAt(px, W, W / 2, H / 2).a, 0);
  delete[] tm.val1;
  tm.val1 = nullptr;
  resetTables();
}

TEST_F(ShaderGL, VolumeColourModesUseThePseudoColourTables) {
  resetTables();
  TextureManager& tm = TextureManager::getInst();
  // A constant volume (no shading) and three single-hue tables: red, green, blue.
  setVolume(8, 4, 2, 1, [](int, int, int, int) { return 200; });
  for (int t = 0; t < 3; ++t) {
    tm.pseudoColor[t].allocate(256, nullptr);
    tm.pseudoColor[t].linear = false;
    for (int i = 0; i < 256; ++i) tm.pseudoColor[t].data[4 * i + t] = 255;
  }
  struct Case { int sel; int hue; };
  for (Case c : {Case{2, 0}, Case{3, 1}, Case{4, 2}}) {
    auto px = renderVolumeSlice("visI", 8, 4, c.sel);
    Rgba p = pixelAt(px, 8, 4, 2);
    const int rgb[3] = {p.r, p.g, p.b};
    for (int k = 0; k < 3; ++k) EXPECT_EQ(rgb[k], k == c.hue ? 255 : 0) << "selector " << c.sel;
  }
  // "Intens": grey of the value; "RGB" of one channel: grey as well.
  for (int sel : {0, 1}) {
    Rgba p = pixelAt(renderVolumeSlice("visI", 8, 4, sel), 8, 4, 2);
    EXPECT_NEAR(p.r, 200, 2);
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.g, p.b);
  }
  for (auto& t : tm.pseudoColor) t.clear(nullptr);
}

TEST_F(ShaderGL, MaskAndSegmentationProgramsShowRegionsAndFlags) {
  resetTables();
  TextureManager& tm = TextureManager::getInst();
  setVolume(8, 4, 2, 1, [](int, int, int, int) { return 160; });
  for (int i = 0; i < 8 * 4 * 2; ++i) {
    const bool left = (i % 8) < 4;
    tm.volMask.data[i] = left ? 3 : 0;
    tm.volFlag.data[i] = left ? 255 : 1;
  }
  TOGL1DImage colours;
  colours.allocate(256, nullptr);
  colours.linear = false;
  colours.data[3 * 4 + 1] = 255;  // region 3 green, opacity 200
  colours.data[3 * 4 + 3] = 200;
  TSheder::setMaskColourTableSource([&colours] { return &colours; });

  // visMask: region 3 in its colour and opacity; unlabelled voxels faint (a quarter of the
  // intensity curve).
  auto px = renderVolumeSlice("visMask", 8, 4, 1);
  Rgba region = pixelAt(px, 8, 1, 2), outside = pixelAt(px, 8, 6, 2);
  EXPECT_EQ(region.g, 255);
  EXPECT_EQ(region.r, 0);
  EXPECT_NEAR(region.a, 200, 2);
  EXPECT_NEAR(outside.a, 160 / 4, 2);
  EXPECT_NEAR(outside.r, 160, 2);

  // segGCut: extracted voxels (255) red and at least half opaque, target voxels (1) in grey by
  // the 2-D transfer function, the editor of the segmentation modes.
  fillGradient(128);
  tm.tf2D.setPoints({TTransFuncPoint{160 / 255.0, 0.5, 0.1}}, nullptr);
  px = renderVolumeSlice("segGCut", 8, 4, 1);
  Rgba extracted = pixelAt(px, 8, 1, 2), target = pixelAt(px, 8, 6, 2);
  EXPECT_GT(extracted.r, extracted.g + 100);
  EXPECT_GE(extracted.a, 127);
  EXPECT_GT(target.a, 240);
  EXPECT_EQ(target.r, target.g);
  // With no point left the target voxels vanish; the extracted ones stay.
  tm.tf2D.setPoints({}, nullptr);
  px = renderVolumeSlice("segGCut", 8, 4, 1);
  EXPECT_EQ(pixelAt(px, 8, 6, 2).a, 0);
  EXPECT_GE(pixelAt(px, 8, 1, 2).a, 127);
  resetTables();
  TSheder::setMaskColourTableSource(nullptr);
  colours.clear(nullptr);
}
