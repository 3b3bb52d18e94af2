#include "volume/TTiffIO.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <new>
#include <set>

#include "platform/LargeMemory.h"
#include "volume/Image3D.h"

// Checked layout of one page: everything the bulk read needs, so that the pixel loop never looks
// at a tag again.
struct TTiffIO::Layout {
  int W = 0;
  int H = 0;
  int spp = 1;            // samples per pixel
  int bytes = 1;          // bytes per sample
  int format = 1;         // 1 unsigned, 2 signed, 3 float
  bool color = false;     // photometric RGB
  bool planar = false;    // one plane per sample
  bool minIsWhite = false;
  bool bigEndian = false;
  uint32_t rowsPerStrip = 0;
  uint32_t stripsPerPlane = 0;
  std::vector<uint64_t> offsets;  // strip offsets, plane by plane
  bool hasPitch = false;
  double pitch[3] = {1.0, 1.0, 1.0};

  uint64_t rowBytes() const { return uint64_t(W) * (planar ? 1 : spp) * bytes; }
};

namespace {

uint16_t rd16(const uint8_t* p, bool big) {
  return big ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
}

uint32_t rd32(const uint8_t* p, bool big) {
  return big ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
             : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
}

std::string fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string fmt(const char* format, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, format);
  vsnprintf(buf, sizeof buf, format, ap);
  va_end(ap);
  return buf;
}

uint32_t scalarOf(const TTiffTag& t) {
  switch (t.type) {
    case 1: case 2: case 6: case 7: return t.value & 0xFFu;
    case 3: case 8: return t.value & 0xFFFFu;
    default: return t.value;
  }
}

