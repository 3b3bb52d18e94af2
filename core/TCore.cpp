#include "core/TCore.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "core/MaskIdChooser.h"
#include "core/ModeRegistry.h"
#include "core/TModeState.h"
#include "core/file_kinds.h"
#include "platform/Prompt.h"

namespace {

// Stands in for a mode whose library is not part of this program, so that `state` is never null.
class TInertMode : public TModeState {
 public:
  void OnSwitched(int) override {}
  void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
  void OnKeyDown(int, int, unsigned) override {}
  void OnKeyUp(int, int, unsigned) override {}
  void OnDraw() override {}
};

TInertMode& inertMode() {
  static TInertMode m;
  return m;
}

std::unique_ptr<TCoreWiring>& wiringStore() {
  static std::unique_ptr<TCoreWiring> w;
  return w;
}

TModeState* modeFor(int id) {
  TModeState* m = TModeRegistry::getInst().modeFor(id);
  return m ? m : &inertMode();
}

// Parses a pitch argument; false when the text is not a positive finite decimal number.
bool parsePitch(const char* text, double& out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || errno == ERANGE || !std::isfinite(v) || v <= 0.0) return false;
  out = v;
  return true;
}

}  // namespace

void TCore::setWiring(const TCoreWiring& w) { wiringStore() = std::make_unique<TCoreWiring>(w); }

TCoreWiring& TCore::wiring() {
  std::unique_ptr<TCoreWiring>& w = wiringStore();
  if (!w) w = std::make_unique<TCoreWiring>();
  return *w;
}

namespace {
bool g_coreBuilt = false;
}  // namespace

TCore& TCore::getInst() {
  static TCore core;
  return core;
}

bool TCore::exists() { return g_coreBuilt; }

TCore::TCore() {
  g_coreBuilt = true;
  pluginOutPath.clear();
  std::fprintf(stderr, "constructor TCore    \n");
  // The first mode object; no panel is shown and OnSwitched is not called until a volume is in.
  state = modeFor(1);
  modeId = 1;
  zFlipped = false;
  pluginMode = false;
  std::fprintf(stderr, "constructor TCore Fin\n");
}

TCore::~TCore() { g_coreBuilt = false; }

void TCore::setMode(int id) {
  if (!TModeRegistry::getInst().isKnown(id)) {
    std::fprintf(stderr, "TCore::setMode: unknown mode id %d\n", id);
    return;
  }
  modeId = id;
  TCoreWiring& w = wiring();
  // Taken and let go around the whole switch; let go also where the entry throws.
  struct Hold {
    const std::function<void(bool)> hold;
    explicit Hold(const std::function<void(bool)>& h) : hold(h) {
      if (hold) hold(true);
    }
    ~Hold() {
      if (hold) hold(false);
    }
  };
  const Hold frames(w.holdViewFrames);
  {
    const Hold switching(w.modeSwitching);
    for (TModeState* m : TModeRegistry::getInst().allModes()) m->hidePanels();
    state = modeFor(id);
    // A mode that cannot start switches to mode 3 from in here; that inner switch runs completely
    // and leaves state and modeId to mode 3.
    state->OnSwitched(id);
  }
  if (w.placeModeDialogs) w.placeModeDialogs();
  if (w.modeChanged) w.modeChanged();
}

void TCore::initAfterLoad(const double pitch[3], const double minValues[3],
                          const double maxValues[3], int fileType) {
  TCoreWiring& w = wiring();
  if (w.resetTransferFunctions) w.resetTransferFunctions();
  if (w.visParamAfterLoad) w.visParamAfterLoad(pitch);
  if (w.winLvSetChannels) {
    const int n = w.channelCount ? w.channelCount() : 1;
    w.winLvSetChannels(n, minValues, maxValues);
  }
  setMode(startModeFor(fileType));
}

int TCore::fileTypeOfName(const std::string& name) {
  return t_volumeTypeOf(t_fileKindOf(name, kFromCommandLine));
}

int TCore::volumeTypeOfName(const std::string& name) {
  return t_volumeTypeOf(t_fileKindOf(name, kFromVolumeCommand));
}

