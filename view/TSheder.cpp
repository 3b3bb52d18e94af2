#include "view/TSheder.h"

#include <GL/glew.h>

#include <cstdio>

#include "view/glsl_program.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

std::function<TOGL1DImage*()>& maskColourSource() {
  static std::function<TOGL1DImage*()> source;
  return source;
}

// GL target of each texture parameter (index = parameter = texture unit).
const GLenum kTextureTargets[TSheder::kTextureParamCount] = {
    GL_TEXTURE_3D, GL_TEXTURE_3D, GL_TEXTURE_3D, GL_TEXTURE_3D, GL_TEXTURE_3D, GL_TEXTURE_3D,
    GL_TEXTURE_1D, GL_TEXTURE_1D, GL_TEXTURE_1D, GL_TEXTURE_1D, GL_TEXTURE_2D};

}  // namespace

const char* const TSheder::kFragParamNames[TSheder::kFragParamCount] = {
    "tex3D_img1", "tex3D_img2", "tex3D_img3", "tex3D_hl", "tex3D_mask", "tex3D_gMag",
    "tex1D_tfI", "tex1D_tfIG", "tex1D_tfMask", "tex1D_tfHeu", "tex2D_tfIG2D",
    "unif.eyePos", "unif.alphaCoef", "unif.texCdOffset", "unif.otherMode", "unif.clpColMode",
    "unif.volColMode", "unif.clipMode"};
const char* const TSheder::kVertMatrixName = "modelViewMat";

TSheder::TSheder() {
  for (auto& row : m_fragLoc) row[0] = row[1] = row[2] = -1;
}

TSheder::TSheder(const std::string& name) : TSheder() { fileName = name; }

int TSheder::programIndexForChannels(int channelCount) {
  return channelCount == 1 ? 0 : channelCount == 2 ? 1 : 2;
}

int TSheder::reduceColourSel(int sel) { return sel == 0 ? 0 : sel == 1 ? 1 : 2; }

int TSheder::clipModeFromSel(int clipSel) {
  switch (clipSel) {
    case 1: return 1;
    case 2: return 3;
    case 3: return 2;
    case 4: return 4;
    case 5: return 5;
    default: return 0;
  }
}

void TSheder::texCdOffsetFor(int W, int H, int D, float out[4]) {
  out[0] = float(1.0 / W);
  out[1] = float(1.0 / H);
  out[2] = float(1.0 / D);
  out[3] = 0.0f;
}

int TSheder::pseudoColourTableFor(int volColourSel) {
  return volColourSel == 2 ? 0 : volColourSel == 3 ? 1 : 2;
}

int TSheder::fragParamLocation(int param, int j) const {
  if (param < 0 || param >= kFragParamCount || j < 0 || j > 2) return -1;
  return m_fragLoc[param][j];
}

bool TSheder::fragParamDeclared(int param, int j) const {
  if (param < 0 || param >= kFragParamCount || j < 0 || j > 2) return false;
  return m_declared[param][j];
}

int TSheder::textureUnitOf(int param) { return (param >= 0 && param < kTextureParamCount) ? param : -1; }

void TSheder::setMaskColourTableSource(std::function<TOGL1DImage*()> source) {
  maskColourSource() = std::move(source);
}

bool TSheder::initShader() {
  fprintf(stderr, "initShapder %s\n", fileName.c_str());
  if (!t_glslAvailable()) {
    fprintf(stderr, "GLSL is not avirable!!!!!! (on initialize Shader In TSheder)\n\n");
    return false;
  }

  std::string source, error, log;
  unsigned int vert = 0;
  if (t_glslReadSource(fileName, source, error)) {
    vert = t_glslCompile(TGlslStage::Vertex, source, {"VERTEX_STAGE", "Vert_Main main"}, log);
    if (!vert) fprintf(stderr, "%s\n", log.c_str());
  } else {
    fprintf(stderr, "%s\n", error.c_str());
  }
  if (!vert) {
    fprintf(stderr, "\n !! cant load vertexd Shader: file is = %s \n", fileName.c_str());
    return false;
  }

  const std::set<std::string> declared = t_glslDeclaredUniforms(source);
  int linked = 0;
  for (int i = 1; i <= 3; ++i) {
    std::string entry = "Frag_Main_" + std::to_string(i) + " main";
    std::string channels = "KESTRIN_CHANNELS " + std::to_string(i);
    unsigned int frag =
        t_glslCompile(TGlslStage::Fragment, source, {"FRAGMENT_STAGE", channels, entry}, log);
    unsigned int prog = 0;
    if (frag) {
      prog = t_glslLink(vert, frag, log);
      t_glslDeleteShader(frag);
    }
    if (!prog) {
      fprintf(stderr, "%s\n", log.c_str());
      fprintf(stderr, "\n !!cant load fragmen Shader ch:%d: file is = %s \n", i, fileName.c_str());
      continue;
    }
    ++linked;
    m_programs[i - 1] = prog;
    m_mvpLoc[i - 1] = t_glslUniformLocation(prog, kVertMatrixName);
    for (int k = 0; k < kFragParamCount; ++k) {
      m_fragLoc[k][i - 1] = t_glslUniformLocation(prog, kFragParamNames[k]);
      m_declared[k][i - 1] = m_fragLoc[k][i - 1] >= 0 || declared.count(kFragParamNames[k]) > 0;
    }
  }
  t_glslDeleteShader(vert);
  if (linked == 0) return false;
  m_initialised = true;
  return true;
}

