#include "app/region_data.h"

#include "app/TDlgWinLv.h"

#include "core/ModeRegionData.h"
#include "platform/GLContextHost.h"

#include "volume/TextureManager.h"
#include "volume/TMaskIdTable.h"

namespace {

class TAppRegionData : public TModeRegionData {
 public:
  std::size_t maskVoxelCount() override {
    TextureManager& tm = TextureManager::getInst();
    if (!tm.volMask.data || !tm.volFlag.data) return 0;
    // Both volumes have the size of the loaded volume; take the smaller in case one lags.
    const std::size_t nm = std::size_t(tm.volMask.W) * tm.volMask.H * tm.volMask.D;
    const std::size_t nf = std::size_t(tm.volFlag.W) * tm.volFlag.H * tm.volFlag.D;
    return nm < nf ? nm : nf;
  }
  std::uint8_t* flagVoxels() override { return TextureManager::getInst().volFlag.data; }
  std::uint8_t* maskVoxels() override { return TextureManager::getInst().volMask.data; }
  void dropFlagTexture() override { TextureManager::getInst().volFlag.unbind(t_mainGLContext()); }
  void dropMaskTexture() override { TextureManager::getInst().volMask.unbind(t_mainGLContext()); }
  bool isIdUsed(int id) override {
    if (id < 0 || id > 255) return false;
    return TMaskIdTable::getInst().records[id].used != 0;
  }
  void commitRegion(int id) override {
    TMaskIdTable::getInst().activateRegion(static_cast<uint32_t>(id));
  }
  void rebuildRegionSurface(int id) override {
    TMaskIdTable::getInst().updateSurface(static_cast<uint32_t>(id), 1, 3, 3);
  }
  void releaseRegion(int id) override {
    if (id < 1 || id > 255) return;
    // The user's colour, opacity and display choice stay with the id; it only stops holding a
    // region.
    TMaskIdTable& t = TMaskIdTable::getInst();
    t.records[id].used = 0;
    t.records[id].surface.clear();
    t.updateColorTexture();
  }
  bool volumeValues(VolumeValues& out) override {
    TextureManager& tm = TextureManager::getInst();
    if (!tm.vol1.data || !tm.val1) return false;
    out = VolumeValues();
    tm.getSize(out.W, out.H, out.D);
    out.channels = tm.channelCount;
    for (int c = 0; c < 3; ++c) out.ch[c] = tm.channelValues(c);
    out.gradient = tm.valGrad;
    if (TDlgWinLv::exists()) {
      for (int c = 0; c < 3; ++c) {
        out.rangeLo[c] = TDlgWinLv::getInst().dataMin(c);
        out.rangeHi[c] = TDlgWinLv::getInst().dataMax(c);
      }
    }
    tm.getPitch(out.pitch);
    return true;
  }
};

TAppRegionData g_appRegionData;

}  // namespace

void t_installAppRegionData() {
  t_setModeRegionData(&g_appRegionData);
}

void t_uninstallAppRegionData() { t_setModeRegionData(nullptr); }