namespace {

// Loads one file of the given type and fills the mask from it or resets the mask.  Returns the
// type the rest of the load goes on with: a file that could not be read left the default volume,
// which carries no regions and is shown like any volume (type 0).
int loadOneVolume(TCoreWiring& w, const std::string& path, int fileType, double pitch[3],
                  double minValues[3], double maxValues[3]) {
  const bool loaded = w.loadVolume && w.loadVolume({path}, fileType, pitch, minValues, maxValues);
  if (!loaded) fileType = 0;
  if (fileType == 7) {
    if (w.setMaskFromCombinedFile) w.setMaskFromCombinedFile();
  } else if (w.resetMaskForVolume) {
    w.resetMaskForVolume();
  }
  return fileType;
}

}  // namespace

const char* TCore::busyMessage(Change change) const {
  const std::vector<TModeState*> modes = TModeRegistry::getInst().allModes();
  for (TModeState* m : modes)
    if (const char* text = m->busyMessage()) return text;
  if (change == Change::Geometry)
    for (TModeState* m : modes)
      if (const char* text = m->geometryBusyMessage()) return text;
  return nullptr;
}

bool TCore::refuseWhileBusy(Change change) const {
  const char* text = busyMessage(change);
  if (!text) return false;
  t_info(text);
  return true;
}

bool TCore::switchMode(int id) {
  if (refuseWhileBusy()) return false;
  setMode(id);
  return true;
}

namespace {

// Runs fn with the stack in file order: undoes the display's z flip around it.  withSurfaces
// also mirrors the region surfaces (mask files store them).  The flip rewrites the live arrays,
// so with the stack flipped nothing happens (false) while the busy gate refuses.
template <class Fn>
bool inFileOrder(bool flipped, bool withSurfaces, Fn fn) {
  if (flipped && TCore::getInst().refuseWhileBusy()) return false;
  TCoreWiring& w = TCore::wiring();
  auto flip = [&] {
    if (!flipped) return;
    if (w.flipZVolume) w.flipZVolume();
    if (withSurfaces && w.flipZMaskSurfaces) w.flipZMaskSurfaces();
  };
  flip();
  const bool ok = fn();
  flip();
  return ok;
}

bool callWriter(const std::function<bool(const std::string&)>& writer, const std::string& path) {
  if (!writer) return false;
  return writer(path);
}

}  // namespace

bool TCore::loadVolume(const std::string& path) {
  if (refuseWhileBusy()) return false;
  TCoreWiring& w = wiring();
  // The graph cut forgets the previous volume's pre-computation before that volume goes.
  if (w.graphCutResetForNewVolume) w.graphCutResetForNewVolume();
  zFlipped = false;
  double pitch[3] = {1.0, 1.0, 1.0};
  double minValues[3] = {0, 0, 0};
  double maxValues[3] = {0, 0, 0};
  const int fileType = loadOneVolume(w, path, volumeTypeOfName(path), pitch, minValues, maxValues);
  initAfterLoad(pitch, minValues, maxValues, fileType);
  std::fprintf(stderr, "%f %f %f\n", minValues[0], minValues[1], minValues[2]);
  std::fprintf(stderr, "%f %f %f\n", maxValues[0], maxValues[1], maxValues[2]);
  return true;
}

bool TCore::loadSlices(const std::vector<std::string>& paths) {
  if (paths.empty()) return false;
  if (refuseWhileBusy()) return false;
  TCoreWiring& w = wiring();
  if (w.graphCutResetForNewVolume) w.graphCutResetForNewVolume();
  zFlipped = false;
  double pitch[3] = {1.0, 1.0, 1.0};
  double minValues[3] = {0, 0, 0};
  double maxValues[3] = {0, 0, 0};
  const int type = t_sliceTypeOf(paths[0], false);
  if (w.loadVolume) w.loadVolume(paths, type, pitch, minValues, maxValues);
  if (w.resetMaskForVolume) w.resetMaskForVolume();
  initAfterLoad(pitch, minValues, maxValues, 0);
  return true;
}

