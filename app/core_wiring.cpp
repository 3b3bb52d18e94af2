// The real program's wiring of TCore to the volume holder, the mask-ID table and the panels.
// Tests install their own wiring instead.
#include <vector>

#include "app/core_wiring.h"

#include "app/CMainFrame.h"
#include "app/region_export.h"
#include "core/ModeViewHost.h"
#include "ui/TDlgIntSelect.h"
#include "ui/TDlgMarchingCubesParam.h"
#include "ui/panel_window.h"
#include "core/TCore.h"
#include "app/TDlgWinLv.h"
#include "core/TModeState.h"
#include "platform/GLContextHost.h"
#include "platform/qt/modal_dialog.h"

#include "volume/TextureManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/io/exports.h"
#include "volume/io/load.h"
#include "volume/io/muxa_save.h"
#include "modes/region/StateSegGCut.h"
#include "view/CKestrinView.h"
#include "view/TDlgVisParam.h"
#include "view/VolRendManager.h"
#include "view/redraw.h"

#include <QSignalBlocker>
#include <QSlider>

namespace {

// The region table that a combined ".muxa" file carried, from its load to the mask table.
std::vector<unsigned char>& combinedFileTable() {
  static std::vector<unsigned char> t;
  return t;
}

}  // namespace

TCoreWiring t_defaultCoreWiring() {
  TCoreWiring w;
  w.channelCount = [] { return TextureManager::getInst().channelCount; };
  w.flipZVolume = [] { TextureManager::getInst().flipZ(); };
  w.resetTransferFunctions = [] {
    TextureManager& tm = TextureManager::getInst();
    TGLContextHost* ctx = t_mainGLContext();
    tm.tfI.initRamp(ctx);
    tm.tfIG.initRamp(ctx);
    tm.tf2D.init(ctx);
  };
  w.loadVolume = [](const std::vector<std::string>& files, int fileType, double pitch[3],
                    double minValues[3], double maxValues[3]) {
    int type = fileType;
    combinedFileTable().clear();
    return t_loadVolume(TextureManager::getInst(), files, type, pitch, minValues, maxValues,
                        combinedFileTable());
  };
  w.exportMaskTif = [](const std::string& path) { return t_exportMaskTif(TextureManager::getInst(), path); };
  w.resetMaskForVolume = [] { TMaskIdTable::getInst().resetForVolume(); };
  w.loadMaskFile = [](const std::string& path) { return TMaskIdTable::getInst().loadKsmask2(path.c_str()); };
  w.loadOldMaskFile = [](const std::string& path) {
    return TMaskIdTable::getInst().loadKsmaskOld(path.c_str());
  };
  w.setMaskFromCombinedFile = [] {
    TMaskIdTable::getInst().setFromCombinedFile(combinedFileTable(), TextureManager::getInst().volMask);
  };
  w.flipZMaskSurfaces = [] { TMaskIdTable::getInst().flipZ(); };
  w.visParamAfterLoad = [](const double pitch[3]) {
    TDlgVisParam& p = TDlgVisParam::getInst();
    p.initControls();
    p.setPitch(pitch);
    p.updateTransFuncImage();
  };
  w.winLvSetChannels = [](int n, const double mn[3], const double mx[3]) {
    TDlgWinLv::getInst().setChannels(n, mn, mx);
  };
  w.graphCutResetForNewVolume = [] { t_buildStateSegGCut()->resetForNewVolume(); };
  w.placeModeDialogs = [] {
    if (g_mainFrame) g_mainFrame->placeModeDialogs();
  };
  w.modeSwitching = [](bool switching) { t_holdPanelLayout(switching); };
  w.holdViewFrames = [](bool held) { CKestrinView::holdResizeFrames(held); };
  w.modeChanged = [] {
    if (g_mainFrame) g_mainFrame->updateCommandStates();
  };
  w.loadChannel = [](int channel, const std::vector<std::string>& files, int type, double* mn, double* mx) {
    return t_loadChannel(TextureManager::getInst(), channel, files, type, mn, mx);
  };
  w.winLvSetRange = [](int channel, double mn, double mx) { TDlgWinLv::getInst().setRange(channel, mn, mx); };
  w.saveMaskFile = [](const std::string& path) { return TMaskIdTable::getInst().saveKsmask2(path.c_str()); };
  w.exportVolumeTif = [](const std::string& path) { return t_exportVolumeTif(TextureManager::getInst(), path); };
  w.exportVolumeTifChannels = [](const std::string& path) {
    return t_exportVolumeTifChannels(TextureManager::getInst(), path);
  };
  w.exportSlicesBmp = [](const std::string& base) { return t_exportSlicesBmp(TextureManager::getInst(), base); };
  w.saveCombinedFile = [](const std::string& path) { return t_saveMuxa(TextureManager::getInst(), path); };
  w.maskVoxels = [](int& W, int& H, int& D) -> unsigned char* {
    TextureManager& tm = TextureManager::getInst();
    tm.getSize(W, H, D);
    TOGL3DImage& m = tm.volMask;
    if (!m.data || m.W != W || m.H != H || m.D != D) return nullptr;
    return m.data;
  };
  w.maskVoxelsChanged = [](const std::vector<unsigned char>& changed) {
    TMaskIdTable& t = TMaskIdTable::getInst();
    TextureManager::getInst().volMask.unbind(t_mainGLContext());
    for (int id = 1; id < 256 && id < int(changed.size()); ++id)
      if (changed[id]) t.updateSurface(uint32_t(id), 1, 3, 3);
    t_redrawAll();
  };
  w.askInt = [](const std::string& label, int& value) {
    TDlgIntSelect dlg(label, value, g_mainFrame);
    if (t_execModal(dlg) != QDialog::Accepted) return false;
    value = dlg.value();
    return true;
  };
  w.askSurfaceParams = [](int& step, int& umbrella, int& lm) {
    TDlgMarchingCubesParam dlg(step, g_mainFrame);
    if (t_execModal(dlg) != QDialog::Accepted) return false;
    step = dlg.samplingResolution;
    umbrella = dlg.smoothingCount;
    lm = dlg.preserveSmoothingCount;
    return true;
  };
  w.writeRegionSurface = [](int format, int id, int step, int umbrella, int lm, const std::string& path,
                            const std::string& unitPath, bool& wrote, bool& wroteUnit) {
    // The pitch of the rendering panel (typed there or given on the command line).
    double pitch[3] = {1, 1, 1};
    if (TDlgVisParam::exists()) TDlgVisParam::getInst().getPitch(pitch);
    t_writeRegionSurface(format, id, step, umbrella, lm, pitch, path, unitPath, wrote, wroteUnit);
  };
  w.getCamera = [](TCameraPose& pose) {
    CKestrinView* v = CKestrinView::s_theView;
    if (!v) return false;
    for (int i = 0; i < 3; ++i) {
      pose.eye[i] = v->togl.eye[i];
      pose.center[i] = v->togl.center[i];
      pose.up[i] = v->togl.up[i];
    }
    return true;
  };
  w.setCamera = [](const TCameraPose& pose) {
    CKestrinView* v = CKestrinView::s_theView;
    if (!v) return;
    for (int i = 0; i < 3; ++i) {
      v->togl.eye[i] = pose.eye[i];
      v->togl.center[i] = pose.center[i];
      v->togl.up[i] = pose.up[i];
    }
    v->requestRedraw();
  };
  w.getVisSetup = [](int mode, TVisSetup& s) {
    if (TDlgVisParam::exists()) {
      TDlgVisParam& p = TDlgVisParam::getInst();
      s.sliceNumSlider = p.sliceNumPos();
      s.transparencySlider = p.transparencyPos();
      p.getPitch(s.pitch);
    }
    if (CKestrinView* v = CKestrinView::s_theView) s.backColor = v->togl.clearColor[0];
    if (TDlgWinLv::exists()) {
      TDlgWinLv::getInst().getMinValues(s.winMin);
      TDlgWinLv::getInst().getMaxValues(s.winMax);
    }
    TextureManager& tm = TextureManager::getInst();
    if (mode == 0 || mode == 1) {
      const TransFunc_1D& tf = mode == 0 ? tm.tfI : tm.tfIG;
      s.entries1D.clear();
      for (int i = 0; i < 256; ++i) {
        const uint8_t* e = tf.data ? tf.data + 4 * i : nullptr;
        s.entries1D.push_back({e ? e[0] : 0, e ? e[1] : 0, e ? e[2] : 0});
      }
    } else if (mode == 2) {
      for (const TTransFuncPoint& p : tm.tf2D.copyPoints()) s.points2D.push_back({p.x, p.y, p.r});
    }
  };
  w.applyVisSetup = [](const TVisSetup& s) {
    TextureManager& tm = TextureManager::getInst();
    TGLContextHost* ctx = t_mainGLContext();
    if (TDlgVisParam::exists()) {
      TDlgVisParam& p = TDlgVisParam::getInst();
      for (auto pair : {std::make_pair(p.sliceNumSlider(), s.sliceNumSlider),
                        std::make_pair(p.transparencySlider(), s.transparencySlider),
                        std::make_pair(p.backColorSlider(), int(s.backColor * 100.0 + 0.5))}) {
        const QSignalBlocker block(pair.first);
        pair.first->setValue(pair.second);
      }
      p.setPitch(s.pitch);
      p.setPlaneChecks(false, false, false);
    }
    if (CKestrinView* v = CKestrinView::s_theView)
      for (float& c : v->togl.clearColor) c = float(s.backColor);
    VolRendManager::getInst().setVolumeExtent(s.pitch, tm.getW(), tm.getH(), tm.getD());
    if (s.block == 0 || s.block == 1) {
      TransFunc_1D& tf = s.block == 0 ? tm.tfI : tm.tfIG;
      tf.initRamp(ctx);
      const int per = s.block == 0 ? 3 : 2;
      for (std::size_t i = 0; i < s.entries1D.size() && i < 256 && tf.data; ++i)
        for (int k = 0; k < per; ++k) tf.data[4 * i + k] = uint8_t(s.entries1D[i][k] & 0xff);
      tf.unbind(ctx);
    } else if (s.block == 2) {
      std::vector<TTransFuncPoint> pts;
      for (const auto& q : s.points2D) pts.push_back(TTransFuncPoint{q[0], q[1], q[2]});
      tm.tf2D.setPoints(pts, ctx);
      tm.tf2D.unbind(ctx);
    }
    if (TDlgWinLv::exists()) {
      TDlgWinLv& wl = TDlgWinLv::getInst();
      for (int k = 0; k < 3; ++k) wl.setValues(k + 1, s.winMin[k], s.winMax[k]);
      wl.applyWindowLevel();
    }
    if (TDlgVisParam::exists()) {
      TDlgVisParam::getInst().updateTransFuncImage();
      TDlgVisParam::getInst().repaint();
    }
  };
  w.redrawAll = [] { t_redrawAll(); };
  return w;
}