bool readFully(int fd, uint8_t* dst, uint64_t n, uint64_t offset) {
  while (n > 0) {
    size_t chunk = size_t(std::min<uint64_t>(n, uint64_t(1) << 30));
    ssize_t got = pread(fd, dst, chunk, off_t(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    dst += got;
    offset += uint64_t(got);
    n -= uint64_t(got);
  }
  return true;
}

// Sample conversion, one row at a time: no per-sample calls or branches on the format.
template <class S>
inline S loadSample(const uint8_t* p) {
  S v;
  std::memcpy(&v, p, sizeof(S));
  return v;
}

template <class U>
inline U byteSwapped(U v);
template <>
inline uint8_t byteSwapped(uint8_t v) { return v; }
template <>
inline uint16_t byteSwapped(uint16_t v) { return __builtin_bswap16(v); }
template <>
inline uint32_t byteSwapped(uint32_t v) { return __builtin_bswap32(v); }
template <>
inline uint64_t byteSwapped(uint64_t v) { return __builtin_bswap64(v); }

template <class S> struct UnsignedOf;
template <> struct UnsignedOf<uint8_t> { using T = uint8_t; };
template <> struct UnsignedOf<int8_t> { using T = uint8_t; };
template <> struct UnsignedOf<uint16_t> { using T = uint16_t; };
template <> struct UnsignedOf<int16_t> { using T = uint16_t; };
template <> struct UnsignedOf<uint32_t> { using T = uint32_t; };
template <> struct UnsignedOf<int32_t> { using T = uint32_t; };
template <> struct UnsignedOf<uint64_t> { using T = uint64_t; };
template <> struct UnsignedOf<int64_t> { using T = uint64_t; };
template <> struct UnsignedOf<float> { using T = uint32_t; };
template <> struct UnsignedOf<double> { using T = uint64_t; };

template <class S, bool Swap, class Out>
void convertRow(const uint8_t* src, int stride, int n, Out* dst) {
  using U = typename UnsignedOf<S>::T;
  if (stride == 1) {
    // Contiguous samples (grey pages, planes): a loop the compiler vectorises.
    for (int i = 0; i < n; ++i) {
      U u = loadSample<U>(src + size_t(i) * sizeof(S));
      if (Swap) u = byteSwapped(u);
      S v;
      std::memcpy(&v, &u, sizeof(S));
      dst[i] = Out(v);
    }
    return;
  }
  const size_t step = size_t(stride) * sizeof(S);
  for (int i = 0; i < n; ++i) {
    U u = loadSample<U>(src + size_t(i) * step);
    if (Swap) u = byteSwapped(u);
    S v;
    std::memcpy(&v, &u, sizeof(S));
    dst[i] = Out(v);
  }
}

template <class S, class Out>
void convertRowOrder(const uint8_t* src, int stride, int n, bool swap, Out* dst) {
  if (swap)
    convertRow<S, true>(src, stride, n, dst);
  else
    convertRow<S, false>(src, stride, n, dst);
}

// n samples, stride samples apart, starting at src, into dst.  False for an unknown kind.
template <class Out>
bool decodeSamples(const uint8_t* src, int stride, int n, int format, int bytes, bool swap,
                   bool minIsWhite, Out* dst) {
  if (format == 3) {
    if (bytes == 4)
      convertRowOrder<float>(src, stride, n, swap, dst);
    else if (bytes == 8)
      convertRowOrder<double>(src, stride, n, swap, dst);
    else
      return false;
    return true;
  }
  const bool sgn = format == 2;
  switch (bytes) {
    case 1: sgn ? convertRowOrder<int8_t>(src, stride, n, swap, dst)
                : convertRowOrder<uint8_t>(src, stride, n, swap, dst); break;
    case 2: sgn ? convertRowOrder<int16_t>(src, stride, n, swap, dst)
                : convertRowOrder<uint16_t>(src, stride, n, swap, dst); break;
    case 4: sgn ? convertRowOrder<int32_t>(src, stride, n, swap, dst)
                : convertRowOrder<uint32_t>(src, stride, n, swap, dst); break;
    case 8: sgn ? convertRowOrder<int64_t>(src, stride, n, swap, dst)
                : convertRowOrder<uint64_t>(src, stride, n, swap, dst); break;
    default: return false;
  }
  if (minIsWhite) {
    // Only unsigned samples are read min-is-white (checked by describePage).
    const Out top = Out(bytes == 8 ? 18446744073709551615.0 : double((uint64_t(1) << (8 * bytes)) - 1));
    for (int i = 0; i < n; ++i) dst[i] = top - dst[i];
  }
  return true;
}

template <class Out>
void maxInto(Out* dst, const Out* src, int n) {
  for (int i = 0; i < n; ++i)
    if (src[i] > dst[i]) dst[i] = src[i];
}

// Bulk reads stop at this many bytes per read call; pages with bigger strips are read in pieces.
constexpr uint64_t kReadChunk = uint64_t(8) << 20;

}  // namespace

TTiffIO::TTiffIO(const char* path) : m_path(path ? path : "") {}
TTiffIO::TTiffIO(const std::string& path) : m_path(path) {}
TTiffIO::~TTiffIO() = default;

int TTiffIO::typeSize(int type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
  }
}

void TTiffIO::swapBytes(void* buffer, int elemSize, size_t count) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < count; ++i, p += elemSize) std::reverse(p, p + elemSize);
}

bool TTiffIO::fail(const std::string& message) {
  m_error = message;
  return false;
}

TTiffTag& TTiffIO::tag(const std::string& name) {
  uint16_t id = tagIdByName(name);
  auto it = tags.find(id);
  if (it == tags.end()) {
    TTiffTag t;
    t.tag = id;
    it = tags.emplace(id, t).first;
  }
  return it->second;
}

bool TTiffIO::openChecked(FILE** fp) {
  *fp = nullptr;
  if (m_path.empty()) return fail("No TIFF file name was given.");
  FILE* f = std::fopen(m_path.c_str(), "rb");
  if (!f) return fail(fmt("The TIFF file cannot be opened: %s (%s)", m_path.c_str(), std::strerror(errno)));
  struct stat st;
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(f);
    return fail(fmt("This is not a readable file: %s", m_path.c_str()));
  }
  m_fileSize = uint64_t(st.st_size);
  *fp = f;
  return true;
}

