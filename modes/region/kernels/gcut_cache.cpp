#include "modes/region/kernels/gcut_cache.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/Progress.h"

#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the cache file is written in the host's byte order, which must be little-endian"
#endif

namespace {

class File {
 public:
  File(const std::string& path, const char* mode) : m_f(std::fopen(path.c_str(), mode)) {}
  ~File() {
    if (m_f) std::fclose(m_f);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  FILE* get() const { return m_f; }
  bool close() {
    const bool ok = std::fclose(m_f) == 0;
    m_f = nullptr;
    return ok;
  }

 private:
  FILE* m_f;
};

// Reads n 4-byte fields, counting what has been consumed.
class Reader {
 public:
  Reader(FILE* f, std::int64_t size) : m_f(f), m_left(size) {}
  std::int64_t fieldsLeft() const { return m_left / 4; }
  std::int64_t bytesLeft() const { return m_left; }
  bool read(void* dst, std::int64_t n) {
    if (n < 0 || n > m_left / 4) return false;
    if (n && std::fread(dst, 4, static_cast<size_t>(n), m_f) != static_cast<size_t>(n)) return false;
    m_left -= 4 * n;
    return true;
  }
  bool u32(std::uint32_t& v) { return read(&v, 1); }

 private:
  FILE* m_f;
  std::int64_t m_left;
};

bool fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

}  // namespace

std::string t_precompFilePath(const std::string& volumePath) {
  return volumePath + ".ksgcutprecomp";
}

bool t_precompFileMatches(const std::string& path, int W, int H, int D) {
  File f(path, "rb");
  std::uint32_t n = 0;
  if (!f.get() || std::fread(&n, 4, 1, f.get()) != 1) return false;
  return std::int64_t(n) == std::int64_t(W) * H * D;
}

bool t_writePrecompFile(int W, int H, int D, const std::string& path, const std::vector<int>& labels,
                        const std::vector<TGCutRegion>& regions, const TGCutAdjacency& adjacency) {
  const std::int64_t N = std::int64_t(W) * H * D;
  if (N < 0 || N > INT32_MAX || static_cast<std::int64_t>(labels.size()) != N ||
      adjacency.size() != regions.size())
    return false;
  const std::string tmp = path + ".part";
  bool ok;
  {
    File f(tmp, "wb");
    if (!f.get()) return false;
    FILE* fp = f.get();
    auto put = [&](const void* p, size_t n) { return n == 0 || std::fwrite(p, 4, n, fp) == n; };
    const std::uint32_t n32 = static_cast<std::uint32_t>(N), R = static_cast<std::uint32_t>(regions.size());
    ok = put(&n32, 1) && put(labels.data(), labels.size()) && put(&R, 1);
    for (size_t r = 0; ok && r < regions.size(); ++r) {
      const TGCutRegion& reg = regions[r];
      const std::uint32_t K = static_cast<std::uint32_t>(reg.voxels.size());
      ok = put(reg.mean, 3) && put(reg.sum, 3) && put(&K, 1) && put(reg.voxels.data(), K);
    }
    for (size_t r = 0; ok && r < adjacency.size(); ++r) {
      const std::uint32_t M = static_cast<std::uint32_t>(adjacency[r].size());
      ok = put(&M, 1) && put(adjacency[r].data(), M);
    }
    ok = ok && std::fflush(fp) == 0;
    ok = f.close() && ok;
  }
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

bool t_readPrecompFile(int W, int H, int D, const std::string& path, std::vector<int>& labelsOut,
                       std::vector<TGCutRegion>& regionsOut, TGCutAdjacency& adjacencyOut,
                       std::string* why) {
  File f(path, "rb");
  if (!f.get()) return fail(why, "cannot open the file");
  if (fseeko(f.get(), 0, SEEK_END) != 0) return fail(why, "cannot seek");
  const std::int64_t size = ftello(f.get());
  if (size < 0 || fseeko(f.get(), 0, SEEK_SET) != 0) return fail(why, "cannot seek");
  if (size % 4 != 0) return fail(why, "length is not a whole number of fields");
  Reader in(f.get(), size);

  const std::int64_t expectN = std::int64_t(W) * H * D;
  std::uint32_t N = 0;
  if (!in.u32(N)) return fail(why, "truncated voxel count");
  if (std::int64_t(N) != expectN) return fail(why, "voxel count differs from the volume");
  // Smallest possible rest: N labels and R (regions need at least one voxel each unless empty).
  if (std::int64_t(N) + 1 > in.fieldsLeft()) return fail(why, "truncated labels");

  t_progressStart(5, 20);
  struct EndProgress {
    ~EndProgress() { t_progressEnd(); }
  } endProgress;

  std::vector<int> labels(N);
  if (!in.read(labels.data(), N)) return fail(why, "truncated labels");
  t_progressStep(60);

  std::uint32_t R = 0;
  if (!in.u32(R)) return fail(why, "truncated region count");
  // Each region takes at least 7 fields and its adjacency record at least 1.
  if (std::int64_t(R) * 8 > in.fieldsLeft()) return fail(why, "region count exceeds the file");
  for (std::uint32_t v = 0; v < N; ++v)
    if (labels[v] < 0 || static_cast<std::uint32_t>(labels[v]) >= R)
      return fail(why, "a voxel label is not a region");

  std::vector<TGCutRegion> regions(R);
  std::int64_t listed = 0;
  for (std::uint32_t r = 0; r < R; ++r) {
    TGCutRegion& reg = regions[r];
    std::uint32_t K = 0;
    if (!in.read(reg.mean, 3) || !in.read(reg.sum, 3) || !in.u32(K))
      return fail(why, "truncated region record");
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(reg.mean[c]) || !std::isfinite(reg.sum[c]))
        return fail(why, "a region mean or sum is not finite");
    // Every voxel is listed once, so the lists together hold exactly N entries.
    if (std::int64_t(K) > std::int64_t(N) - listed) return fail(why, "region lists exceed the voxel count");
    // The remaining regions and adjacency records need at least 8 fields each.
    if (std::int64_t(K) + std::int64_t(R - r - 1) * 8 + 1 > in.fieldsLeft())
      return fail(why, "truncated region voxel list");
    reg.voxels.resize(K);
    if (!in.read(reg.voxels.data(), K)) return fail(why, "truncated region voxel list");
    std::int64_t prev = -1;
    for (int v : reg.voxels) {
      const std::int64_t u = static_cast<std::uint32_t>(v);
      if (u <= prev || u >= std::int64_t(N)) return fail(why, "region voxel list not ascending or out of range");
      if (labels[u] != static_cast<int>(r)) return fail(why, "a region lists a voxel of another region");
      prev = u;
    }
    listed += K;
  }
  if (listed != std::int64_t(N)) return fail(why, "region lists do not cover every voxel");
  t_progressStep(80);

  TGCutAdjacency adjacency(R);
  for (std::uint32_t r = 0; r < R; ++r) {
    std::uint32_t M = 0;
    if (!in.u32(M)) return fail(why, "truncated adjacency record");
    if (M > R - 1 - r) return fail(why, "adjacency list longer than the regions above it");
    if (std::int64_t(M) + std::int64_t(R - r - 1) > in.fieldsLeft())
      return fail(why, "truncated adjacency list");
    std::vector<int>& set = adjacency[r];
    set.resize(M);
    if (!in.read(set.data(), M)) return fail(why, "truncated adjacency list");
    std::int64_t prev = r;
    for (int s : set) {
      const std::int64_t u = static_cast<std::uint32_t>(s);
      if (u <= prev || u >= std::int64_t(R)) return fail(why, "adjacency list not ascending or out of range");
      prev = u;
    }
  }
  if (in.bytesLeft() != 0) return fail(why, "data after the last adjacency record");

  labelsOut.swap(labels);
  regionsOut.swap(regions);
  adjacencyOut.swap(adjacency);
  return true;
}