namespace {

bool loadChannel(TCore& core, const std::vector<std::string>& paths, int type, int channel) {
  TCoreWiring& w = TCore::wiring();
  const int have = w.channelCount ? w.channelCount() : 1;
  // Only the channel that follows the loaded ones.
  if (channel != have + 1 || channel < 2 || channel > 3) return false;
  if (core.refuseWhileBusy()) return false;
  // The graph cut's pre-segmentation (its regions' channel means) was computed without the new
  // channel: it is computed again on the next entry, as after a volume load.
  if (w.graphCutResetForNewVolume) w.graphCutResetForNewVolume();
  double mn = 0, mx = 0;
  const bool ok = inFileOrder(core.zFlipped, false, [&] {
    return w.loadChannel && w.loadChannel(channel, paths, type, &mn, &mx);
  });
  if (ok && w.winLvSetRange) w.winLvSetRange(channel, mn, mx);
  return ok;
}

}  // namespace

bool TCore::loadChannelVolume(const std::string& path, int channel) {
  return loadChannel(*this, {path}, t_volumeTypeOf(t_fileKindOf(path, kFromChannelCommand)), channel);
}

bool TCore::loadChannelSlices(const std::vector<std::string>& paths, int channel) {
  if (paths.empty()) return false;
  return loadChannel(*this, paths, t_sliceTypeOf(paths[0], true), channel);
}

bool TCore::loadMask(const std::string& path) {
  if (path.size() < 7) return false;
  TCoreWiring& w = wiring();
  const TFileKind kind = t_fileKindOf(path, kFromMaskCommand);
  const auto& loader = kind == TFileKind::MaskOld ? w.loadOldMaskFile
                       : kind == TFileKind::Mask  ? w.loadMaskFile
                                                  : std::function<bool(const std::string&)>();
  if (!loader) return false;
  if (refuseWhileBusy()) return false;
  // The file holds the stack and the surfaces in file order; the display may show them flipped.
  return inFileOrder(zFlipped, true, [&] { return loader(path); });
}

bool TCore::saveMask(const std::string& path) {
  return inFileOrder(zFlipped, true, [&] { return callWriter(wiring().saveMaskFile, path); });
}

bool TCore::exportTifMinMax(const std::string& path) {
  return inFileOrder(zFlipped, false, [&] { return callWriter(wiring().exportVolumeTif, path); });
}

bool TCore::exportTif255(const std::string& path) {
  return inFileOrder(zFlipped, false,
                     [&] { return callWriter(wiring().exportVolumeTifChannels, path); });
}

bool TCore::exportBmpSlices(const std::string& base) {
  return inFileOrder(zFlipped, false, [&] { return callWriter(wiring().exportSlicesBmp, base); });
}

bool TCore::exportCombinedFile(const std::string& path) {
  return inFileOrder(zFlipped, false, [&] { return callWriter(wiring().saveCombinedFile, path); });
}

bool TCore::exportMaskTif8(const std::string& path) {
  return inFileOrder(zFlipped, false, [&] { return callWriter(wiring().exportMaskTif, path); });
}

void TCore::exportRegionMesh(int format, int id) {
  if (format != 0 && format != 1) return;
  // Refused before the questions rather than after them.
  if (zFlipped && refuseWhileBusy()) return;
  TCoreWiring& w = wiring();
  if (id < 0 || id > 255) {
    int picked = -1;
    if (!t_pickOneId("Select Target Region ID", picked)) return;
    if (picked < 1 || picked > 255) return;
    id = picked;
  }
  int step = 1, umbrella = 1, lm = 1;
  if (w.askSurfaceParams && !w.askSurfaceParams(step, umbrella, lm)) return;
  const char* ext = format == 0 ? "obj" : "stl";
  const std::string filter = format == 0 ? "volume Files (*.obj)" : "volume Files (*.stl)";
  std::string path = t_prompts().saveFile("Export region surface", filter, std::string());
  if (path.empty()) return;
  path = t_withExtension(path, ext);
  const std::string unitPath = path + ".norm." + ext;
  bool wrote = false, wroteUnit = false;
  // The model follows the file's slice order whatever the display shows.
  inFileOrder(zFlipped, false, [&] {
    if (w.writeRegionSurface)
      w.writeRegionSurface(format, id, step, umbrella, lm, path, unitPath, wrote, wroteUnit);
    return true;
  });
  if (wrote && wroteUnit) {
    const std::string e = ext;
    t_info("System exports 2 " + e + " files\n*." + e +
           " is a surface model that has specified pitch size \n *." + e + ".norm." + e +
           " is a surface model normalized in [0,1][0,1][0,1]");
    return;
  }
  std::string text = "The region surface could not be exported completely.\n";
  text += std::string(wrote ? "written: " : "NOT written: ") + path + "\n";
  text += std::string(wroteUnit ? "written: " : "NOT written: ") + unitPath;
  t_warn(text);
}