// Header and page-directory chain.  Fills pages; sets m_chainDamaged when the chain loops, points
// past the end of the file or a directory does not fit in the file.
int TTiffIO::scanChain(FILE* fp) {
  pages.clear();
  m_chainDamaged = false;
  uint8_t head[8];
  if (std::fseek(fp, 0, SEEK_SET) != 0 || std::fread(head, 1, 8, fp) < 4) {
    m_error = "The file is not a TIFF file (it is too short).";
    return 0;
  }
  if (head[0] == 0x49 && head[1] == 0x49 && head[2] == 0x2A && head[3] == 0x00) {
    byteOrder = 0;
  } else if (head[0] == 0x4D && head[1] == 0x4D && head[2] == 0x00 && head[3] == 0x2A) {
    byteOrder = 1;
  } else if ((head[0] == 0x49 && head[1] == 0x49 && head[2] == 0x2B) ||
             (head[0] == 0x4D && head[1] == 0x4D && head[3] == 0x2B)) {
    m_error = "This is a BigTIFF file, which cannot be read; save the volume as a classic TIFF.";
    return 0;
  } else {
    m_error = "The file is not a TIFF file.";
    return 0;
  }
  const bool big = byteOrder == 1;
  std::set<uint32_t> seen;
  uint64_t pos = 4;  // where the next offset is
  for (;;) {
    uint8_t b[4];
    if (pos + 4 > m_fileSize || std::fseek(fp, long(pos), SEEK_SET) != 0 || std::fread(b, 1, 4, fp) != 4) {
      m_chainDamaged = !pages.empty() || pos != 4;
      break;
    }
    uint32_t off = rd32(b, big);
    if (off == 0) break;
    if (off >= m_fileSize) {
      // A first directory at the end of the file is an empty volume; later ones are damage.
      if (!pages.empty()) m_chainDamaged = true;
      break;
    }
    if (!seen.insert(off).second) {
      m_chainDamaged = true;
      break;
    }
    uint8_t c[2];
    if (std::fseek(fp, long(off), SEEK_SET) != 0 || std::fread(c, 1, 2, fp) != 2) {
      m_chainDamaged = true;
      break;
    }
    uint64_t n = rd16(c, big);
    if (uint64_t(off) + 2 + 12 * n + 4 > m_fileSize) {
      m_chainDamaged = true;
      break;
    }
    pages.push_back(off);
    pos = uint64_t(off) + 2 + 12 * n;
  }
  return int(pages.size());
}

int TTiffIO::countPages() {
  FILE* fp = nullptr;
  if (!openChecked(&fp)) return 0;
  int n = scanChain(fp);
  std::fclose(fp);
  return n;
}

bool TTiffIO::readIfdEntries(FILE* fp) {
  tags.clear();
  bitsPerSample = 0;
  const bool big = byteOrder == 1;
  uint8_t c[2];
  if (std::fread(c, 1, 2, fp) != 2) return false;
  const int n = rd16(c, big);
  for (int i = 0; i < n; ++i) {
    uint8_t e[12];
    if (std::fread(e, 1, 12, fp) != 12) {
      // A directory that ends early would leave the page without its later tags.
      std::fprintf(stderr, "TIFF directory read stopped at entry %d of %d\n", i, n);
      return false;
    }
    TTiffTag t;
    t.tag = rd16(e, big);
    t.type = rd16(e + 2, big);
    t.count = rd32(e + 4, big);
    std::memcpy(t.raw, e + 8, 4);
    uint8_t v[4];
    std::memcpy(v, e + 8, 4);
    if (big) {
      const int ts = typeSize(t.type);
      if (ts > 0 && uint64_t(ts) * t.count < 4)
        swapBytes(v, ts, t.count);  // each short value keeps its place in the field
      else
        swapBytes(v, 4, 1);
    }
    t.value = uint32_t(v[0]) | uint32_t(v[1]) << 8 | uint32_t(v[2]) << 16 | uint32_t(v[3]) << 24;
    tags[t.tag] = t;
  }
  long after = std::ftell(fp);
  const TTiffTag& bps = tag("BITSPERSAMPLE");
  if (bps.count < 3) {
    bitsPerSample = uint16_t(bps.value & 0xFFFFu);
  } else {
    uint8_t b[2];
    if (std::fseek(fp, long(bps.value), SEEK_SET) == 0 && std::fread(b, 1, 2, fp) == 2)
      bitsPerSample = rd16(b, big);
    std::fseek(fp, after, SEEK_SET);
  }
  return true;
}

