#include "modes/region/kernels/seed_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>

namespace {

// Longest field the reader accepts; numbers written as "%f" stay far below it.
constexpr std::size_t kMaxField = 400;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void appendFixed(std::string& out, double v) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  if (r.ec == std::errc()) out.append(buf, r.ptr);
  else out += "0.000000";
}

// Whitespace-separated fields of a file, each at most kMaxField characters.
class FieldReader {
 public:
  explicit FieldReader(std::FILE* f) : f_(f) {}
  // False at the end of the file or for a field that is too long (tooLong() tells which).
  bool next(std::string& field) {
    field.clear();
    int c;
    do c = std::fgetc(f_);
    while (c != EOF && isSpace(c));
    while (c != EOF && !isSpace(c)) {
      if (field.size() == kMaxField) {
        tooLong_ = true;
        return false;
      }
      field.push_back(static_cast<char>(c));
      c = std::fgetc(f_);
    }
    return !field.empty();
  }
  bool tooLong() const { return tooLong_; }

 private:
  static bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
  std::FILE* f_;
  bool tooLong_ = false;
};

bool parseInt(const std::string& s, long long& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  const auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e;
}

bool parseDouble(const std::string& s, double& v) {
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  const auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e && std::isfinite(v);
}

TSeedFileResult fail(TSeedFileStatus s, const std::string& message) {
  TSeedFileResult r;
  r.status = s;
  r.message = message;
  return r;
}

}  // namespace

TSeedFileResult t_writeSrgSeedFile(const std::string& path, const std::vector<TSrgGroup>& groups) {
  std::string text = "groupNum " + std::to_string(groups.size()) + "\n";
  for (std::size_t g = 0; g < groups.size(); ++g) {
    text += "group " + std::to_string(g) + " seedNum " + std::to_string(groups[g].seeds.size()) + "\n";
    text += "color ";
    for (int c = 0; c < 3; ++c) {
      appendFixed(text, groups[g].color[c]);
      text += c < 2 ? " " : "\n";
    }
    for (const TVec3& p : groups[g].seeds) {
      for (int c = 0; c < 3; ++c) {
        appendFixed(text, p[c]);
        text += c < 2 ? " " : "\n";
      }
    }
  }
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) return fail(TSeedFileStatus::WriteFailed, "Cannot create the seed file " + path + ".");
  const bool written = std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
  const bool closed = std::fclose(f.release()) == 0;
  if (!written || !closed)
    return fail(TSeedFileStatus::WriteFailed, "The seed file " + path + " could not be written completely.");
  return {};
}

TSeedFileResult t_readSrgSeedFile(const std::string& path, std::vector<TSrgGroup>& groups) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) return fail(TSeedFileStatus::CannotOpen, "Cannot open the seed file " + path + ".");
  FieldReader in(f.get());
  std::string word, a, b, c;
  auto malformed = [&](const char* what) {
    return fail(TSeedFileStatus::Malformed,
                std::string("The seed file ") + path + " is malformed: " +
                    (in.tooLong() ? "a field is too long" : what) + ".");
  };

  long long n = 0;
  if (!in.next(word) || !in.next(a) || !parseInt(a, n)) return malformed("no group count");
  if (n < 0 || n > kSrgMaxGroups)
    return fail(TSeedFileStatus::TooManyGroups, "The seed file " + path + " has " + a +
                                                    " groups; seeded region growing takes 0 to " +
                                                    std::to_string(kSrgMaxGroups) + ".");
  std::vector<TSrgGroup> read(static_cast<std::size_t>(n));
  for (long long g = 0; g < n; ++g) {
    long long index = 0, seeds = 0;
    if (!in.next(word) || !in.next(a) || !parseInt(a, index) || !in.next(word) || !in.next(b) ||
        !parseInt(b, seeds))
      return malformed("a group header is incomplete");
    if (index < 0 || index >= n)
      return fail(TSeedFileStatus::IndexOutOfRange, "The seed file " + path + " names group " + a +
                                                        " of " + std::to_string(n) + " groups.");
    if (seeds < 0)
      return fail(TSeedFileStatus::IndexOutOfRange,
                  "The seed file " + path + " gives group " + a + " " + b + " seeds.");
    TSrgGroup& grp = read[static_cast<std::size_t>(g)];
    if (!in.next(word) || !in.next(a) || !in.next(b) || !in.next(c) ||
        !parseDouble(a, grp.color[0]) || !parseDouble(b, grp.color[1]) || !parseDouble(c, grp.color[2]))
      return malformed("a group colour is incomplete");
    for (double& v : grp.color) v = std::fmin(std::fmax(v, 0.0), 1.0);
    for (long long s = 0; s < seeds; ++s) {
      TVec3 p;
      if (!in.next(a) || !in.next(b) || !in.next(c) || !parseDouble(a, p[0]) ||
          !parseDouble(b, p[1]) || !parseDouble(c, p[2]))
        return malformed("a seed is missing or not three numbers");
      grp.seeds.push_back(p);
    }
  }
  groups = std::move(read);
  return {};
}
