// The region computation as a background worker runs it: its own copy of the order, a stop flag
// raised from another thread, and a factor cache that stays usable whatever the stop cut short.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "contour_shapes.h"
#include "implicit/hrbf_engine.h"

namespace {

constexpr int kN = 40;
const double kExtent[3] = {40, 40, 40};

THrbfRegionOrder makeOrder(const std::vector<float>& vol) {
  const shapes::Ellipsoid E{{20, 20, 20}, {12, 10, 8}};
  std::vector<TCanvasContour> cs = shapes::crossSections(E, 6, 10, kExtent);
  for (auto& c : cs) c.calcSamples(kExtent, 1, kN, kN, kN, vol.data(), nullptr, nullptr, 3.0, 0.01, 1.0, 0.1);
  for (size_t i = 0; i < cs.size(); ++i)
    for (size_t j = i + 1; j < cs.size(); ++j) TCanvasContour::calcCrossPoints(int(i), cs[i], int(j), cs[j], 2.25);
  for (auto& c : cs) c.applyTiltAngles(1, 0.0, 0.1);
  THrbfRegionOrder o;
  std::vector<TCanvasContour> stored(cs.begin(), cs.end() - 1);
  t_gatherContourConstraints(1, stored, cs.back(), o.newPt, o.prePt, o.rowBlockEnd, o.samples);
  o.store = true;
  o.W = o.H = o.D = kN;
  for (int a = 0; a < 3; ++a) {
    o.extent[a] = kExtent[a];
    o.lo[a] = 2;
    o.hi[a] = kN - 3;
  }
  o.vol[0] = vol.data();
  o.weight = 0.01;
  o.target.assign(size_t(kN) * kN * kN, 1);
  return o;
}

}  // namespace

TEST(RegionWorker, StopFromAnotherThreadLeavesAUsableCache) {
  const std::vector<float> vol(size_t(kN) * kN * kN, 10.0f);
  const THrbfRegionOrder order = makeOrder(vol);

  THrbfFactorCache refCache;
  THrbfRegionResult ref;
  ASSERT_EQ(t_hrbfComputeRegion(order, refCache, ref), THrbfStatus::Ok);
  size_t inside = 0;
  for (uint8_t v : ref.label) inside += v == 255;
  ASSERT_GT(inside, 1000u);

  // Raised before the worker starts: nothing is computed, nothing half-built is cached.
  {
    THrbfFactorCache cache;
    std::atomic<bool> stop{true};
    THrbfStatus st = THrbfStatus::Ok;
    std::thread worker([&] {
      THrbfRegionOrder own = order;
      THrbfRegionResult r;
      st = t_hrbfComputeRegion(own, cache, r, &stop);
    });
    worker.join();
    EXPECT_EQ(st, THrbfStatus::Stopped);
    THrbfRegionResult again;
    ASSERT_EQ(t_hrbfComputeRegion(order, cache, again), THrbfStatus::Ok);
    EXPECT_EQ(again.label, ref.label);
  }
  // Raised at different moments while the worker runs: whatever it finished, a run after it
  // with the same cache gives the uninterrupted result.
  for (int delayUs : {0, 500, 5000}) {
    SCOPED_TRACE(delayUs);
    THrbfFactorCache cache;
    std::atomic<bool> stop{false};
    std::atomic<int> status{-1};
    std::thread worker([&] {
      THrbfRegionOrder own = order;
      THrbfRegionResult r;
      status.store(int(t_hrbfComputeRegion(own, cache, r, &stop)), std::memory_order_release);
    });
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    stop.store(true, std::memory_order_release);
    worker.join();
    const THrbfStatus st = THrbfStatus(status.load(std::memory_order_acquire));
    EXPECT_TRUE(st == THrbfStatus::Ok || st == THrbfStatus::Stopped);
    THrbfRegionResult again;
    ASSERT_EQ(t_hrbfComputeRegion(order, cache, again), THrbfStatus::Ok);
    EXPECT_EQ(again.label, ref.label);
  }
}
