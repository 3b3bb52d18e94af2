// The real program's wiring of TCore to the volume holder, the mask-ID table and the panels.
// Tests install their own wiring instead.
#include <vector>

#include "app/core_wiring.h"

#include "app/CMainFrame.h"
#include "core/TCore.h"
#include "app/TDlgWinLv.h"
#include "core/TModeState.h"
#include "platform/GLContextHost.h"

#include "volume/TextureManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/io/exports.h"
#include "volume/io/load.h"
#include "modes/region/StateSegGCut.h"
#include "view/TDlgVisParam.h"

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
  w.placeRenderingPanel = [](int x, int y) {
    // -1: the panel is not initialised yet, nothing is placed.
    if (!TDlgVisParam::exists()) return -1;
    TDlgVisParam& p = TDlgVisParam::getInst();
    if (!p.isCreated()) return -1;
    if (p.isVisible()) p.move(x, y);
    return p.frameGeometry().height();
  };
  w.winLvSetChannels = [](int n, const double mn[3], const double mx[3]) {
    TDlgWinLv::getInst().setChannels(n, mn, mx);
  };
  w.graphCutResetForNewVolume = [] { t_buildStateSegGCut()->resetForNewVolume(); };
  w.placeModeDialogs = [] {
    if (g_mainFrame) g_mainFrame->placeModeDialogs();
  };
  return w;
}
