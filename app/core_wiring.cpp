// The real program's wiring of TCore to the volume holder, the mask-ID table, the panels and the
// mode objects.  Tests install their own wiring instead.
#include <vector>

#include "app/CMainFrame.h"
#include "app/TCore.h"
#include "app/TDlgWinLv.h"
#include "app/TModeState.h"
#include "modes/contour/StateSegCMeshZel.h"
#include "modes/contour/StateSegContMesh.h"
#include "modes/curve/StateRefContours.h"
#include "modes/curve/StateSegCurveCyl.h"
#include "modes/region/StateSegFulManu.h"
#include "modes/region/StateSegGCut.h"
#include "modes/region/StateSegRGrow.h"
#include "modes/region/StateSegSRG.h"
#include "platform/GLContextHost.h"

#include "volume/TextureManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/io/exports.h"
#include "volume/io/load.h"
#include "view/TDlgVisOrgCrs.h"  // StateVisOrgCrs.h needs the complete panel type
#include "view/StateVisOrgCrs.h"
#include "view/StateVisStd.h"
#include "view/TDlgVisParam.h"

namespace {

TModeState* visStd() { return &StateVisStd::getInst(); }
TModeState* visOrgCrs() { return &StateVisOrgCrs::getInst(); }

// The region table that a combined ".muxa" file carried, from its load to the mask table.
std::vector<unsigned char>& combinedFileTable() {
  static std::vector<unsigned char> t;
  return t;
}

}  // namespace

TCoreWiring t_defaultCoreWiring() {
  TCoreWiring w;
  auto fulManu = []() -> TModeState* { return StateSegFulManu::getInst(); };
  auto rGrow = []() -> TModeState* { return StateSegRGrow::getInst(); };
  auto srg = []() -> TModeState* { return StateSegSRG::getInst(); };
  auto gCut = []() -> TModeState* { return t_buildStateSegGCut(); };
  auto curveCyl = []() -> TModeState* { return StateSegCurveCyl::getInst(); };
  auto contMesh = []() -> TModeState* { return StateSegContMesh::getInst(); };
  auto cMeshZel = []() -> TModeState* { return StateSegCMeshZel::getInst(); };
  auto refContours = []() -> TModeState* { return StateRefContours::getInst(); };

  for (int id = 0; id <= 3; ++id) w.modeOf[id] = visStd;
  w.modeOf[4] = visOrgCrs;
  w.modeOf[5] = fulManu;
  w.modeOf[6] = rGrow;
  w.modeOf[7] = srg;
  w.modeOf[8] = gCut;
  w.modeOf[9] = curveCyl;
  w.modeOf[10] = contMesh;
  w.modeOf[11] = cMeshZel;
  w.modeOf[12] = fulManu;
  w.modeOf[13] = refContours;
  w.panelOwners = {visStd, visOrgCrs, fulManu, rGrow, gCut, srg, curveCyl, contMesh, cMeshZel, refContours};

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