std::vector<unsigned char> TCore::closeRegions(unsigned char* mask, int W, int H, int D,
                                               const std::vector<unsigned char>& chosen, int n) {
  std::vector<unsigned char> changed(256, 0);
  if (!mask || W <= 0 || H <= 0 || D <= 0 || chosen.size() < 256 || n <= 0) return changed;
  const std::size_t N = std::size_t(W) * H * D;
  std::vector<unsigned char> A(N), B(N), L(N);
  for (std::size_t i = 0; i < N; ++i) {
    const unsigned char m = mask[i];
    if (m != 0 && chosen[m]) {
      A[i] = B[i] = m;
      L[i] = 0;
    } else {
      A[i] = B[i] = 0;
      L[i] = m != 0 ? 1 : 0;
    }
  }
  const std::ptrdiff_t sx = 1, sy = W, sz = std::ptrdiff_t(W) * H;
  for (int pass = 0; pass < n; ++pass) {
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const std::size_t i = std::size_t(z) * sz + std::size_t(y) * sy + x;
          if (A[i] != 0 || L[i] != 0) continue;
          unsigned char v = 0;
          if (!v && x > 0) v = A[i - sx];
          if (!v && y > 0) v = A[i - sy];
          if (!v && z > 0) v = A[i - sz];
          if (!v && x < W - 1) v = A[i + sx];
          if (!v && y < H - 1) v = A[i + sy];
          if (!v && z < D - 1) v = A[i + sz];
          if (v) B[i] = v;
        }
    A = B;
  }
  for (int pass = 0; pass < n; ++pass) {
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const std::size_t i = std::size_t(z) * sz + std::size_t(y) * sy + x;
          if (A[i] == 0) continue;
          const bool empty = (x > 0 && !A[i - sx]) || (y > 0 && !A[i - sy]) ||
                             (z > 0 && !A[i - sz]) || (x < W - 1 && !A[i + sx]) ||
                             (y < H - 1 && !A[i + sy]) || (z < D - 1 && !A[i + sz]);
          if (empty) B[i] = 0;
        }
    A = B;
  }
  for (std::size_t i = 0; i < N; ++i)
    if (mask[i] == 0 && A[i] != 0) {
      mask[i] = A[i];
      changed[A[i]] = 1;
    }
  return changed;
}

void TCore::multiRegionClosing() {
  std::vector<unsigned char> chosen;
  if (!t_pickManyIds("Closing 対象領域の選択 ", chosen) || chosen.size() < 256) return;
  chosen[0] = 0;
  bool any = false;
  for (unsigned char c : chosen) any = any || c;
  if (!any) return;
  TCoreWiring& w = wiring();
  int n = 2;
  if (!w.askInt || !w.askInt("Select closing size (pixel)", n)) return;
  if (refuseWhileBusy()) return;
  int W = 1, H = 1, D = 1;
  unsigned char* mask = w.maskVoxels ? w.maskVoxels(W, H, D) : nullptr;
  if (!mask) return;
  const std::vector<unsigned char> changed = closeRegions(mask, W, H, D, chosen, n);
  // The grown regions' surfaces follow their voxels (a saved mask stores them).
  if (w.maskVoxelsChanged) w.maskVoxelsChanged(changed);
}

