#include "view/TSheder.h"

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

bool TSheder::initShader() { return false; }
bool TSheder::ensureInit(int, int) { return false; }
bool TSheder::ensureInitEx(const double*, int, double, int) { return false; }
void TSheder::bind(const double*, int, int, int, double, int) {}
void TSheder::unbind() {}
void TSheder::setMaskColourTableSource(std::function<TOGL1DImage*()>) {}