bool TSheder::ensureReady() {
  if (m_initialised) return true;
  if (m_failed) return false;
  if (!t_glHasCurrentContext()) {
    // Called outside any GL context: nothing can be built yet; said once, tried again later.
    if (!m_noContextReported) fprintf(stderr, "GLSL is not avirable!!!!!!\n");
    m_noContextReported = true;
    return false;
  }
  // One build per shader and process: a failure is reported here once, and every later draw
  // goes straight to the fixed-function pipeline.
  m_failed = true;
  if (!initShader()) {
    fprintf(stderr, "error GLSL is not avairable\n");
    return false;
  }
  m_failed = false;
  return true;
}

bool TSheder::ensureInit(int clipSel, int planeColourSel) {
  if (!ensureReady()) return false;
  const double eye[3] = {0, 0, 0};
  bind(eye, 1, clipSel, planeColourSel, 0.0, 0);
  return m_bound;
}

bool TSheder::ensureInitEx(const double eye[3], int volColourSel, double alpha, int otherMode) {
  if (!ensureReady()) return false;
  bind(eye, volColourSel, 0, 0, alpha, otherMode);
  return m_bound;
}

void TSheder::bind(const double eye[3], int volColourSel, int clipSel, int planeColourSel,
                   double alpha, int otherMode) {
  if (!m_initialised) return;
  TextureManager& tm = TextureManager::getInst();

  Binding b;
  b.programIndex = programIndexForChannels(tm.channelCount);
  b.clpColMode = reduceColourSel(planeColourSel);
  b.volColMode = reduceColourSel(volColourSel);
  b.clipMode = clipModeFromSel(clipSel);
  b.otherMode = otherMode;
  for (int i = 0; i < 3; ++i) b.eyePos[i] = float(eye[i]);
  b.alphaCoef = float(alpha);
  texCdOffsetFor(tm.getW(), tm.getH(), tm.getD(), b.texCdOffset);
  b.pseudoTable = pseudoColourTableFor(volColourSel);
  m_last = b;

  const int j = b.programIndex;
  const unsigned int prog = m_programs[j];
  // A fragment entry that did not build was reported when the file was built; its draws use
  // the fixed-function pipeline.
  if (!prog) return;
  glUseProgram(prog);

  // Textures: each on its own unit, so that samplers of different types never share one.
  TOGL3DImage* volumes[6] = {&tm.vol1, &tm.vol2, &tm.vol3, &tm.volFlag, &tm.volMask, &tm.volGrad};
  TOGL1DImage* mask =
      maskColourSource() ? maskColourSource()() : &TMaskIdTable::getInst().colorTable;
  for (int k = 0; k < kTextureParamCount; ++k) {
    glActiveTexture(GL_TEXTURE0 + k);
    glBindTexture(kTextureTargets[k], 0);
    switch (k) {
      case P_IMG1: case P_IMG2: case P_IMG3: case P_HL: case P_MASK: case P_GMAG:
        volumes[k]->bindTexture();
        break;
      case P_TF_I: tm.tfI.bindTexture(); break;
      case P_TF_IG: tm.tfIG.bindTexture(); break;
      case P_TF_MASK: if (mask) mask->bindTexture(); break;
      case P_TF_HEU: tm.pseudoColor[b.pseudoTable].bindTexture(); break;
      case P_TF_IG2D: tm.tf2D.bindTexture(); break;
    }
    if (m_fragLoc[k][j] >= 0) glUniform1i(m_fragLoc[k][j], k);
  }
  glActiveTexture(GL_TEXTURE0);

  if (m_mvpLoc[j] >= 0) {
    GLfloat proj[16], mv[16], mvp[16];
    glGetFloatv(GL_PROJECTION_MATRIX, proj);
    glGetFloatv(GL_MODELVIEW_MATRIX, mv);
    for (int c = 0; c < 4; ++c)
      for (int r = 0; r < 4; ++r) {
        float s = 0;
        for (int k = 0; k < 4; ++k) s += proj[k * 4 + r] * mv[c * 4 + k];
        mvp[c * 4 + r] = s;
      }
    glUniformMatrix4fv(m_mvpLoc[j], 1, GL_FALSE, mvp);
  }
  auto loc = [&](int p) { return m_fragLoc[p][j]; };
  if (loc(P_TEXCDOFFSET) >= 0) glUniform4fv(loc(P_TEXCDOFFSET), 1, b.texCdOffset);
  if (loc(P_EYEPOS) >= 0) glUniform3fv(loc(P_EYEPOS), 1, b.eyePos);
  if (loc(P_ALPHACOEF) >= 0) glUniform1f(loc(P_ALPHACOEF), b.alphaCoef);
  if (loc(P_CLPCOLMODE) >= 0) glUniform1i(loc(P_CLPCOLMODE), b.clpColMode);
  if (loc(P_VOLCOLMODE) >= 0) glUniform1i(loc(P_VOLCOLMODE), b.volColMode);
  if (loc(P_CLIPMODE) >= 0) glUniform1i(loc(P_CLIPMODE), b.clipMode);
  if (loc(P_OTHERMODE) >= 0) glUniform1i(loc(P_OTHERMODE), b.otherMode);
  m_bound = true;
}

void TSheder::unbind() {
  if (!m_initialised || !m_bound) return;
  for (int k = 0; k < kTextureParamCount; ++k) {
    glActiveTexture(GL_TEXTURE0 + k);
    glBindTexture(kTextureTargets[k], 0);
  }
  glActiveTexture(GL_TEXTURE0);
  glUseProgram(0);
  m_bound = false;
}