bool TTiffIO::readIfdAt(FILE* fp, int n) {
  if (n < 0 || n >= int(pages.size())) return false;
  if (std::fseek(fp, long(pages[size_t(n)]), SEEK_SET) != 0) return false;
  return readIfdEntries(fp);
}

bool TTiffIO::readIfd(int n) {
  FILE* fp = nullptr;
  if (!openChecked(&fp)) return false;
  if (pages.empty()) scanChain(fp);
  bool ok = readIfdAt(fp, n);
  std::fclose(fp);
  if (!ok) return false;
  // Colour means RGB: three or more samples with an RGB interpretation (or none given).  A grey
  // page with an alpha sample is not colour.
  const uint32_t spp = tag("SAMPLESPERPIXEL").count ? scalarOf(tag("SAMPLESPERPIXEL")) : 1;
  const TTiffTag& ph = tag("PHOTOMETRIC");
  const uint32_t photometric = ph.count ? scalarOf(ph) : (spp >= 3 ? 2 : 1);
  return spp >= 3 && photometric == 2;
}

bool TTiffIO::readTagArray(FILE* fp, const TTiffTag& t, std::vector<uint64_t>* out) {
  out->clear();
  const int ts = typeSize(t.type);
  if (t.count == 0) return true;
  if (t.type != 1 && t.type != 3 && t.type != 4) return false;
  const uint64_t size = uint64_t(ts) * t.count;
  const bool big = byteOrder == 1;
  std::vector<uint8_t> buf;
  const uint8_t* p = t.raw;
  if (size > 4) {
    if (uint64_t(t.value) + size > m_fileSize) return false;
    buf.resize(size_t(size));
    if (std::fseek(fp, long(t.value), SEEK_SET) != 0 || std::fread(buf.data(), 1, buf.size(), fp) != buf.size())
      return false;
    p = buf.data();
  }
  out->resize(t.count);
  for (uint32_t i = 0; i < t.count; ++i) {
    if (ts == 1) (*out)[i] = p[i];
    else if (ts == 2) (*out)[i] = rd16(p + 2 * size_t(i), big);
    else (*out)[i] = rd32(p + 4 * size_t(i), big);
  }
  return true;
}

