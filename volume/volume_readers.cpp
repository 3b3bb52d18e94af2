#include "volume/volume_readers.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/TOGL2DImage.h"
#include "volume/TOGL3DImage.h"
#include "volume/TTiffIO.h"

namespace {

const char kMsgNotMultiPage[] = "このtifファイルはマルチページではありません";
const char kMsgNotColor[] = "なんか変、このtifはcolorじゃなかった";
const char kMsgBmpSizes[] = "error サイズの異なる画像が含まれています";
const char kQuestionTexts[2][16] = {"輝度値", "Color "};

std::string memoryMessage(long long W, long long H, long long D) {
  return "Not enough memory for a volume of " + std::to_string(W) + " x " + std::to_string(H) + " x " +
         std::to_string(D) + " voxels.";
}

// new[] that reports failure instead of throwing.
float* newVolume(size_t n) {
  try {
    return new float[n];
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool fileSize(const std::string& path, uint64_t* size) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *size = uint64_t(st.st_size);
  return true;
}

// The reader's reason with the file's path, named once (some reasons name it already).
std::string tiffFailure(const TTiffIO& io) {
  const std::string& why = io.lastError();
  if (why.find(io.path()) != std::string::npos) return why;
  return why + "\n" + io.path();
}

// Pages, colour flag and the checked layout; the one-page message as the loaders show it.
bool openTiff(TTiffIO& io, TTiffVolumeInfo* info) {
  const int pages = io.countPages();
  if (pages == 0 && !io.lastError().empty()) {
    t_fileMessage(tiffFailure(io));
    return false;
  }
  const bool color = pages > 0 && io.readIfd(0);
  if (pages <= 1) {
    // A chain cut short after its first page is a truncated volume, not a one-page picture.
    if (pages == 1 && io.chainDamaged() && !io.inspect(info)) {
      t_fileMessage(tiffFailure(io));
      return false;
    }
    t_fileMessage(kMsgNotMultiPage);
    return false;
  }
  std::fprintf(stderr, "  t_loadVolTIFgry   PN = %d   colorTif = %d\n", pages, int(color));
  if (!io.inspect(info)) {
    t_fileMessage(tiffFailure(io));
    return false;
  }
  return true;
}

bool readPictures(std::vector<std::string>& fileNames, std::vector<TOGL2DImage>* images, bool progress) {
  const int n = int(fileNames.size());
  images->resize(size_t(n));
  std::vector<char> ok(size_t(n), 0);
  std::atomic<int> done{0};
#pragma omp parallel for schedule(dynamic, 1)
  for (int i = 0; i < n; ++i) {
    ok[size_t(i)] = (*images)[size_t(i)].allocateFromFile(fileNames[size_t(i)], nullptr, nullptr);
    const int k = ++done;
    if (progress && k % 10 == 0) {
      // The main frame's step handler prints the "Pro%d" trace.
      t_progressStep(k * 100 / n);
    }
  }
  for (int i = 0; i < n; ++i) {
    if (!ok[size_t(i)]) {
      t_fileMessage("The picture file cannot be read: " + fileNames[size_t(i)]);
      return false;
    }
  }
  const int W = (*images)[0].W, H = (*images)[0].H;
  for (const TOGL2DImage& im : *images) {
    if (im.W != W || im.H != H) {
      t_fileMessage(kMsgBmpSizes);
      return false;
    }
  }
  return true;
}

bool loadPictures(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** ch[3], int channels) {
  std::vector<std::string> names;
  names.swap(fileNames);
  if (names.empty()) return false;
  std::vector<TOGL2DImage> images;
  if (!readPictures(names, &images, channels == 3)) return false;
  const int w = images[0].W, h = images[0].H, d = int(images.size());
  if (w <= 0 || h <= 0) {
    t_fileMessage("The picture file holds no pixels: " + names[0]);
    return false;
  }
  const size_t plane = size_t(w) * size_t(h);
  float* vol[3] = {nullptr, nullptr, nullptr};
  for (int c = 0; c < channels; ++c) {
    vol[c] = newVolume(plane * size_t(d));
    if (!vol[c]) {
      for (float* v : vol) delete[] v;
      t_fileMessage(memoryMessage(w, h, d));
      return false;
    }
  }
#pragma omp parallel for schedule(static)
  for (int z = 0; z < d; ++z) {
    const uint8_t* src = images[size_t(z)].data;
    for (int c = 0; c < channels; ++c) {
      float* dst = vol[c] + size_t(z) * plane;
      for (size_t i = 0; i < plane; ++i) dst[i] = float(src[4 * i + size_t(c)]);
    }
  }
  *W = w;
  *H = h;
  *D = d;
  for (int c = 0; c < channels; ++c) *ch[c] = vol[c];
  return true;
}

// A pitch stored in a file: zero, negative or not a number means none given.
double usablePitch(double p) { return (std::isfinite(p) && p > 0.0) ? p : 1.0; }

int rawSide(uint64_t size) { return int(std::sqrt(double(size) * 0.5)); }

}  // namespace

void t_fileMessage(const std::string& text) {
  t_prompts().message(text, "Kestrin", PromptButtons::Ok, PromptIcon::None);
}

bool t_loadVolTIFgry(const std::string& path, int* W, int* H, int* D, float** values, double pitch[3]) {
  TTiffIO io(path);
  TTiffVolumeInfo info;
  if (!openTiff(io, &info)) return false;
  float* v = newVolume(size_t(info.W) * size_t(info.H) * size_t(info.D));
  if (!v) {
    t_fileMessage(memoryMessage(info.W, info.H, info.D));
    return false;
  }
  if (!io.readGrayFloat(v)) {
    delete[] v;
    t_fileMessage(tiffFailure(io));
    return false;
  }
  *W = info.W;
  *H = info.H;
  *D = info.D;
  *values = v;
  if (pitch && info.hasPitch)
    for (int i = 0; i < 3; ++i) pitch[i] = info.pitch[i];
  std::fprintf(stderr, ".............finish loading tif file!\n");
  return true;
}

bool t_loadVolTifColor(const std::string& path, int* W, int* H, int* D, float** red, float** green,
                       float** blue, double pitch[3]) {
  TTiffIO io(path);
  TTiffVolumeInfo info;
  if (!openTiff(io, &info)) return false;
  if (!info.color) {
    t_fileMessage(kMsgNotColor);
    return false;
  }
  const size_t n = size_t(info.W) * size_t(info.H) * size_t(info.D);
  float* v[3] = {newVolume(n), newVolume(n), newVolume(n)};
  if (!v[0] || !v[1] || !v[2]) {
    for (float* p : v) delete[] p;
    t_fileMessage(memoryMessage(info.W, info.H, info.D));
    return false;
  }
  if (!io.readColorFloat(v[0], v[1], v[2])) {
    for (float* p : v) delete[] p;
    t_fileMessage(tiffFailure(io));
    return false;
  }
  *W = info.W;
  *H = info.H;
  *D = info.D;
  *red = v[0];
  *green = v[1];
  *blue = v[2];
  if (pitch && info.hasPitch)
    for (int i = 0; i < 3; ++i) pitch[i] = info.pitch[i];
  std::fprintf(stderr, ".............finish loading tif file!\n");
  return true;
}

bool t_loadVolBmpGray(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** values) {
  float** ch[3] = {values, nullptr, nullptr};
  return loadPictures(fileNames, W, H, D, ch, 1);
}

bool t_loadVolBmpColor(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** red,
                       float** green, float** blue) {
  float** ch[3] = {red, green, blue};
  return loadPictures(fileNames, W, H, D, ch, 3);
}

bool t_loadVolRaw16(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** values) {
  std::vector<std::string> names;
  names.swap(fileNames);
  if (names.empty()) return false;
  uint64_t size0 = 0;
  if (!fileSize(names[0], &size0)) {
    t_fileMessage("The raw slice file cannot be opened: " + names[0]);
    return false;
  }
  const int side = rawSide(size0);
  std::fprintf(stderr, "%d  %d %d\n", int(size0), int(size0 / 2), side);
  if (side < 1) {
    t_fileMessage("The raw slice file is too small to hold a slice: " + names[0]);
    return false;
  }
  for (size_t z = 1; z < names.size(); ++z) {
    uint64_t s = 0;
    if (!fileSize(names[z], &s)) {
      t_fileMessage("The raw slice file cannot be opened: " + names[z]);
      return false;
    }
    if (rawSide(s) != side) {
      t_fileMessage("The raw slices differ in size: " + names[0] + " holds " + std::to_string(side) +
                    " x " + std::to_string(side) + " samples, " + names[z] + " " +
                    std::to_string(rawSide(s)) + " x " + std::to_string(rawSide(s)) + ".");
      return false;
    }
  }
  const int d = int(names.size());
  const size_t plane = size_t(side) * size_t(side);
  float* vol = newVolume(plane * size_t(d));
  if (!vol) {
    t_fileMessage(memoryMessage(side, side, d));
    return false;
  }
  std::atomic<int> failed{-1};
  std::atomic<bool> noMemory{false};
#pragma omp parallel
  {
    // One slice buffer per thread; running out of memory here must not escape the parallel region.
    std::vector<int16_t> buf;
    try {
      buf.resize(plane);
    } catch (const std::bad_alloc&) {
      noMemory = true;
    }
#pragma omp for schedule(dynamic, 1)
    for (int z = 0; z < d; ++z) {
      if (failed.load() >= 0 || noMemory.load()) continue;
      FILE* fp = std::fopen(names[size_t(z)].c_str(), "rb");
      const bool ok = fp && std::fread(buf.data(), sizeof(int16_t), plane, fp) == plane;
      if (fp) std::fclose(fp);
      if (!ok) {
        int expected = -1;
        failed.compare_exchange_strong(expected, z);
        continue;
      }
      // Samples run column by column: the first side samples are x = 0, y = 0 .. side-1.
      float* dst = vol + size_t(z) * plane;
      for (int x = 0; x < side; ++x)
        for (int y = 0; y < side; ++y) dst[size_t(y) * size_t(side) + size_t(x)] = float(buf[size_t(x) * size_t(side) + size_t(y)]);
    }
  }
  if (noMemory.load()) {
    delete[] vol;
    t_fileMessage(memoryMessage(side, side, d));
    return false;
  }
  if (failed.load() >= 0) {
    delete[] vol;
    t_fileMessage("The raw slice file cannot be read: " + names[size_t(failed.load())]);
    return false;
  }
  *W = *H = side;
  *D = d;
  *values = vol;
  return true;
}

bool t_loadVolTraw3dSs(const std::string& path, int* W, int* H, int* D, float** values, double pitch[3]) {
  auto fail = [&](const std::string& why) {
    t_fileMessage("The .traw3D_ss file cannot be read: " + why + ".\n" + path);
    return false;
  };
  uint64_t size = 0;
  if (!fileSize(path, &size)) return fail("it cannot be opened");
  std::unique_ptr<FILE, int (*)(FILE*)> fp(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!fp) return fail(std::string("it cannot be opened (") + std::strerror(errno) + ")");
  int32_t dims[3];
  double p[3];
  if (std::fread(dims, 4, 3, fp.get()) != 3 || std::fread(p, 8, 3, fp.get()) != 3)
    return fail("the file is shorter than its header");
  if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0)
    return fail("its size " + std::to_string(dims[0]) + " x " + std::to_string(dims[1]) + " x " +
                std::to_string(dims[2]) + " is not valid");
  // The product of three sizes can pass 2^64; it is compared in 128 bits so that a damaged
  // header never wraps to a small count.
  const unsigned __int128 n128 =
      (unsigned __int128)uint64_t(dims[0]) * uint64_t(dims[1]) * uint64_t(dims[2]);
  if (n128 > (size < 36 ? 0 : (size - 36) / 2)) {
    const std::string need = n128 >> 62 ? std::string("more than 2^63")
                                         : std::to_string((unsigned long long)(36 + 2 * n128));
    return fail("the file is truncated: " + std::to_string(dims[0]) + " x " + std::to_string(dims[1]) + " x " +
                std::to_string(dims[2]) + " voxels need " + need + " bytes, the file has " +
                std::to_string(size));
  }
  const uint64_t n = uint64_t(n128);
  float* vol = newVolume(size_t(n));
  std::vector<int16_t> raw;
  try {
    raw.resize(size_t(n));
  } catch (const std::bad_alloc&) {
    delete[] vol;
    vol = nullptr;
  }
  if (!vol) {
    t_fileMessage(memoryMessage(dims[0], dims[1], dims[2]));
    return false;
  }
  if (std::fread(raw.data(), 2, size_t(n), fp.get()) != size_t(n)) {
    delete[] vol;
    return fail("the file is truncated");
  }
#pragma omp parallel for schedule(static)
  for (long long i = 0; i < (long long)n; ++i) vol[i] = float(raw[size_t(i)]);
  *W = dims[0];
  *H = dims[1];
  *D = dims[2];
  *values = vol;
  for (int i = 0; i < 3; ++i) pitch[i] = usablePitch(p[i]);
  return true;
}

int t_askGrayOrColor(const std::string& message) {
  const int pressed = t_prompts().choose(message, "Kestrin", {kQuestionTexts[0], kQuestionTexts[1]});
  // The box has only these two buttons; closing it counts as the second.
  return pressed == 0 ? kIdYes : kIdNo;
}

void t_flipVolumeY(TOGL3DImage& image) {
  if (!image.data || image.W <= 0 || image.H <= 0 || image.D <= 0) return;
  const int W = image.W, H = image.H, D = image.D;
  const size_t plane = size_t(W) * size_t(H);
#pragma omp parallel
  {
    std::vector<uint8_t> tmp(plane);
#pragma omp for schedule(static)
    for (int z = 0; z < D; ++z) {
      uint8_t* s = image.data + size_t(z) * plane;
      for (int y = 0; y < H; ++y) std::memcpy(tmp.data() + size_t(H - 1 - y) * W, s + size_t(y) * W, size_t(W));
      std::memcpy(s, tmp.data(), plane);
    }
  }
}

void t_flipVolumeY(TOGL3DImage* image) {
  if (image) t_flipVolumeY(*image);
}
