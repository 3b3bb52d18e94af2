#include "volume/muxa_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/Prompt.h"
#include "volume/TOGL3DImage.h"

namespace {

const char* kMagic = "PELKO-MUXA";

// One header line: the bytes up to a line feed (at most 1023).  False at the end of the file.
bool readLine(FILE* fp, std::string& line) {
  line.clear();
  int ch;
  while ((ch = fgetc(fp)) != EOF) {
    if (ch == '\n') return true;
    line.push_back(char(ch));
    if (line.size() >= 1023) return true;
  }
  return !line.empty();
}

std::string trimmed(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return s.substr(a, b - a);
}

struct FileCloser {
  void operator()(FILE* fp) const { fclose(fp); }
};

}  // namespace

bool t_loadVolMuxa(const std::string& path, int* W, int* H, int* D, float** channel1,
                   float** channel2, float** channel3, TOGL3DImage* mask, int* channelCount,
                   double pitch[3], std::vector<unsigned char>& colourTable, std::string* error) {
  auto refuse = [&](const std::string& reason) {
    fprintf(stderr, "muxa: %s: %s\n", path.c_str(), reason.c_str());
    if (error)
      *error = reason;
    else
      t_warn("The file cannot be loaded as a combined volume-and-mask file.\n\n" + path + "\n" +
             reason);
    return false;
  };

  std::unique_ptr<FILE, FileCloser> fp(fopen(path.c_str(), "rb"));
  if (!fp) return refuse(std::string("The file cannot be opened (") + strerror(errno) + ").");
  if (fseek(fp.get(), 0, SEEK_END) != 0) return refuse("The file cannot be read.");
  const long long fileSize = ftell(fp.get());
  rewind(fp.get());

  std::string lines[5];
  for (std::string& l : lines)
    if (!readLine(fp.get(), l)) return refuse("The file ends inside its header.");
  const std::string magic = trimmed(lines[0]);
  fprintf(stderr, "%s\n", magic.c_str());
  // The first word only names the format; a file with another one is read all the same, and
  // the checks below still guard every size and block.
  if (magic != kMagic)
    fprintf(stderr, "muxa: %s: the first line is \"%s\", not \"%s\"; read all the same\n",
            path.c_str(), magic.c_str(), kMagic);
  int bits = 0;
  char rest = 0;
  if (sscanf(lines[1].c_str(), "%d %c", &bits, &rest) != 1 || (bits != 8 && bits != 24))
    return refuse("The file gives an unsupported voxel depth (\"" + trimmed(lines[1]) + "\").");
  fprintf(stderr, "bit %d\n", bits);
  fprintf(stderr, "Endi %s\n", trimmed(lines[2]).c_str());
  int w = 0, h = 0, d = 0;
  if (sscanf(lines[3].c_str(), "%d,%d,%d", &w, &h, &d) != 3 || w <= 0 || h <= 0 || d <= 0)
    return refuse("The file gives no valid volume size (\"" + trimmed(lines[3]) + "\").");
  fprintf(stderr, "size: %d %d %d\n", w, h, d);
  double p[3];
  if (sscanf(lines[4].c_str(), "%lf,%lf,%lf", &p[0], &p[1], &p[2]) != 3 ||
      !(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]) && p[0] > 0 &&
        p[1] > 0 && p[2] > 0))
    return refuse("The file gives no valid voxel pitch (\"" + trimmed(lines[4]) + "\").");
  fprintf(stderr, "pitch: %lf %lf %lf\n", p[0], p[1], p[2]);

  const int channels = bits == 8 ? 1 : 3;
  const long long have = fileSize - ftell(fp.get());
  if (double(w) * h * d > double(have))
    return refuse("The file is shorter than its header says; it may be truncated.");
  const long long n = static_cast<long long>(w) * h * d;
  const long long need = n * channels + n + 1024;
  if (need > have)
    return refuse("The file is shorter than its header says (" + std::to_string(have) +
                  " bytes of data, " + std::to_string(need) + " needed); it may be truncated.");

  std::unique_ptr<float[]> c[3];
  std::vector<uint8_t> maskBytes;
  try {
    for (int k = 0; k < channels; ++k) c[k].reset(new float[n]);
    maskBytes.resize(size_t(n));
  } catch (const std::bad_alloc&) {
    return refuse("There is not enough memory for a volume of this size.");
  }
  // The volume block, converted to floats in pieces.
  std::vector<uint8_t> buf(size_t(std::min<long long>(n, 1 << 20)) * channels);
  for (long long done = 0; done < n;) {
    const long long count = std::min<long long>(n - done, 1 << 20);
    if (fread(buf.data(), channels, size_t(count), fp.get()) != size_t(count))
      return refuse("The file cannot be read to its end.");
    for (long long i = 0; i < count; ++i)
      for (int k = 0; k < channels; ++k) c[k][done + i] = buf[size_t(i * channels + k)];
    done += count;
  }
  unsigned char table[1024];
  if (fread(maskBytes.data(), 1, size_t(n), fp.get()) != size_t(n) ||
      fread(table, 1, sizeof table, fp.get()) != sizeof table)
    return refuse("The file cannot be read to its end.");

  *W = w;
  *H = h;
  *D = d;
  *channelCount = channels;
  for (int a = 0; a < 3; ++a) pitch[a] = p[a];
  *channel1 = c[0].release();
  if (channels == 3) {
    *channel2 = c[1].release();
    *channel3 = c[2].release();
  }
  if (mask) {
    mask->allocate(w, h, d);
    std::memcpy(mask->data, maskBytes.data(), size_t(n));
  }
  colourTable.assign(table, table + sizeof table);
  return true;
}