bool TTiffIO::describePage(FILE* fp, int n, Layout* L) {
  const int pageNo = n + 1;
  L->bigEndian = byteOrder == 1;
  const uint32_t w = scalarOf(tag("IMAGEWIDTH"));
  const uint32_t h = scalarOf(tag("IMAGELENGTH"));
  if (w == 0 || h == 0 || w > uint32_t(INT_MAX) || h > uint32_t(INT_MAX))
    return fail(fmt("The TIFF file is damaged: page %d has the size %u x %u.", pageNo, w, h));
  L->W = int(w);
  L->H = int(h);

  const uint32_t compression = tag("COMPRESSION").count ? scalarOf(tag("COMPRESSION")) : 1;
  if (compression > 1)
    return fail(fmt("Page %d of the TIFF file is compressed (compression %u); only uncompressed "
                    "TIFF files can be read.  Save it uncompressed (for example: tiffcp -c none).",
                    pageNo, compression));
  if (tag("TILEWIDTH").count || tag("TILELENGTH").count || tag("TILEOFFSETS").count)
    return fail(fmt("Page %d of the TIFF file is stored in tiles; only TIFF files stored in strips "
                    "can be read.", pageNo));

  const uint32_t spp = tag("SAMPLESPERPIXEL").count ? scalarOf(tag("SAMPLESPERPIXEL")) : 1;
  if (spp < 1 || spp > 16)
    return fail(fmt("Page %d of the TIFF file has %u samples per pixel, which cannot be read.", pageNo, spp));
  L->spp = int(spp);

  std::vector<uint64_t> bits, formats;
  if (!readTagArray(fp, tag("BITSPERSAMPLE"), &bits) || !readTagArray(fp, tag("SAMPLEFORMAT"), &formats))
    return fail(fmt("The TIFF file is damaged: the sample description of page %d cannot be read.", pageNo));
  if (bits.empty()) bits.push_back(1);  // the format's default
  if (formats.empty()) formats.push_back(1);
  for (uint64_t b : bits)
    if (b != bits[0])
      return fail(fmt("Page %d of the TIFF file has samples of different widths, which cannot be read.", pageNo));
  for (uint64_t f : formats)
    if (f != formats[0])
      return fail(fmt("Page %d of the TIFF file has samples of different formats, which cannot be read.", pageNo));
  uint64_t format = formats[0];
  if (format == 4) format = 1;  // "undefined" data: read as unsigned
  const uint64_t b = bits[0];
  if (format == 3) {
    if (b != 32 && b != 64)
      return fail(fmt("Page %d of the TIFF file holds %u-bit floating-point samples; only 32 and "
                      "64-bit floating-point samples can be read.", pageNo, unsigned(b)));
  } else if (format == 1 || format == 2) {
    if (b != 8 && b != 16 && b != 32 && b != 64)
      return fail(fmt("Page %d of the TIFF file has %u bits per sample; only 8, 16, 32 and 64-bit "
                      "samples can be read.", pageNo, unsigned(b)));
  } else {
    return fail(fmt("Page %d of the TIFF file has sample format %u, which cannot be read.", pageNo, unsigned(format)));
  }
  L->format = int(format);
  L->bytes = int(b / 8);

  const uint32_t photometric =
      tag("PHOTOMETRIC").count ? scalarOf(tag("PHOTOMETRIC")) : (spp >= 3 ? 2u : 1u);
  switch (photometric) {
    case 0:
      if (format != 1)
        return fail(fmt("Page %d of the TIFF file is min-is-white with signed or floating-point "
                        "samples, which cannot be read.", pageNo));
      L->minIsWhite = true;
      break;
    case 1: break;
    case 2:
      if (spp < 3)
        return fail(fmt("The TIFF file is damaged: page %d is RGB with %u samples per pixel.", pageNo, spp));
      L->color = true;
      break;
    case 3:
      return fail(fmt("Page %d of the TIFF file is a palette (indexed colour) image, which cannot be "
                      "read; convert it to grey or RGB.", pageNo));
    default:
      return fail(fmt("Page %d of the TIFF file has photometric interpretation %u (not grey or RGB), "
                      "which cannot be read.", pageNo, photometric));
  }
  L->planar = spp > 1 && tag("PLANARCONFIG").count && scalarOf(tag("PLANARCONFIG")) == 2;

  // Without ROWSPERSTRIP the whole page is one strip.
  uint32_t rps = tag("ROWSPERSTRIP").count ? tag("ROWSPERSTRIP").value : 0;
  if (tag("ROWSPERSTRIP").type == 3) rps &= 0xFFFFu;
  if (rps == 0 || rps > h) rps = h;
  L->rowsPerStrip = rps;
  L->stripsPerPlane = uint32_t((uint64_t(h) + rps - 1) / rps);
  const uint64_t strips = uint64_t(L->stripsPerPlane) * (L->planar ? spp : 1);

  std::vector<uint64_t> counts;
  if (!readTagArray(fp, tag("STRIPOFFSETS"), &L->offsets) || !readTagArray(fp, tag("STRIPBYTECOUNTS"), &counts))
    return fail(fmt("The TIFF file is damaged: the strip table of page %d cannot be read.", pageNo));
  if (L->offsets.empty())
    return fail(fmt("The TIFF file is damaged: page %d has no image data.", pageNo));
  if (L->offsets.size() != strips || (!counts.empty() && counts.size() != strips))
    return fail(fmt("The TIFF file is damaged: page %d has %u strips where %u are needed.", pageNo,
                    unsigned(L->offsets.size()), unsigned(strips)));
  const uint64_t rowBytes = L->rowBytes();
  for (uint64_t s = 0; s < strips; ++s) {
    const uint64_t first = (s % L->stripsPerPlane) * rps;
    const uint64_t rows = std::min<uint64_t>(rps, h - first);
    // Checked without a product or sum that can wrap: rows that cannot fit in the file at all
    // lie beyond its end whatever the offset.
    const bool fits = rowBytes != 0 && rows <= m_fileSize / rowBytes;
    const uint64_t need = fits ? rows * rowBytes : 0;
    if (fits && !counts.empty() && counts[s] < need)
      return fail(fmt("The TIFF file is damaged: a strip of page %d is shorter than its rows.", pageNo));
    if (!fits || L->offsets[s] > m_fileSize - need)
      return fail(fmt("The TIFF file is truncated or damaged: the image data of page %d lie beyond "
                      "the end of the file.", pageNo));
  }

  // Our private pitch tags: FLOAT, one value inline.  Zero, negative or non-finite mean none.
  const char* names[3] = {"B_PITCHX", "B_PITCHY", "B_PITCHZ"};
  for (int i = 0; i < 3; ++i) {
    const TTiffTag& t = tag(names[i]);
    if (t.type != 11 || t.count != 1) continue;
    L->hasPitch = true;
    float f;
    std::memcpy(&f, &t.value, 4);
    L->pitch[i] = (std::isfinite(f) && f > 0.0f) ? double(f) : 1.0;
  }
  return true;
}

