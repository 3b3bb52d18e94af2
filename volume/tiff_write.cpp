#include "volume/tiff_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/replace_file.h"

namespace {

// Free-text credit line of the ARTIST tag; its 92-byte field is part of the page layout.
const char kArtist[] = "Kestrin volume segmentation - multi-page volume with voxel pitch tags";
constexpr int kArtistBytes = 92;
static_assert(sizeof(kArtist) <= kArtistBytes, "the credit line must fit its field");

constexpr int kEntries = 20;

void put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v & 0xFF));
  b.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

void putFloat(std::vector<uint8_t>& b, float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  put32(b, u);
}

void putDouble(uint8_t* dst, double v) {
  uint64_t u;
  std::memcpy(&u, &v, 8);
  for (int i = 0; i < 8; ++i) dst[i] = uint8_t(u >> (8 * i));
}

// One 12-byte IFD entry; short values sit in the first two bytes of the value field.
void entry(std::vector<uint8_t>& b, const char* name, uint16_t type, uint32_t count, uint32_t value) {
  put16(b, TTiffIO::tagIdByName(name));
  put16(b, type);
  put32(b, count);
  if (type == 3 && count == 1) {
    put16(b, uint16_t(value));
    put16(b, 0);
  } else {
    put32(b, value);
  }
}

void entryFloat(std::vector<uint8_t>& b, const char* name, float v) {
  put16(b, TTiffIO::tagIdByName(name));
  put16(b, 11);
  put32(b, 1);
  putFloat(b, v);
}

void message(const std::string& text) {
  t_prompts().message(text, "Kestrin", PromptButtons::Ok, PromptIcon::Warning);
}

// What both layouts need checked before a byte is written.
bool checkSize(const std::string& path, int W, int H, int D, unsigned long long size) {
  if (W > 65535 || H > 65535 || D > 65535) {
    message("The volume " + std::to_string(W) + " x " + std::to_string(H) + " x " + std::to_string(D) +
            " cannot be stored in this TIFF layout (at most 65535 voxels per side); nothing was "
            "written to " + path);
    return false;
  }
  if (size > 0xFFFFFFFFull) {
    message("The volume is too large for a TIFF file: it would need " + std::to_string(size >> 20) +
            " MiB, but a TIFF file cannot exceed 4 GiB.  Nothing was written to " + path);
    return false;
  }
  return true;
}

// Frame shared by both writers: header, then per page the 20 entries, the next-IFD offset, the
// extra data and the rows (produced by writeRow(z, y, buffer)).
template <class RowFn>
bool writePages(const std::string& path, int W, int H, int D, bool rgb, int bytesPerSample,
                float pitchX, float pitchY, float pitchZ, TProgressScope* progress, RowFn writeRow) {
  const unsigned long long size =
      rgb ? t_tiffFileSize(W, H, D, bytesPerSample) : t_tiffDoubleFileSize(W, H, D);
  if (!checkSize(path, W, H, D, size)) return false;
  TReplaceFile out(path);
  if (!out.ok()) {
    message("The file cannot be created: " + path + " (" + std::strerror(out.errorNumber()) + ")");
    return false;
  }
  std::vector<uint8_t> head;
  head.push_back(0x49);
  head.push_back(0x49);
  put16(head, 42);
  put32(head, 8);
  bool ok = out.write(head.data(), head.size());

  const uint32_t S = uint32_t(bytesPerSample);
  const uint32_t spp = rgb ? 3 : 1;
  const uint32_t rowBytes = spp * S * uint32_t(W);
  std::vector<uint8_t> row(rowBytes);
  uint32_t P = 8;
  for (int z = 0; z < D && ok; ++z) {
    const uint32_t E = P + 2 + 12 * kEntries + 4;
    const uint32_t bitsAt = E;
    const uint32_t offsAt = rgb ? E + 6 : E;
    const uint32_t countsAt = offsAt + 4 * uint32_t(H);
    const uint32_t artistAt = countsAt + 4 * uint32_t(H);
    const uint32_t rowsAt = artistAt + kArtistBytes;
    const uint32_t pageEnd = rowsAt + rowBytes * uint32_t(H);

    std::vector<uint8_t> b;
    b.reserve(size_t(rowsAt - P));
    put16(b, kEntries);
    entry(b, "IMAGEWIDTH", 3, 1, uint32_t(W));
    entry(b, "IMAGELENGTH", 3, 1, uint32_t(H));
    if (rgb)
      entry(b, "BITSPERSAMPLE", 3, 3, bitsAt);
    else
      entry(b, "BITSPERSAMPLE", 3, 1, 8 * S);
    entry(b, "COMPRESSION", 3, 1, 1);
    entry(b, "PHOTOMETRIC", 3, 1, rgb ? 2 : 1);
    // A single LONG fits the entry's value field, where every reader looks for it: a page of one
    // row stores its strip offset and byte count there (the tables in the extra data stay, so
    // the page keeps its size).
    const bool inlineStrips = H == 1;
    entry(b, "STRIPOFFSETS", 4, uint32_t(H), inlineStrips ? rowsAt : offsAt);
    entry(b, "SAMPLESPERPIXEL", 3, 1, spp);
    entry(b, "ROWSPERSTRIP", 3, 1, 1);
    entry(b, "STRIPBYTECOUNTS", 4, uint32_t(H), inlineStrips ? rowBytes : countsAt);
    entry(b, "PLANARCONFIG", 3, 1, 1);
    entry(b, "ARTIST", 2, kArtistBytes, artistAt);
    entry(b, "SAMPLEFORMAT", 3, 1, S == 1 ? 1 : 3);
    entry(b, "B_SIZEZ", 3, 1, uint32_t(D));
    entry(b, "B_SIZET", 3, 1, 1);
    entryFloat(b, "B_PITCHX", pitchX);
    entryFloat(b, "B_PITCHY", pitchY);
    entryFloat(b, "B_PITCHZ", pitchZ);
    entryFloat(b, "B_PITCHT", 1.0f);
    entry(b, "B_TIMENUMBER", 4, 1, 0);
    entryFloat(b, "B_ACTUALTIME", 0.0f);
    put32(b, z + 1 < D ? pageEnd : 0);
    if (rgb)
      for (int i = 0; i < 3; ++i) put16(b, uint16_t(8 * S));
    for (int y = 0; y < H; ++y) put32(b, rowsAt + uint32_t(y) * rowBytes);
    for (int y = 0; y < H; ++y) put32(b, rowBytes);
    size_t artist = b.size();
    b.resize(artist + kArtistBytes, 0);
    std::memcpy(b.data() + artist, kArtist, sizeof(kArtist));
    ok = out.write(b.data(), b.size());
    for (int y = 0; y < H && ok; ++y) {
      writeRow(z, y, row.data());
      ok = out.write(row.data(), row.size());
    }
    P = pageEnd;
    if (progress) progress->step(z + 1, D);
  }
  if (!ok || !out.commit()) {
    message("Writing the file failed: " + path + " (" + std::strerror(out.errorNumber()) +
            ").  The file was not written; check the free disk space.");
    return false;
  }
  return true;
}