// ---- camera files ---------------------------------------------------------------------------

namespace {

// Whitespace-separated words of a text file, read at most 16 MiB.
bool readWords(const char* path, std::vector<std::string>& words) {
  FILE* fp = path ? std::fopen(path, "rb") : nullptr;
  if (!fp) return false;
  std::string text;
  char buf[65536];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, fp)) > 0 && text.size() < (16u << 20)) text.append(buf, got);
  std::fclose(fp);
  std::string cur;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      if (!cur.empty()) words.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) words.push_back(cur);
  return true;
}

std::vector<std::string> splitWords(const std::string& text) {
  std::vector<std::string> words;
  std::string cur;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!cur.empty()) words.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) words.push_back(cur);
  return words;
}

// Reads the numbers of a file word by word; a word that is not a whole number stops the reading
// (the remaining values keep their defaults).
class TWordReader {
 public:
  explicit TWordReader(const std::vector<std::string>& w) : m_words(w) {}
  bool number(double& v) {
    if (m_stopped || m_pos >= m_words.size()) return false;
    const std::string& t = m_words[m_pos];
    char* end = nullptr;
    const double d = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0') {
      m_stopped = true;
      return false;
    }
    ++m_pos;
    if (!std::isfinite(d)) m_nonFinite = true;
    v = d;
    return true;
  }
  bool word(std::string& out) {
    if (m_stopped || m_pos >= m_words.size()) return false;
    out = m_words[m_pos++];
    return true;
  }
  bool nonFinite() const { return m_nonFinite; }

 private:
  const std::vector<std::string>& m_words;
  std::size_t m_pos = 0;
  bool m_stopped = false;
  bool m_nonFinite = false;
};

void readTriple(TWordReader& r, double v[3]) {
  for (int i = 0; i < 3; ++i) r.number(v[i]);
}

// Makes the up vector orthogonal to the view and of unit length; false with a reason when the
// eye lies at the centre or the up vector lies along the view.
bool orthonormalise(TCameraPose& pose, std::string& why) {
  double d[3];
  double len = 0;
  for (int i = 0; i < 3; ++i) {
    d[i] = pose.center[i] - pose.eye[i];
    len += d[i] * d[i];
  }
  len = std::sqrt(len);
  if (!(len > 1e-12)) {
    why = "the eye lies at the centre of view";
    return false;
  }
  for (double& c : d) c /= len;
  double upLen0 = 0, dot = 0;
  for (int i = 0; i < 3; ++i) {
    upLen0 += pose.up[i] * pose.up[i];
    dot += pose.up[i] * d[i];
  }
  upLen0 = std::sqrt(upLen0);
  double up[3], upLen = 0;
  for (int i = 0; i < 3; ++i) {
    up[i] = pose.up[i] - d[i] * dot;
    upLen += up[i] * up[i];
  }
  upLen = std::sqrt(upLen);
  if (!(upLen > 1e-9 * std::max(upLen0, 1e-300)) || !(upLen0 > 0)) {
    why = "the up vector lies along the view direction";
    return false;
  }
  double rest = 0;
  for (int i = 0; i < 3; ++i) {
    pose.up[i] = up[i] / upLen;
    rest += d[i] * pose.up[i];
  }
  std::fprintf(stderr, "aaaa  %f  \n", rest);
  return true;
}

bool readCamera(TWordReader& r, TCameraPose& pose, std::string& why) {
  pose = TCameraPose();
  for (double& v : pose.up) v = 0;
  readTriple(r, pose.eye);
  readTriple(r, pose.center);
  readTriple(r, pose.up);
  if (r.nonFinite()) {
    why = "a camera value is not a finite number";
    return false;
  }
  return orthonormalise(pose, why);
}

std::string fmt(const char* format, double a, double b, double c) {
  char buf[256];
  std::snprintf(buf, sizeof buf, format, a, b, c);
  return buf;
}

int clampSlider(long v) { return v < 0 ? 0 : v > 100 ? 100 : int(v); }