bool TTiffIO::inspect(TTiffVolumeInfo* info) {
  m_inspected = false;
  m_error.clear();
  m_layouts.clear();
  FILE* fp = nullptr;
  if (!openChecked(&fp)) return false;
  const int n = scanChain(fp);
  if (n == 0) {
    std::fclose(fp);
    if (m_error.empty())
      m_error = m_chainDamaged ? "The TIFF file is damaged: its first page cannot be found."
                               : "The TIFF file holds no pages.";
    return false;
  }
  if (m_chainDamaged) {
    std::fclose(fp);
    return fail(fmt("The TIFF file is truncated or damaged: the directory after page %d lies outside "
                    "the file or repeats an earlier one.", n));
  }
  try {
    m_layouts.resize(size_t(n));
  } catch (const std::bad_alloc&) {
    std::fclose(fp);
    return fail("Not enough memory to read the TIFF file's page table.");
  }
  for (int z = 0; z < n; ++z) {
    Layout& L = m_layouts[size_t(z)];
    if (!readIfdAt(fp, z) || !describePage(fp, z, &L)) {
      std::fclose(fp);
      if (m_error.empty()) m_error = fmt("The TIFF file is damaged: page %d cannot be read.", z + 1);
      m_layouts.clear();
      return false;
    }
    const Layout& F = m_layouts[0];
    if (z > 0 && (L.W != F.W || L.H != F.H)) {
      std::fclose(fp);
      m_layouts.clear();
      return fail(fmt("Page %d of the TIFF file has the size %d x %d but page 1 has %d x %d; a volume "
                      "needs pages of one size.", z + 1, L.W, L.H, F.W, F.H));
    }
    if (z > 0 && (L.spp != F.spp || L.bytes != F.bytes || L.format != F.format || L.color != F.color)) {
      std::fclose(fp);
      m_layouts.clear();
      return fail(fmt("Page %d of the TIFF file stores its samples differently from page 1; a volume "
                      "needs pages of one kind.", z + 1));
    }
  }
  std::fclose(fp);
  // Leave page 0 current, as the reader's callers expect.
  const Layout& F = m_layouts[0];
  m_info = TTiffVolumeInfo();
  m_info.W = F.W;
  m_info.H = F.H;
  m_info.D = n;
  m_info.samplesPerPixel = F.spp;
  m_info.bitsPerSample = F.bytes * 8;
  m_info.sampleFormat = F.format;
  m_info.color = F.color;
  m_info.hasPitch = F.hasPitch;
  for (int i = 0; i < 3; ++i) m_info.pitch[i] = F.pitch[i];
  if (info) *info = m_info;
  m_inspected = true;
  return true;
}

