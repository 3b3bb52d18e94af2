// Registration points of the services the modes use (view host, region data, id chooser).
#include <atomic>

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"

namespace {
std::atomic<TModeViewHost*> g_viewHost{nullptr};
std::atomic<TModeRegionData*> g_regionData{nullptr};
std::atomic<TMaskIdChooser*> g_chooser{nullptr};
}  // namespace

void t_setModeViewHost(TModeViewHost* host) { g_viewHost = host; }
TModeViewHost* t_modeViewHost() { return g_viewHost.load(); }

void t_setModeRegionData(TModeRegionData* data) { g_regionData = data; }
TModeRegionData* t_modeRegionData() { return g_regionData.load(); }

void t_setMaskIdChooser(TMaskIdChooser* chooser) { g_chooser = chooser; }
TMaskIdChooser* t_maskIdChooser() { return g_chooser.load(); }

bool t_pickManyIds(const std::string& title, std::vector<unsigned char>& selection) {
  TMaskIdChooser* c = g_chooser.load();
  return c && c->pickMany(title, selection);
}

bool t_pickOneId(const std::string& title, int& id) {
  TMaskIdChooser* c = g_chooser.load();
  return c && c->pickOne(title, id);
}

void t_fillFlags(std::uint8_t value) {
  TModeRegionData* d = g_regionData.load();
  if (!d) return;
  const long long n = static_cast<long long>(d->maskVoxelCount());
  std::uint8_t* flag = d->flagVoxels();
  if (flag) {
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) flag[i] = value;
  }
  d->dropFlagTexture();
}

void t_flagsFromMaskId(int id, std::uint8_t inside, std::uint8_t outside) {
  TModeRegionData* d = g_regionData.load();
  if (!d) return;
  const long long n = static_cast<long long>(d->maskVoxelCount());
  std::uint8_t* flag = d->flagVoxels();
  const std::uint8_t* mask = d->maskVoxels();
  if (flag && mask) {
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) flag[i] = mask[i] == id ? inside : outside;
  }
  d->dropFlagTexture();
}