bool sameSize(const Image3D& a, const Image3D& b) { return a.W == b.W && a.H == b.H && a.D == b.D; }

}  // namespace

unsigned long long t_tiffFileSize(int W, int H, int D, int S) {
  return 8ull + (unsigned long long)D * (344ull + 8ull * H + 3ull * S * W * H);
}

unsigned long long t_tiffDoubleFileSize(int W, int H, int D) {
  return 8ull + (unsigned long long)D * (338ull + 8ull * H + 8ull * W * H);
}

bool t_writeTiff(TTiffIO& target, Image3D& r, Image3D& g, Image3D& b, double upper, double lower,
                 int bits, TProgressScope* progress) {
  const std::string& path = target.path();
  if (bits != 8 && bits != 64) {
    message("TIFF files are written with 8 or 64 bits per sample, not " + std::to_string(bits) +
            "; nothing was written to " + path);
    return false;
  }
  if (!sameSize(r, g) || !sameSize(r, b) || (r.D > 0 && (!r.voxels || !g.voxels || !b.voxels))) {
    message("The three colour channels differ in size; nothing was written to " + path);
    return false;
  }
  const int W = r.W, H = r.H, D = r.D;
  Image3D* ch[3] = {&r, &g, &b};
  if (bits == 8) {
    const double den = std::max(1.0, std::fabs(upper - lower));
    return writePages(path, W, H, D, true, 1, float(r.pitchX), float(r.pitchY), float(r.pitchZ), progress,
                      [&](int z, int y, uint8_t* row) {
                        for (int c = 0; c < 3; ++c) {
                          const double* src = ch[c]->voxels[z][y];
                          for (int x = 0; x < W; ++x) {
                            const double v = src[x];
                            int q;
                            if (v < lower) q = 0;
                            else if (v > upper) q = 255;
                            else {
                              const double s = v * 255.0 / den;
                              // Out-of-range and NaN results are clamped rather than wrapped.
                              q = s >= 255.0 ? 255 : s > 0.0 ? int(s) : 0;
                            }
                            row[3 * x + c] = uint8_t(q);
                          }
                        }
                      });
  }
  return writePages(path, W, H, D, true, 8, float(r.pitchX), float(r.pitchY), float(r.pitchZ), progress,
                    [&](int z, int y, uint8_t* row) {
                      for (int c = 0; c < 3; ++c) {
                        const double* src = ch[c]->voxels[z][y];
                        for (int x = 0; x < W; ++x) putDouble(row + 8 * (3 * size_t(x) + c), src[x]);
                      }
                    });
}

bool t_writeTiffDouble(TTiffIO& target, Image3D& image, TProgressScope* progress) {
  const int W = image.W, H = image.H, D = image.D;
  if (D > 0 && !image.voxels) {
    message("The volume holds no voxels; nothing was written to " + target.path());
    return false;
  }
  return writePages(target.path(), W, H, D, false, 8, float(image.pitchX), float(image.pitchY),
                    float(image.pitchZ), progress, [&](int z, int y, uint8_t* row) {
                      const double* src = image.voxels[z][y];
                      for (int x = 0; x < W; ++x) putDouble(row + 8 * size_t(x), src[x]);
                    });
}