template <class Out>
bool TTiffIO::readVolume(int mode, const std::function<Out*(int, int, int)>& row) {
  if (!m_inspected) return fail("The TIFF file was not inspected before reading.");
  const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(fmt("The TIFF file cannot be opened: %s (%s)", m_path.c_str(), std::strerror(errno)));
  std::atomic<bool> failed{false};
  std::atomic<bool> noMemory{false};
  const int D = int(m_layouts.size());

#pragma omp parallel
  {
    std::vector<uint8_t> buf;
    std::vector<Out> tmp;
#pragma omp for schedule(dynamic, 1)
    for (int z = 0; z < D; ++z) {
      if (failed.load(std::memory_order_relaxed)) continue;
      const Layout& L = m_layouts[size_t(z)];
      const uint64_t rowBytes = L.rowBytes();
      const bool swap = L.bigEndian && L.bytes > 1;
      const int planes = L.planar ? (L.color ? 3 : 1) : 1;
      const uint64_t maxRows = std::max<uint64_t>(1, kReadChunk / rowBytes);
      try {
        if (tmp.size() < size_t(L.W)) tmp.resize(size_t(L.W));
        // A run joins strips up to maxRows rows, never more than a page's rows.
        const uint64_t runBytes = std::min<uint64_t>(maxRows, uint64_t(L.H)) * rowBytes;
        if (buf.size() < runBytes) buf.resize(size_t(runBytes));
      } catch (const std::bad_alloc&) {
        noMemory = true;
        failed = true;
        continue;
      }
      // Walk the strips in file-table order and read runs of rows that lie back to back in the
      // file with one call each.
      for (int p = 0; p < planes && !failed; ++p) {
        uint64_t runOff = 0, runRows = 0;
        int runY = 0;
        auto flush = [&]() {
          if (runRows == 0) return true;
          if (!readFully(fd, buf.data(), runRows * rowBytes, runOff)) return false;
          for (uint64_t r = 0; r < runRows; ++r) {
            const uint8_t* src = buf.data() + r * rowBytes;
            const int y = runY + int(r);
            if (!L.planar) {
              if (mode == 1) {
                for (int c = 0; c < 3; ++c)
                  decodeSamples(src + size_t(c) * L.bytes, L.spp, L.W, L.format, L.bytes, swap, L.minIsWhite, row(c, z, y));
              } else {
                Out* dst = row(0, z, y);
                decodeSamples(src, L.spp, L.W, L.format, L.bytes, swap, L.minIsWhite, dst);
                if (L.color) {
                  for (int c = 1; c < 3; ++c) {
                    decodeSamples(src + size_t(c) * L.bytes, L.spp, L.W, L.format, L.bytes, swap, false, tmp.data());
                    maxInto(dst, tmp.data(), L.W);
                  }
                }
              }
            } else if (mode == 1) {
              decodeSamples(src, 1, L.W, L.format, L.bytes, swap, false, row(p, z, y));
            } else if (p == 0) {
              decodeSamples(src, 1, L.W, L.format, L.bytes, swap, L.minIsWhite, row(0, z, y));
            } else {
              decodeSamples(src, 1, L.W, L.format, L.bytes, swap, false, tmp.data());
              maxInto(row(0, z, y), tmp.data(), L.W);
            }
          }
          runRows = 0;
          return true;
        };
        for (uint32_t s = 0; s < L.stripsPerPlane && !failed; ++s) {
          const uint64_t off = L.offsets[size_t(p) * L.stripsPerPlane + s];
          const int first = int(uint64_t(s) * L.rowsPerStrip);
          const uint64_t rows = std::min<uint64_t>(L.rowsPerStrip, uint64_t(L.H - first));
          for (uint64_t k = 0; k < rows;) {
            const uint64_t take = std::min(rows - k, maxRows);
            const uint64_t o = off + k * rowBytes;
            const bool joins = runRows > 0 && runOff + runRows * rowBytes == o &&
                               runY + int(runRows) == first + int(k) && runRows + take <= maxRows;
            if (!joins) {
              if (!flush()) { failed = true; break; }
              runOff = o;
              runY = first + int(k);
            }
            runRows += take;
            k += take;
          }
        }
        if (!failed && !flush()) failed = true;
      }
    }
  }
  ::close(fd);
  if (noMemory) return fail("Not enough memory to read the TIFF file.");
  if (failed) return fail("Reading the TIFF file failed: the file changed or was truncated while it was read.");
  return true;
}

