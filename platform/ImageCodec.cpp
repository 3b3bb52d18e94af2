#include "platform/ImageCodec.h"

#include <atomic>
#include <cstdio>
#include <memory>

namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = uint8_t(v >> (8 * k));
}

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(f.get());
  if (size < 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) return false;
  bytes.resize(size_t(size));
  return std::fread(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

// One colour of a pixel given by a bit mask: the masked bits, shifted down, scaled by
// 256 / (largest value + 1) so that a 5-bit 31 gives 248 and an 8-bit mask its byte.
struct MaskChannel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t scale = 0;

  bool set(uint32_t m) {
    mask = m;
    shift = 0;
    scale = 0;
    if (!m) return true;
    while (!(m & 1u)) {
      m >>= 1;
      ++shift;
    }
    if (m == 0xFFFFFFFFu) return false;  // a mask of all 32 bits has no usable scale
    scale = 256u / (m + 1u);
    return true;
  }
  uint8_t of(uint32_t c) const { return mask ? uint8_t(((c & mask) >> shift) * scale) : 0; }
};

enum : uint32_t { kBiRgb = 0, kBiBitfields = 3, kBiAlphaBitfields = 6 };

bool decodeBmp(const std::vector<uint8_t>& b, TRgbPicture& out) {
  const size_t size = b.size();
  if (size < 26 || b[0] != 'B' || b[1] != 'M') return false;
  const uint32_t dataOffset = le32(&b[10]);
  const uint32_t dibSize = le32(&b[14]);
  const bool core = dibSize == 12;
  if (!core && !(dibSize == 40 || dibSize == 52 || dibSize == 56 || dibSize == 64 ||
                 dibSize == 108 || dibSize == 124))
    return false;
  if (14 + size_t(dibSize) > size) return false;
  const uint8_t* h = &b[14];

  int64_t width, height;
  uint32_t bits, compression = kBiRgb, colorsUsed = 0;
  if (core) {
    width = le16(h + 4);
    height = le16(h + 6);
    bits = le16(h + 10);
  } else {
    width = int32_t(le32(h + 4));
    height = int32_t(le32(h + 8));
    bits = le16(h + 14);
    compression = le32(h + 16);
    colorsUsed = le32(h + 32);
  }
  const bool bottomUp = height > 0;
  if (height < 0) height = -height;
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

  // Bit masks of 16- and 32-bit pixels: in the header from 52 bytes on, else after it.
  size_t pos = 14 + dibSize;
  MaskChannel red, green, blue;
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    if (core || (bits != 16 && bits != 32)) return false;
    uint32_t masks[3];
    if (dibSize >= 52 && dibSize != 64) {
      for (int k = 0; k < 3; ++k) masks[k] = le32(h + 40 + 4 * k);
    } else {
      const size_t count = compression == kBiAlphaBitfields ? 4 : 3;
      if (pos + 4 * count > size) return false;
      for (int k = 0; k < 3; ++k) masks[k] = le32(&b[pos + 4 * k]);
      pos += 4 * count;
    }
    if (!red.set(masks[0]) || !green.set(masks[1]) || !blue.set(masks[2])) return false;
  } else if (compression == kBiRgb) {
    if (bits == 16) {  // 5 bits a colour
      red.set(0x7C00);
      green.set(0x03E0);
      blue.set(0x001F);
    } else if (bits == 32) {  // B, G, R and an unused byte
      red.set(0xFF0000);
      green.set(0xFF00);
      blue.set(0xFF);
    }
  } else {
    return false;  // run-length and embedded JPEG / PNG pixels are not read here
  }

  // Palette of 1-, 4- and 8-bit pixels; indices past its end show black, except that a two-colour
  // picture with one palette entry shows its second colour white.
  uint8_t palette[256][3] = {};
  if (bits == 1) palette[1][0] = palette[1][1] = palette[1][2] = 255;
  if (bits <= 8) {
    const uint32_t entrySize = core ? 3 : 4;
    uint32_t count = colorsUsed ? colorsUsed : (1u << bits);
    if (count > 256) count = 256;
    if (pos + size_t(count) * entrySize > size) return false;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = &b[pos + size_t(i) * entrySize];
      palette[i][0] = e[2];
      palette[i][1] = e[1];
      palette[i][2] = e[0];
    }
    pos += size_t(count) * entrySize;
  }

  // Pixels start where the file header says; a header pointing into the headers is ignored.
  if (dataOffset >= 14 + dibSize) pos = dataOffset;
  const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
  if (pos > size || (size - pos) / stride < size_t(height)) return false;

  TRgbPicture pic;
  pic.W = int(width);
  pic.H = int(height);
  pic.rgb.resize(size_t(width) * size_t(height) * 3);
  for (int64_t r = 0; r < height; ++r) {
    const uint8_t* row = &b[pos + size_t(r) * stride];
    const int64_t y = bottomUp ? height - 1 - r : r;
    uint8_t* o = &pic.rgb[size_t(y) * size_t(width) * 3];
    for (int64_t x = 0; x < width; ++x, o += 3) {
      switch (bits) {
        case 1:
        case 4:
        case 8: {
          const uint32_t perByte = 8 / bits;
          const uint32_t byte = row[x / perByte];
          const uint32_t shift = 8 - bits * (1 + uint32_t(x % perByte));
          const uint32_t idx = (byte >> shift) & ((1u << bits) - 1);
          o[0] = palette[idx][0];
          o[1] = palette[idx][1];
          o[2] = palette[idx][2];
          break;
        }
        case 24:
          o[0] = row[3 * x + 2];
          o[1] = row[3 * x + 1];
          o[2] = row[3 * x];
          break;
        case 16:
        case 32: {
          const uint32_t c = bits == 16 ? le16(row + 2 * x) : le32(row + 4 * x);
          o[0] = red.of(c);
          o[1] = green.of(c);
          o[2] = blue.of(c);
          break;
        }
      }
    }
  }
  out = std::move(pic);
  return true;
}

