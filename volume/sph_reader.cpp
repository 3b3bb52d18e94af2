#include "volume/sph_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/Prompt.h"
#include "volume/Image3D.h"

namespace {

struct SphHeader {
  bool big = false;
  int F = 4;  // bytes of a real
  int I = 4;  // bytes of an integer in the size and step records
  int W = 0, H = 0, D = 0;
  double pitch[3] = {1.0, 1.0, 1.0};
  long dataOffset = 0;  // first voxel value
};

class File {
 public:
  explicit File(const std::string& path) : fp(std::fopen(path.c_str(), "rb")) {}
  ~File() {
    if (fp) std::fclose(fp);
  }
  FILE* fp;
};

bool readBytes(FILE* fp, void* dst, size_t n) { return std::fread(dst, 1, n, fp) == n; }

int64_t readInt(FILE* fp, int width, bool big, bool* ok) {
  uint8_t b[8];
  if (!readBytes(fp, b, size_t(width))) {
    *ok = false;
    return 0;
  }
  if (big) t_reverseBytes(b, width);
  if (width == 4) {
    int32_t v;
    std::memcpy(&v, b, 4);
    return v;
  }
  int64_t v;
  std::memcpy(&v, b, 8);
  return v;
}

double readReal(FILE* fp, int width, bool big, bool* ok) {
  uint8_t b[8];
  if (!readBytes(fp, b, size_t(width))) {
    *ok = false;
    return 0;
  }
  if (big) t_reverseBytes(b, width);
  if (width == 4) {
    float v;
    std::memcpy(&v, b, 4);
    return v;
  }
  double v;
  std::memcpy(&v, b, 8);
  return v;
}

// The leading marker of a record must hold the record's length.
bool marker(FILE* fp, bool big, int64_t expected, bool* ok) {
  int64_t m = readInt(fp, 4, big, ok);
  return *ok && uint32_t(m) == uint32_t(expected);
}

bool skip(FILE* fp, long n) { return std::fseek(fp, n, SEEK_CUR) == 0; }

// Reads and checks everything before the voxel values.  The sizes are checked against the file's
// length before anything is allocated.
bool readHeader(const std::string& path, SphHeader* h, std::string* error) {
  File f(path);
  if (!f.fp) {
    *error = "the file cannot be opened (" + std::string(std::strerror(errno)) + ")";
    return false;
  }
  struct stat st;
  if (fstat(fileno(f.fp), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "it is not a regular file";
    return false;
  }
  const uint64_t fileSize = uint64_t(st.st_size);
  uint8_t first[4];
  if (!readBytes(f.fp, first, 4)) {
    *error = "the file is too short";
    return false;
  }
  int32_t le;
  std::memcpy(&le, first, 4);
  if (le == 8) {
    h->big = false;
  } else if (first[0] == 0 && first[1] == 0 && first[2] == 0 && first[3] == 8) {
    h->big = true;
  } else {
    *error = "it is not a .sph file (the first record is not 8 bytes long)";
    return false;
  }
  bool ok = true;
  readInt(f.fp, 4, h->big, &ok);  // kind, not used
  const int64_t precision = readInt(f.fp, 4, h->big, &ok);
  ok = ok && skip(f.fp, 4);
  h->F = precision == 2 ? 8 : 4;
  h->I = precision == 2 ? 8 : 4;
  const int F = h->F, I = h->I;
  if (!ok || !marker(f.fp, h->big, 3 * I, &ok)) {
    *error = ok ? "the size record has the wrong length" : "the file is truncated";
    return false;
  }
  int64_t size[3];
  for (int i = 0; i < 3; ++i) {
    size[i] = readInt(f.fp, I, h->big, &ok);
    // 8-byte sizes count by their low 32 bits.
    if (I == 8) size[i] = int32_t(uint32_t(uint64_t(size[i])));
  }
  ok = ok && skip(f.fp, 4);
  if (!ok || !marker(f.fp, h->big, 3 * F, &ok) || !skip(f.fp, 3 * F + 4)) {  // origin, not used
    *error = ok ? "the origin record has the wrong length" : "the file is truncated";
    return false;
  }
  if (!marker(f.fp, h->big, 3 * F, &ok)) {
    *error = ok ? "the pitch record has the wrong length" : "the file is truncated";
    return false;
  }
  for (int i = 0; i < 3; ++i) h->pitch[i] = readReal(f.fp, F, h->big, &ok);
  ok = ok && skip(f.fp, 4);
  if (!ok || !marker(f.fp, h->big, I + F, &ok) || !skip(f.fp, I + F + 4)) {  // step and time
    *error = ok ? "the step record has the wrong length" : "the file is truncated";
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    if (size[i] <= 0 || size[i] > INT_MAX) {
      *error = "its grid size " + std::to_string(size[0]) + " x " + std::to_string(size[1]) + " x " +
               std::to_string(size[2]) + " is not valid";
      return false;
    }
  }
  const uint64_t bytes = uint64_t(size[0]) * uint64_t(size[1]) * uint64_t(size[2]) * uint64_t(F);
  const long start = std::ftell(f.fp) + 4;
  if (uint64_t(start) + bytes > fileSize || bytes / uint64_t(F) / uint64_t(size[0]) / uint64_t(size[1]) != uint64_t(size[2])) {
    *error = "the file is truncated: its grid of " + std::to_string(size[0]) + " x " +
             std::to_string(size[1]) + " x " + std::to_string(size[2]) + " values needs " +
             std::to_string(uint64_t(start) + bytes) + " bytes, the file has " + std::to_string(fileSize);
    return false;
  }
  // A record of 2 GiB or more is split by the writer into sub-records, which are not read here.
  if (bytes >= 0x7FFFFFF0ull || !marker(f.fp, h->big, int64_t(bytes), &ok)) {
    *error = "the value record does not hold one block of " + std::to_string(bytes) + " bytes";
    return false;
  }
  h->W = int(size[0]);
  h->H = int(size[1]);
  h->D = int(size[2]);
  h->dataOffset = start;
  return true;
}

// Reads the W*H*D values into out[i] (float or double) in chunks; values stay in file order.
template <class Out>
bool readValues(const std::string& path, const SphHeader& h, Out* out, std::string* error) {
  File f(path);
  if (!f.fp || std::fseek(f.fp, h.dataOffset, SEEK_SET) != 0) {
    *error = "the file cannot be read";
    return false;
  }
  const size_t n = size_t(h.W) * size_t(h.H) * size_t(h.D);
  const size_t chunk = size_t(1) << 20;  // values per read
  std::vector<uint8_t> buf(std::min(n, chunk) * size_t(h.F));
  for (size_t done = 0; done < n;) {
    const size_t k = std::min(chunk, n - done);
    if (!readBytes(f.fp, buf.data(), k * size_t(h.F))) {
      *error = "the file is truncated";
      return false;
    }
    const uint8_t* src = buf.data();
    Out* dst = out + done;
    const int F = h.F;
    const bool big = h.big;
#pragma omp parallel for schedule(static)
    for (long i = 0; i < long(k); ++i) {
      uint8_t b[8];
      std::memcpy(b, src + size_t(i) * size_t(F), size_t(F));
      if (big) t_reverseBytes(b, F);
      if (F == 4) {
        float v;
        std::memcpy(&v, b, 4);
        dst[i] = Out(v);
      } else {
        double v;
        std::memcpy(&v, b, 8);
        dst[i] = Out(v);
      }
    }
    done += k;
  }
  return true;
}

void showMessage(const std::string& path, const std::string& reason) {
  t_prompts().message("The .sph file cannot be read: " + reason + ".\n" + path, "Kestrin",
                      PromptButtons::Ok, PromptIcon::None);
}

}  // namespace

void t_reverseBytes(void* buffer, int n) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  std::reverse(p, p + n);
}