void refuseCameraFile(const char* path, const std::string& why) {
  t_warn(std::string("The camera file cannot be used: ") + why + ".\n" + (path ? path : ""));
}

bool writeText(const char* path, const std::string& text) {
  FILE* fp = path ? std::fopen(path, "w") : nullptr;
  if (!fp) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), fp) == text.size();
  return std::fclose(fp) == 0 && ok;
}

}  // namespace

int TCore::sliceCountOfSlider(int position) { return 100 + 19 * position; }

int TCore::sliderOfSliceCount(double count) {
  if (!std::isfinite(count)) return 0;
  return clampSlider(std::lround((count - 100.0) / 1900.0 * 100.0));
}

std::string TCore::cameraText(const TCameraPose& p) {
  return fmt("%f %f %f\n", p.eye[0], p.eye[1], p.eye[2]) +
         fmt("%f %f %f\n", p.center[0], p.center[1], p.center[2]) +
         fmt("%f %f %f\n", p.up[0], p.up[1], p.up[2]);
}

std::string TCore::visSetupText(int mode, const TVisSetup& s) {
  std::string t = cameraText(s.camera);
  char buf[512];
  std::snprintf(buf, sizeof buf, "sliceNum    %d\n", sliceCountOfSlider(s.sliceNumSlider));
  t += buf;
  const double g = s.transparencySlider * 0.01;
  std::snprintf(buf, sizeof buf, "globalTrans %f\n", g * g * g);
  t += buf;
  std::snprintf(buf, sizeof buf, "backColor   %f\n", s.backColor);
  t += buf;
  t += fmt("pitch       %f %f %f\n", s.pitch[0], s.pitch[1], s.pitch[2]);
  std::snprintf(buf, sizeof buf, "winLv %f %f %f %f %f %f\n", s.winMin[0], s.winMin[1], s.winMin[2],
                s.winMax[0], s.winMax[1], s.winMax[2]);
  t += buf;
  if (mode == 0 || mode == 1) {
    std::snprintf(buf, sizeof buf, mode == 0 ? "KS_VIS_I %d \n" : "KS_VIS_IG %d \n", 256);
    t += buf;
    for (int i = 0; i < 256; ++i) {
      const std::array<int, 3> e = i < int(s.entries1D.size()) ? s.entries1D[i] : std::array<int, 3>{0, 0, 0};
      if (mode == 0)
        std::snprintf(buf, sizeof buf, "%d %d %d\n", e[0], e[1], e[2]);
      else
        std::snprintf(buf, sizeof buf, "%d %d\n", e[0], e[1]);
      t += buf;
    }
  } else if (mode == 2) {
    std::snprintf(buf, sizeof buf, "KS_VIS_IG2D %d \n", int(s.points2D.size()));
    t += buf;
    for (const auto& p : s.points2D) t += fmt("%f %f %f\n", p[0], p[1], p[2]);
  }
  return t;
}

bool TCore::parseCamera(const std::string& text, TCameraPose& pose, std::string& why) {
  const std::vector<std::string> words = splitWords(text);
  TWordReader r(words);
  return readCamera(r, pose, why);
}

