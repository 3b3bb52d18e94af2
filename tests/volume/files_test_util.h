#pragma once
// Helpers of the volume-file tests: a private temporary directory, running reference tools with
// an argument vector, reading their reference arrays, and building small TIFF files byte by byte
// for the cases no tool writes (odd tags, damage).
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace files_test {

#ifndef FILES_SCRIPT_DIR
#define FILES_SCRIPT_DIR "."
#endif

inline std::string scriptPath(const std::string& name) { return std::string(FILES_SCRIPT_DIR) + "/" + name; }

class TempDir {
 public:
  TempDir() {
    const char* t = std::getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/kestrin-files-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) m_path = buf.data();
  }
  ~TempDir() {
    if (!m_path.empty())
      nftw(m_path.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
           FTW_DEPTH | FTW_PHYS);
  }
  const std::string& path() const { return m_path; }
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Runs argv[0] (searched on PATH) with the arguments; standard output into *out when given.
// Returns the exit code, or -1 when the program cannot be started.
inline int run(const std::vector<std::string>& args, std::string* out = nullptr, bool quiet = true) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int pfd[2];
  if (pipe(pfd) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, pfd[1], 1);
  posix_spawn_file_actions_addclose(&fa, pfd[0]);
  if (quiet) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(pfd[1]);
  if (rc != 0) {
    close(pfd[0]);
    return -1;
  }
  std::string text;
  char buf[65536];
  ssize_t n;
  while ((n = read(pfd[0], buf, sizeof buf)) > 0) text.append(buf, size_t(n));
  close(pfd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Debian's interpreter with the modules the reference scripts need.
inline bool havePython(const std::string& modules) {
  return access("/usr/bin/python3", X_OK) == 0 && run({"/usr/bin/python3", "-c", "import " + modules}) == 0;
}

inline bool haveProgram(const std::string& name) { return run({"sh", "-c", "command -v " + name}) == 0; }

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline std::vector<double> readDoubles(const std::string& path) {
  std::vector<uint8_t> b = readFile(path);
  std::vector<double> v(b.size() / 8);
  std::memcpy(v.data(), b.data(), v.size() * 8);
  return v;
}

inline bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

inline uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
inline uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A TIFF file built entry by entry, little- or big-endian.  Each page lists its entries; the
// builder places the pixel data and out-of-line values and fills in STRIPOFFSETS (tag 273) from
// the page's strips.
struct TiffEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  std::vector<uint32_t> values;  // one per count (SHORT or LONG), or raw 32-bit patterns
};

struct TiffPage {
  std::vector<TiffEntry> entries;       // without STRIPOFFSETS
  std::vector<std::vector<uint8_t>> strips;  // bytes of each strip, in file byte order
  bool writeStripOffsets = true;
};

class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian) : m_big(bigEndian) {}

  std::vector<uint8_t> build(const std::vector<TiffPage>& pages, uint32_t* firstIfdOverride = nullptr) {
    std::vector<uint8_t> f;
    if (m_big) {
      f = {0x4D, 0x4D, 0x00, 0x2A};
    } else {
      f = {0x49, 0x49, 0x2A, 0x00};
    }
    put32(f, 0);  // patched below
    size_t prevNextAt = 4;
    for (const TiffPage& p : pages) {
      std::vector<uint32_t> offs;
      for (const auto& s : p.strips) {
        offs.push_back(uint32_t(f.size()));
        f.insert(f.end(), s.begin(), s.end());
      }
      std::vector<TiffEntry> entries = p.entries;
      if (p.writeStripOffsets) entries.push_back({273, 4, uint32_t(offs.size()), offs});
      std::sort(entries.begin(), entries.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
      // Out-of-line values first.
      std::vector<uint32_t> where(entries.size(), 0);
      for (size_t i = 0; i < entries.size(); ++i) {
        const TiffEntry& e = entries[i];
        const int ts = e.type == 3 ? 2 : 4;
        if (uint64_t(ts) * e.count > 4) {
          where[i] = uint32_t(f.size());
          for (uint32_t v : e.values) ts == 2 ? put16(f, uint16_t(v)) : put32(f, v);
        }
      }
      if (f.size() % 2) f.push_back(0);
      const uint32_t ifd = uint32_t(f.size());
      patch32(f, prevNextAt, ifd);
      put16(f, uint16_t(entries.size()));
      for (size_t i = 0; i < entries.size(); ++i) {
        const TiffEntry& e = entries[i];
        put16(f, e.tag);
        put16(f, e.type);
        put32(f, e.count);
        const int ts = e.type == 3 ? 2 : 4;
        if (uint64_t(ts) * e.count > 4) {
          put32(f, where[i]);
        } else if (ts == 2) {
          put16(f, e.values.empty() ? 0 : uint16_t(e.values[0]));
          put16(f, e.values.size() > 1 ? uint16_t(e.values[1]) : 0);
        } else {
          put32(f, e.values.empty() ? 0 : e.values[0]);
        }
      }
      prevNextAt = f.size();
      put32(f, 0);
    }
    if (firstIfdOverride) patch32(f, 4, *firstIfdOverride);
    return f;
  }

  void put16(std::vector<uint8_t>& f, uint16_t v) const {
    if (m_big) {
      f.push_back(uint8_t(v >> 8));
      f.push_back(uint8_t(v));
    } else {
      f.push_back(uint8_t(v));
      f.push_back(uint8_t(v >> 8));
    }
  }
  void put32(std::vector<uint8_t>& f, uint32_t v) const {
    for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (m_big ? 24 - 8 * i : 8 * i)));
  }
  void patch32(std::vector<uint8_t>& f, size_t at, uint32_t v) const {
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (m_big ? 24 - 8 * i : 8 * i));
  }
  // Samples of a 16-bit page in the file's byte order.
  std::vector<uint8_t> samples16(const std::vector<uint16_t>& v) const {
    std::vector<uint8_t> b;
    for (uint16_t s : v) put16(b, s);
    return b;
  }

 private:
  bool m_big;
};

// A grey 8-bit page of W x H in one strip per rowsPerStrip rows (0: no ROWSPERSTRIP tag).
inline TiffPage grey8Page(int W, int H, int rowsPerStrip, uint8_t base) {
  TiffPage p;
  p.entries = {{256, 3, 1, {uint32_t(W)}}, {257, 3, 1, {uint32_t(H)}}, {258, 3, 1, {8}},
               {259, 3, 1, {1}},           {262, 3, 1, {1}},           {277, 3, 1, {1}}};
  if (rowsPerStrip > 0) p.entries.push_back({278, 3, 1, {uint32_t(rowsPerStrip)}});
  const int rps = rowsPerStrip > 0 ? rowsPerStrip : H;
  for (int y0 = 0; y0 < H; y0 += rps) {
    std::vector<uint8_t> s;
    for (int y = y0; y < std::min(H, y0 + rps); ++y)
      for (int x = 0; x < W; ++x) s.push_back(uint8_t(base + y * W + x));
    p.strips.push_back(s);
  }
  return p;
}

}  // namespace files_test