bool Image3D::loadSph(const std::string& path, std::string* error) {
  release();
  SphHeader h;
  std::string err;
  std::vector<double> flat;
  bool ok = readHeader(path, &h, &err);
  if (ok) {
    try {
      allocate(h.W, h.H, h.D);
      flat.resize(size_t(h.W) * h.H);
    } catch (const std::bad_alloc&) {
      release();
      err = "there is not enough memory for its " + std::to_string(h.W) + " x " + std::to_string(h.H) +
            " x " + std::to_string(h.D) + " voxels";
      ok = false;
    }
  }
  if (ok) {
    // One slice at a time through a slice buffer.
    SphHeader s = h;
    s.D = 1;
    for (int z = 0; z < h.D && ok; ++z) {
      s.dataOffset = h.dataOffset + long(z) * h.W * h.H * h.F;
      ok = readValues<double>(path, s, flat.data(), &err);
      for (int y = 0; y < h.H && ok; ++y)
        std::memcpy(voxels[z][y], flat.data() + size_t(y) * h.W, sizeof(double) * size_t(h.W));
    }
    if (!ok) release();
  }
  if (!ok) {
    if (error) *error = err;
    return false;
  }
  pitchX = h.pitch[0];
  pitchY = h.pitch[1];
  pitchZ = h.pitch[2];
  return true;
}

bool t_loadVolSph(const std::string& path, int* W, int* H, int* D, float** values, double pitch[3]) {
  SphHeader h;
  std::string err;
  if (!readHeader(path, &h, &err)) {
    showMessage(path, err);
    return false;
  }
  float* v = nullptr;
  try {
    v = new float[size_t(h.W) * size_t(h.H) * size_t(h.D)];
  } catch (const std::bad_alloc&) {
    showMessage(path, "there is not enough memory for its " + std::to_string(h.W) + " x " +
                          std::to_string(h.H) + " x " + std::to_string(h.D) + " voxels");
    return false;
  }
  if (!readValues<float>(path, h, v, &err)) {
    delete[] v;
    showMessage(path, err);
    return false;
  }
  *W = h.W;
  *H = h.H;
  *D = h.D;
  *values = v;
  // A pitch of zero, below zero or not a number cannot be drawn or measured with: none given.
  if (pitch)
    for (int i = 0; i < 3; ++i) pitch[i] = (std::isfinite(h.pitch[i]) && h.pitch[i] > 0.0) ? h.pitch[i] : 1.0;
  return true;
}