bool TTiffIO::readGray(Image3D* image) {
  if (!image) return fail("No image to read into.");
  TTiffVolumeInfo info;
  if (!inspect(&info)) return false;
  if (info.color) return fail("The TIFF file holds colour pages; read it as a colour volume.");
  try {
    image->allocate(info.W, info.H, info.D);
  } catch (const std::bad_alloc&) {
    return fail(fmt("Not enough memory for a volume of %d x %d x %d voxels.", info.W, info.H, info.D));
  }
  image->pitchX = info.pitch[0];
  image->pitchY = info.pitch[1];
  image->pitchZ = info.pitch[2];
  return readVolume<double>(0, [image](int, int z, int y) { return image->voxels[z][y]; });
}

bool TTiffIO::readColor(Image3D* r, Image3D* g, Image3D* b) {
  if (!r || !g || !b) return fail("No images to read into.");
  TTiffVolumeInfo info;
  if (!inspect(&info)) return false;
  if (!info.color) return fail("The TIFF file holds grey pages, not colour ones.");
  Image3D* im[3] = {r, g, b};
  try {
    for (Image3D* p : im) {
      p->allocate(info.W, info.H, info.D);
      p->pitchX = info.pitch[0];
      p->pitchY = info.pitch[1];
      p->pitchZ = info.pitch[2];
    }
  } catch (const std::bad_alloc&) {
    return fail(fmt("Not enough memory for a volume of %d x %d x %d voxels.", info.W, info.H, info.D));
  }
  return readVolume<double>(1, [&im](int c, int z, int y) { return im[c]->voxels[z][y]; });
}

bool TTiffIO::readGrayFloat(float* values) {
  if (!values) return fail("No volume to read into.");
  const size_t W = size_t(m_info.W), H = size_t(m_info.H);
  if (m_inspected) t_adviseHugePages(values, W * H * size_t(m_info.D) * sizeof(float));
  return readVolume<float>(0, [=](int, int z, int y) { return values + (size_t(z) * H + size_t(y)) * W; });
}

bool TTiffIO::readColorFloat(float* red, float* green, float* blue) {
  if (!red || !green || !blue) return fail("No volumes to read into.");
  if (m_inspected && !m_info.color) return fail("The TIFF file holds grey pages, not colour ones.");
  float* ch[3] = {red, green, blue};
  const size_t W = size_t(m_info.W), H = size_t(m_info.H);
  if (m_inspected)
    for (float* c : ch) t_adviseHugePages(c, W * H * size_t(m_info.D) * sizeof(float));
  return readVolume<float>(1, [=](int c, int z, int y) { return ch[c] + (size_t(z) * H + size_t(y)) * W; });
}

bool TTiffIO::readRow(FILE* fp, double* out) {
  const uint32_t w = scalarOf(tag("IMAGEWIDTH"));
  const uint32_t spp = tag("SAMPLESPERPIXEL").count ? scalarOf(tag("SAMPLESPERPIXEL")) : 1;
  const int bytes = bitsPerSample / 8;
  if (w == 0 || bitsPerSample % 8 != 0 || (bytes != 1 && bytes != 2 && bytes != 4 && bytes != 8)) return false;
  uint32_t format = tag("SAMPLEFORMAT").count ? scalarOf(tag("SAMPLEFORMAT")) : 1;
  if (format != 2 && format != 3) format = 1;
  const size_t n = size_t(w) * std::max<uint32_t>(spp, 1);
  std::vector<uint8_t> buf(n * size_t(bytes));
  if (std::fread(buf.data(), 1, buf.size(), fp) != buf.size()) return false;
  return decodeSamples(buf.data(), 1, int(n), int(format), bytes, byteOrder == 1 && bytes > 1, false, out);
}

bool t_isTiffColor(const std::string& path) {
  TTiffIO io(path);
  return io.readIfd(0);
}