class BuiltInCodec : public TImageCodec {
 public:
  bool read(const std::string& path, TRgbPicture& out) override { return t_readBmp(path, out); }
  bool writeBmp(const std::string& path, const TRgbPicture& picture) override {
    return t_writeBmp24(path, picture);
  }
};

BuiltInCodec g_builtIn;
std::atomic<TImageCodec*> g_codec{nullptr};

}  // namespace

void t_setImageCodec(TImageCodec* codec) { g_codec = codec; }

TImageCodec& t_imageCodec() {
  TImageCodec* c = g_codec.load();
  return c ? *c : g_builtIn;
}

bool t_readBmp(const std::string& path, TRgbPicture& out) {
  std::vector<uint8_t> bytes;
  return readWholeFile(path, bytes) && decodeBmp(bytes, out);
}

bool t_writeBmp24(const std::string& path, const TRgbPicture& picture) {
  const int W = picture.W, H = picture.H;
  if (W <= 0 || H <= 0 || picture.rgb.size() != size_t(W) * size_t(H) * 3) return false;
  const size_t stride = (size_t(W) * 3 + 3) / 4 * 4;
  const uint64_t imageBytes = uint64_t(stride) * uint64_t(H);
  if (54 + imageBytes > 0xFFFFFFFFu) return false;

  uint8_t head[54] = {};
  head[0] = 'B';
  head[1] = 'M';
  put32(head + 2, uint32_t(54 + imageBytes));
  put32(head + 10, 54);
  put32(head + 14, 40);
  put32(head + 18, uint32_t(W));
  put32(head + 22, uint32_t(H));  // positive: bottom row first
  put16(head + 26, 1);
  put16(head + 28, 24);
  put32(head + 34, uint32_t(imageBytes));
  put32(head + 38, 2835);  // 72 dots per inch
  put32(head + 42, 2835);

  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(head, 1, sizeof head, f) == sizeof head;
  std::vector<uint8_t> row(stride, 0);
  for (int y = H - 1; ok && y >= 0; --y) {
    const uint8_t* in = &picture.rgb[size_t(y) * size_t(W) * 3];
    for (int x = 0; x < W; ++x) {
      row[3 * x] = in[3 * x + 2];
      row[3 * x + 1] = in[3 * x + 1];
      row[3 * x + 2] = in[3 * x];
    }
    ok = std::fwrite(row.data(), 1, stride, f) == stride;
  }
  // A full disk may only show when the buffered bytes are flushed.
  if (std::fclose(f) != 0) ok = false;
  return ok;
}
