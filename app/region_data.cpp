#include "app/region_data.h"

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
};

TAppRegionData g_appRegionData;

}  // namespace

void t_installAppRegionData() {
  t_setModeRegionData(&g_appRegionData);
}

void t_uninstallAppRegionData() { t_setModeRegionData(nullptr); }