bool TCore::parseVisSetup(const std::string& text, TVisSetup& s, std::string& why) {
  const std::vector<std::string> words = splitWords(text);
  TWordReader r(words);
  s = TVisSetup();
  if (!readCamera(r, s.camera, why)) return false;
  std::string label;
  double sliceNum = 100, globalTrans = 0, back = 0;
  double pitch[3] = {1, 1, 1}, win[6] = {0, 0, 0, 0, 0, 0};
  r.word(label);
  r.number(sliceNum);
  r.word(label);
  r.number(globalTrans);
  r.word(label);
  r.number(back);
  r.word(label);
  readTriple(r, pitch);
  r.word(label);
  for (double& v : win) r.number(v);
  if (r.nonFinite()) {
    why = "a value is not a finite number";
    return false;
  }
  for (double p : pitch)
    if (!(p > 0)) {
      why = "the voxel pitch must be positive";
      return false;
    }
  s.sliceNumSlider = sliderOfSliceCount(sliceNum);
  s.transparencySlider = clampSlider(std::lround(std::cbrt(std::max(0.0, globalTrans)) * 100.0));
  s.backColor = std::min(1.0, std::max(0.0, back));
  for (int i = 0; i < 3; ++i) {
    s.pitch[i] = pitch[i];
    s.winMin[i] = win[i];
    s.winMax[i] = win[3 + i];
  }
  std::string key;
  double count = 0;
  if (!r.word(key) || !r.number(count) || !(count >= 0)) return true;  // no block: the rest stays
  const long n = count > 1e9 ? 1000000000L : long(count);
  if (key == "KS_VIS_I" || key == "KS_VIS_IG") {
    const int per = key == "KS_VIS_I" ? 3 : 2;
    s.block = key == "KS_VIS_I" ? 0 : 1;
    // Only the lines present are read, at most the table's 256 entries.
    for (long i = 0; i < n && i < 256; ++i) {
      std::array<int, 3> e{0, 0, 0};
      double v;
      bool whole = true;
      for (int k = 0; k < per; ++k) {
        if (!r.number(v)) {
          whole = false;
          break;
        }
        if (!std::isfinite(v)) {
          why = "a transfer-function value is not a finite number";
          return false;
        }
        e[k] = int(static_cast<long long>(std::fmod(v, 4294967296.0)) & 0xff);
      }
      if (!whole) break;
      s.entries1D.push_back(e);
    }
  } else if (key == "KS_VIS_IG2D") {
    s.block = 2;
    for (long i = 0; i < n; ++i) {
      std::array<double, 3> p{0, 0, 0};
      if (!r.number(p[0]) || !r.number(p[1]) || !r.number(p[2])) break;
      if (s.points2D.size() == std::size_t(TVisSetup::kMaxPoints2D)) {
        why = "the 2-D transfer function has more than " + std::to_string(TVisSetup::kMaxPoints2D) +
              " points";
        return false;
      }
      s.points2D.push_back(p);
    }
  }
  if (r.nonFinite()) {
    why = "a transfer-function value is not a finite number";
    return false;
  }
  return true;
}

bool TCore::saveCamera(const char* path) {
  TCoreWiring& w = wiring();
  TCameraPose pose;
  if (!w.getCamera || !w.getCamera(pose)) return false;
  return writeText(path, cameraText(pose));
}

bool TCore::loadCamera(const char* path) {
  std::vector<std::string> words;
  if (!readWords(path, words)) return false;
  TWordReader r(words);
  TCameraPose pose;
  std::string why;
  if (!readCamera(r, pose, why)) {
    refuseCameraFile(path, why);
    return false;
  }
  if (wiring().setCamera) wiring().setCamera(pose);
  return true;
}

bool TCore::saveCameraTransFunc(const char* path) {
  if (modeId < 0 || modeId > 2) return false;
  TCoreWiring& w = wiring();
  TVisSetup s;
  if (w.getCamera) w.getCamera(s.camera);
  if (w.getVisSetup) w.getVisSetup(modeId, s);
  return writeText(path, visSetupText(modeId, s));
}

bool TCore::loadCameraTransFunc(const char* path) {
  std::vector<std::string> words;
  if (!readWords(path, words)) return false;
  std::string text;
  for (const std::string& wd : words) text += wd + "\n";
  TVisSetup s;
  std::string why;
  if (!parseVisSetup(text, s, why)) {
    refuseCameraFile(path, why);
    return false;
  }
  // The file always sets the pitch and the window levels; a block also switches the mode (which
  // ends a mode holding geometry-derived state, so then only a worker refuses).
  if (refuseWhileBusy(s.block >= 0 ? Change::Data : Change::Geometry)) return false;
  if (s.block >= 0) setMode(s.block);
  TCoreWiring& w = wiring();
  if (w.applyVisSetup) w.applyVisSetup(s);
  if (w.setCamera) w.setCamera(s.camera);
  return true;
}

