#include "modes/region/kernels/region_tools.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "modes/region/kernels/TQueue.h"
#include "modes/region/kernels/rgrow_parallel.h"

namespace {

bool validSizes(const uint8_t* p, int W, int H, int D) {
  return p && W > 0 && H > 0 && D > 0 && static_cast<long long>(W) * H * D <= INT32_MAX;
}

// A 0/255 copy of the extracted voxels, or null when memory is short.
std::unique_ptr<uint8_t[]> extractedMask(const uint8_t* flags, long long n) {
  std::unique_ptr<uint8_t[]> mask(new (std::nothrow) uint8_t[n]);
  if (!mask) return mask;
  uint8_t* m = mask.get();
  t_rgrowParallelFor(n, kRgrowParallelMin, [&](long long i0, long long i1) {
    for (long long i = i0; i < i1; ++i) m[i] = flags[i] == 255 ? 255 : 0;
  });
  return mask;
}

void writeBack(uint8_t* flags, const uint8_t* mask, long long n) {
  t_rgrowParallelFor(n, kRgrowParallelMin, [&](long long i0, long long i1) {
    for (long long i = i0; i < i1; ++i)
      if (flags[i]) flags[i] = mask[i] == 255 ? 255 : 1;
  });
}

// The starting capacity of the border flood's queue: a sixteenth of the volume, but at least the
// border: every border voxel may be queued at once (all of them in a volume one or two voxels
// thick), and growing by the step of 1000 copies the whole queue each time.
int borderQueueCapacity(int W, int H, int D) {
  const long long n = static_cast<long long>(W) * H * D;
  const long long inner = static_cast<long long>(std::max(W - 2, 0)) * std::max(H - 2, 0) * std::max(D - 2, 0);
  const long long capacity = std::max({n / 16, n - inner + 1, 100LL});
  return static_cast<int>(std::min<long long>(capacity, INT32_MAX));
}

}  // namespace

size_t t_fillHoleScratchBytes(int W, int H, int D) {
  if (W <= 0 || H <= 0 || D <= 0) return 0;
  return t_morphologyScratchBytes(W, H, D) + sizeof(TQueueVoxel) * static_cast<size_t>(borderQueueCapacity(W, H, D));
}

size_t t_morphologyScratchBytes(int W, int H, int D) {
  return W > 0 && H > 0 && D > 0 ? static_cast<size_t>(W) * H * D : 0;
}

bool t_floodFillFromBorder(int W, int H, int D, uint8_t* bytes, const TRgrowProgress& progress) {
  if (!validSizes(bytes, W, H, D)) return false;
  const long long n = static_cast<long long>(W) * H * D;
  const int plane = W * H;
  try {
    TQueue<TQueueVoxel> queue(1000, borderQueueCapacity(W, H, D));
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const bool border = x == 0 || x == W - 1 || y == 0 || y == H - 1 || z == 0 || z == D - 1;
          if (!border) {
            x = W - 2;  // jump to the last voxel of the row
            continue;
          }
          const int i = x + W * y + plane * z;
          if (bytes[i] != 0) continue;
          bytes[i] = 2;
          queue.push(TQueueVoxel(x, y, z, i));
        }
    long long popped = 0;
    while (!queue.isEmpty()) {
      const TQueueVoxel v = queue.pop();
      auto visit = [&](int x, int y, int z, int i) {
        if (bytes[i] != 0) return;
        bytes[i] = 2;
        queue.push(TQueueVoxel(x, y, z, i));
      };
      if (v.x > 0) visit(v.x - 1, v.y, v.z, v.idx - 1);
      if (v.x < W - 1) visit(v.x + 1, v.y, v.z, v.idx + 1);
      if (v.y > 0) visit(v.x, v.y - 1, v.z, v.idx - W);
      if (v.y < H - 1) visit(v.x, v.y + 1, v.z, v.idx + W);
      if (v.z > 0) visit(v.x, v.y, v.z - 1, v.idx - plane);
      if (v.z < D - 1) visit(v.x, v.y, v.z + 1, v.idx + plane);
      if ((++popped & ((1 << 22) - 1)) == 0) t_rgrowReport(progress, static_cast<double>(popped) / n);
    }
  } catch (const std::bad_alloc&) {
    for (long long i = 0; i < n; ++i)
      if (bytes[i] == 2) bytes[i] = 0;
    return false;
  }
  t_rgrowParallelFor(n, kRgrowParallelMin, [&](long long i0, long long i1) {
    for (long long i = i0; i < i1; ++i) bytes[i] = bytes[i] == 2 ? 0 : 255;
  });
  return true;
}

TRgrowStatus t_fillHoleFlags(uint8_t* flags, int W, int H, int D, const TRgrowProgress& progress) {
  if (!validSizes(flags, W, H, D)) return TRgrowStatus::BadInput;
  const long long n = static_cast<long long>(W) * H * D;
  std::unique_ptr<uint8_t[]> mask = extractedMask(flags, n);
  if (!mask || !t_floodFillFromBorder(W, H, D, mask.get(), progress)) return TRgrowStatus::OutOfMemory;
  writeBack(flags, mask.get(), n);
  return TRgrowStatus::Ok;
}

namespace {

// Writes back rule(mask, i, x, y, z) (extracted or not) for every voxel of non-zero flag, from a
// mask of the extracted voxels taken first.
template <class Rule>
TRgrowStatus morphology(uint8_t* flags, int W, int H, int D, Rule rule) {
  if (!validSizes(flags, W, H, D)) return TRgrowStatus::BadInput;
  const long long n = static_cast<long long>(W) * H * D;
  std::unique_ptr<uint8_t[]> mask = extractedMask(flags, n);
  if (!mask) return TRgrowStatus::OutOfMemory;
  const uint8_t* m = mask.get();
  const size_t plane = static_cast<size_t>(W) * H;
  const long long rows = static_cast<long long>(H) * D;
  t_rgrowParallelFor(rows, kRgrowParallelMin / W, [&](long long r0, long long r1) {
    for (long long r = r0; r < r1; ++r) {
      const int y = static_cast<int>(r % H), z = static_cast<int>(r / H);
      const size_t row = plane * z + static_cast<size_t>(W) * y;
      for (int x = 0; x < W; ++x) {
        const size_t i = row + x;
        if (flags[i] != 0) flags[i] = rule(m, i, x, y, z) ? 255 : 1;
      }
    }
  });
  return TRgrowStatus::Ok;
}

}  // namespace

TRgrowStatus t_erodeFlags(uint8_t* flags, int W, int H, int D) {
  const size_t plane = static_cast<size_t>(W) * H;
  return morphology(flags, W, H, D, [=](const uint8_t* m, size_t i, int x, int y, int z) {
    if (!m[i] || x == 0 || y == 0 || z == 0 || x == W - 1 || y == H - 1 || z == D - 1) return false;
    return m[i - 1] && m[i + 1] && m[i - W] && m[i + W] && m[i - plane] && m[i + plane];
  });
}

TRgrowStatus t_dilateFlags(uint8_t* flags, int W, int H, int D) {
  const size_t plane = static_cast<size_t>(W) * H;
  return morphology(flags, W, H, D, [=](const uint8_t* m, size_t i, int x, int y, int z) {
    return m[i] || (x > 0 && m[i - 1]) || (x < W - 1 && m[i + 1]) || (y > 0 && m[i - W]) ||
           (y < H - 1 && m[i + W]) || (z > 0 && m[i - plane]) || (z < D - 1 && m[i + plane]);
  });
}