void TCore::refuseVolumeName(const std::string& path) {
  // The endings the command line takes, as the table of file kinds lists them.
  std::string endings;
  for (const char* e : {".tif", ".TIF", ".sph", ".SPH", "muxa", "MUXA"})
    if (fileTypeOfName(std::string("x") + e) != 0) endings += std::string(endings.empty() ? "" : ", ") + e;
  std::fprintf(stderr, "not a volume name: %s\n", path.c_str());
  t_warn("The volume was not opened:\n" + path +
         "\nA volume named on the command line must end in " + endings +
         " (letter case as written).  The placeholder volume is shown instead.");
}

void TCore::initApplication(int argc, const char* const* argv) {
  TCoreWiring& w = wiring();
  zFlipped = false;
  pluginMode = false;

  double pitch[3] = {1.0, 1.0, 1.0};
  double minValues[3] = {0, 0, 0};
  double maxValues[3] = {0, 0, 0};

  std::fprintf(stderr, "init application argument Num= %d\n", argc);

  int fileType = 0;
  if (argc < 2) {
    if (w.loadVolume) w.loadVolume({}, 0, pitch, minValues, maxValues);
    if (w.resetMaskForVolume) w.resetMaskForVolume();
  } else {
    const std::string path = argv[1] ? argv[1] : "";
    const int named = fileTypeOfName(path);
    fileType = loadOneVolume(w, path, named, pitch, minValues, maxValues);
    // A name of no volume kind ("a.Tif") reads nothing: the placeholder stands in, and the user
    // is told why.  (A file that was read and refused has been told by its reader.)
    if (named == 0) refuseVolumeName(path);
  }

  if (argc > 4) {
    // The host's pitch replaces the file's; an argument that is not a positive number keeps the
    // file's value for that axis rather than giving the volume a zero or negative extent.
    for (int i = 0; i < 3; ++i) {
      double v;
      if (parsePitch(argv[2 + i], v))
        pitch[i] = v;
      else
        std::fprintf(stderr, "pitch argument \"%s\" is not a positive number: %.6f kept\n",
                     argv[2 + i] ? argv[2 + i] : "", pitch[i]);
    }
  }

  if (argc > 5) {
    pluginMode = true;
    pluginOutPath = argv[5] ? argv[5] : "";
  }

  initAfterLoad(pitch, minValues, maxValues, fileType);
  if (w.graphCutResetForNewVolume) w.graphCutResetForNewVolume();
  // Told once the window shows the volume as it will be worked on (its camera, panes and panels).
  if (pluginMode) t_info("Kestrin runs as MUXA plug-in.\n Kestrinを終了すると領域分割結果が自動的にMUXAへ渡されます.");
}

bool TCore::finishPlugin() {
  if (!pluginMode) return true;
  TCoreWiring& w = wiring();
  // The host gets the stack in file order whatever the display shows.  A failed write is told
  // in one message, with the writer's reasons in it.
  std::vector<std::string> reasons;
  bool ok = false;
  {
    TPromptCollector collect;
    if (zFlipped && w.flipZVolume) w.flipZVolume();
    ok = w.exportMaskTif && w.exportMaskTif(pluginOutPath);
    if (zFlipped && w.flipZVolume) w.flipZVolume();
    reasons = std::move(collect.texts);
  }
  if (!ok) {
    std::fprintf(stderr, "failed to write the plug-in result %s\n", pluginOutPath.c_str());
    std::string text = "The segmentation result could not be written for MUXA:\n" + pluginOutPath;
    for (const std::string& r : reasons) text += "\n\n" + r;
    t_warn(text);
  } else {
    for (const std::string& r : reasons) t_warn(r);
  }
  return ok;
}

void TCore::releaseZFlipTemporarily() {
  if (!zFlipped) return;
  t_info("一時的にz軸フリップを解除します");
  zFlipped = false;
  TCoreWiring& w = wiring();
  if (w.flipZVolume) w.flipZVolume();
  if (w.flipZMaskSurfaces) w.flipZMaskSurfaces();
}

void TCore::stopAllWorkers() {
  for (TModeState* m : TModeRegistry::getInst().allModes()) m->stopWorkers();
}
