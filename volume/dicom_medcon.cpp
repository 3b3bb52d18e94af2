#include "volume/dicom_medcon.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>

#include "platform/Progress.h"
#include "platform/Prompt.h"

extern char** environ;

namespace {

const char kMsgNoAccess[] =
    "XMedConがDcmファイルにアクセスできません．file pathに不正な文字や記号が含まれている可能性があります"
    ".ファイルをデスクトップ等においてリトライしてみてください．";
const char kMsgSizeDiffers[] = "サイズの異なるdcmファイルが含まれており、ロードできません";
const char kMsgMultiPage[] = "マルチページDicomファイルが含まれておりここから開けません";

void showMessage(const std::string& text) {
  t_prompts().message(text, "Kestrin", PromptButtons::Ok, PromptIcon::None);
}

std::string lastLines(const std::string& text, size_t maxChars) {
  std::string t = text;
  while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
  if (t.size() > maxChars) t = "..." + t.substr(t.size() - maxChars);
  return t;
}

// Runs "medcon -n -f PATH -c - bin" with its standard output into *out and its standard error
// into a private, already unlinked temporary file whose contents go to *err.  No shell is
// involved, so any file name works.  False when the converter cannot be run or fails.
bool runMedcon(const std::string& path, std::string* out, std::string* err, std::string* why) {
  out->clear();
  err->clear();
  int pfd[2];
  if (pipe2(pfd, O_CLOEXEC) != 0) {
    *why = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  const char* tmpdir = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/kestrin-medcon-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int efd = mkostemp(name.data(), O_CLOEXEC);
  if (efd < 0) {
    *why = std::string("cannot create a temporary file in ") + tmpl + ": " + std::strerror(errno);
    ::close(pfd[0]);
    ::close(pfd[1]);
    return false;
  }
  ::unlink(name.data());

  // A name starting with '-' would be taken for an option.
  std::string arg = (!path.empty() && path[0] == '-') ? "./" + path : path;
  const char* argv[] = {"medcon", "-n", "-f", arg.c_str(), "-c", "-", "bin", nullptr};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, pfd[1], 1);
  posix_spawn_file_actions_adddup2(&fa, efd, 2);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, "medcon", &fa, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(pfd[1]);
  if (rc != 0) {
    *why = std::string("medcon cannot be started (") + std::strerror(rc) + "); is the medcon package installed?";
    ::close(pfd[0]);
    ::close(efd);
    return false;
  }
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(pfd[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out->append(buf, size_t(n));
  }
  ::close(pfd[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (lseek(efd, 0, SEEK_SET) == 0) {
    for (;;) {
      ssize_t n = ::read(efd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      err->append(buf, size_t(n));
    }
  }
  ::close(efd);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *why = "medcon failed on " + path + ": " + lastLines(*err, 300);
    return false;
  }
  return true;
}

int bytesPerSample(int bits) { return bits / 8; }

// i for a key "prefix" + "i]" with 0 <= i < count, else -1.
int indexedKey(const std::string& tok, const char* prefix, int count) {
  const size_t n = std::strlen(prefix);
  if (tok.size() != n + 2 || tok.compare(0, n, prefix) != 0 || tok[n + 1] != ']') return -1;
  const int i = tok[n] - '0';
  return i >= 0 && i < count ? i : -1;
}

}  // namespace

void XMedConIO::reset() {
  width = height = bits = type = -1;
  number = 1;
  pixdim[0] = pixdim[1] = pixdim[2] = 1.0;
  slope = 1.0;
  intercept = 0.0;
  position[0] = position[1] = position[2] = 0.0;
  hasPosition = false;
  for (double& o : orientation) o = 0.0;
  sliceSpacing = 0.0;
  samples.clear();
  error.clear();
}

void XMedConIO::parseHeader(const std::string& text) {
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  std::string tok;
  int posSeen = 0;
  while (in >> tok) {
    // medcon writes some keys with the colon attached ("image_orient_pat[0]: +1.0e+00").
    const bool colonAttached = tok.size() > 1 && tok.back() == ':';
    if (colonAttached) tok.pop_back();
    int* ival = nullptr;
    double* dval = nullptr;
    if (tok == "mwidth") ival = &width;
    else if (tok == "mheight") ival = &height;
    else if (tok == "number") ival = &number;
    else if (tok == "bits") ival = &bits;
    else if (tok == "type") ival = &type;
    else if (tok == "pixdim[1]") dval = &pixdim[0];
    else if (tok == "pixdim[2]") dval = &pixdim[1];
    else if (tok == "pixdim[3]") dval = &pixdim[2];
    else if (tok == "intercept") dval = &intercept;
    else if (tok == "quant_scale") dval = &slope;
    else if (tok == "slice_spacing") dval = &sliceSpacing;
    else if (int i = indexedKey(tok, "image_pos_pat[", 3); i >= 0) dval = &position[i];
    else if (int j = indexedKey(tok, "image_orient_pat[", 6); j >= 0) dval = &orientation[j];
    else continue;
    std::string colon;
    if (!colonAttached && (!(in >> colon) || colon != ":")) continue;
    std::string value;
    if (!(in >> value)) break;
    // A value that does not parse is skipped; the keys of interest are numbers.
    char* end = nullptr;
    if (ival) {
      long v = std::strtol(value.c_str(), &end, 10);
      if (end != value.c_str()) *ival = int(v);
    } else {
      double v = std::strtod(value.c_str(), &end);
      if (end != value.c_str()) {
        *dval = v;
        if (dval >= position && dval < position + 3) ++posSeen;
      }
    }
  }
  hasPosition = posSeen >= 3;
}

bool XMedConIO::setFileGetHeaderInfoWin(const std::string& path) {
  error.clear();
  if (path.empty()) {
    error = "no file name";
    return false;
  }
  std::fflush(stdout);
  std::string header;
  if (!runMedcon(path, &samples, &header, &error)) {
    if (error.rfind("medcon cannot be started", 0) == 0) {
      std::fprintf(stderr, "error in setFileGetHeaderInfoWin: NULL\n");
      std::fprintf(stderr, "cmd = %s\n", ("medcon -n -f " + path + " -c - bin").c_str());
    }
    samples.clear();
    return false;
  }
  // Lines are separated by blanks so that a value and the next line's key stay two tokens.
  std::replace(header.begin(), header.end(), '\n', ' ');
  parseHeader(header);
  if (!std::isfinite(slope) || slope == 0.0) slope = 1.0;
  if (!std::isfinite(intercept)) intercept = 0.0;
  if (samples.empty()) {
    error = "medcon gave no samples for " + path;
    return false;
  }
  if (type == 0 || type == 1 || type == 12) {
    error = "bit or text images cannot be read";
    return false;
  }
  if (bits != 8 && bits != 16 && bits != 24 && bits != 32 && bits != 64) {
    error = "samples of " + std::to_string(bits) + " bits cannot be read";
    return false;
  }
  const bool mismatch = ((type == 2 || type == 3) && bits != 8) || ((type == 4 || type == 5) && bits != 16) ||
                        (type == 20 && bits != 24) ||
                        ((type == 6 || type == 7 || type == 10 || type == 13) && bits != 32) ||
                        ((type == 8 || type == 9 || type == 11) && bits != 64);
  if (mismatch) {
    error = "sample type " + std::to_string(type) + " with " + std::to_string(bits) + " bits";
    return false;
  }
  return true;
}

bool XMedConIO::getVolumeGray(double** rows) {
  if (width < 1 || height < 1 || !(pixdim[0] > 0) || !(pixdim[1] > 0) || !(pixdim[2] > 0)) {
    error = "the image has no valid size or pixel spacing";
    return false;
  }
  const int bps = bytesPerSample(bits);
  const size_t need = size_t(width) * size_t(height) * size_t(bps);
  if (samples.size() < need) {
    error = "the converter gave " + std::to_string(samples.size()) + " bytes of samples where the " +
            std::to_string(width) + " x " + std::to_string(height) + " image needs " + std::to_string(need);
    return false;
  }
  bool known = (bits == 8 && (type == 2 || type == 3)) || (bits == 16 && (type == 4 || type == 5)) ||
               (bits == 32 && (type == 10 || type == 13 || type == 6 || type == 7));
  if (!known) {
    error = "samples of type " + std::to_string(type) + " with " + std::to_string(bits) +
            " bits cannot be converted";
    return false;
  }
  const uint8_t* s = reinterpret_cast<const uint8_t*>(samples.data());
  for (int y = 0; y < height; ++y) {
    double* row = rows[y];
    const uint8_t* p = s + size_t(y) * size_t(width) * size_t(bps);
    for (int x = 0; x < width; ++x, p += bps) {
      double v = 0;
      switch (type) {
        case 2: v = int8_t(p[0]); break;
        case 3: v = p[0]; break;
        case 4: { int16_t t; std::memcpy(&t, p, 2); v = t; break; }
        case 5: { uint16_t t; std::memcpy(&t, p, 2); v = t; break; }
        case 6: { int32_t t; std::memcpy(&t, p, 4); v = t; break; }
        case 7: { uint32_t t; std::memcpy(&t, p, 4); v = t; break; }
        default: { float t; std::memcpy(&t, p, 4); v = t; break; }
      }
      row[x] = v * slope + intercept;
    }
  }
  return true;
}

bool XMedConIO::getVolumeColor(double** red, double** green, double** blue) {
  if (width < 1 || height < 1 || !(pixdim[0] > 0) || !(pixdim[1] > 0) || !(pixdim[2] > 0) || bits != 24) {
    error = "the image is not an RGB image of a valid size";
    return false;
  }
  const size_t need = size_t(width) * size_t(height) * 3;
  if (samples.size() < need) {
    error = "the converter gave fewer samples than the RGB image needs";
    return false;
  }
  const uint8_t* s = reinterpret_cast<const uint8_t*>(samples.data());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = s + 3 * (size_t(y) * size_t(width) + size_t(x));
      red[y][x] = p[0];
      green[y][x] = p[1];
      blue[y][x] = p[2];
    }
  return true;
}

namespace {

enum class SliceResult { Ok, NoAccess, NoConverter, Size, MultiPage, Convert };

// Runs the converter on one slice and checks its header against the volume's size (W = 0: the
// first slice, which sets the size).
SliceResult runSlice(const std::string& path, int W, int H, XMedConIO* io) {
  io->reset();
  if (!io->setFileGetHeaderInfoWin(path))
    return io->error.rfind("medcon cannot be started", 0) == 0 ? SliceResult::NoConverter : SliceResult::NoAccess;
  if (W > 0 && (io->width != W || io->height != H)) return SliceResult::Size;
  if (io->number != 1) return SliceResult::MultiPage;
  if (io->width < 1 || io->height < 1) {
    io->error = "medcon reports the image size " + std::to_string(io->width) + " x " + std::to_string(io->height);
    return SliceResult::Convert;
  }
  const size_t need = size_t(io->width) * size_t(io->height) * size_t(io->bits / 8);
  if (io->samples.size() != need) {
    io->error = "the converter gave " + std::to_string(io->samples.size()) + " bytes of samples where the " +
                std::to_string(io->width) + " x " + std::to_string(io->height) + " image needs " +
                std::to_string(need) + " (the file may be damaged)";
    return SliceResult::Convert;
  }
  if (io->bits == 64) {
    io->error = "64-bit samples cannot be read";
    return SliceResult::Convert;
  }
  if (io->bits == 24 && io->type != 20) {
    io->error = "24-bit samples that are not RGB cannot be read";
    return SliceResult::Convert;
  }
  return SliceResult::Ok;
}

// Converts the slice the converter gave into its place of the volume.
SliceResult convertSlice(XMedConIO* io, float* dst) {
  const int W = io->width, H = io->height;
  const bool rgb = io->type == 20;
  try {
    std::vector<double> plane(size_t(W) * size_t(H) * (rgb ? 3 : 1));
    std::vector<double*> rows(size_t(H) * (rgb ? 3 : 1));
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = plane.data() + i * size_t(W);
    const size_t n = size_t(W) * size_t(H);
    if (rgb) {
      if (!io->getVolumeColor(rows.data(), rows.data() + H, rows.data() + 2 * H)) return SliceResult::Convert;
      for (size_t i = 0; i < n; ++i) dst[i] = float(std::max(plane[i], std::max(plane[n + i], plane[2 * n + i])));
    } else {
      if (!io->getVolumeGray(rows.data())) return SliceResult::Convert;
      for (size_t i = 0; i < n; ++i) dst[i] = float(plane[i]);
    }
  } catch (const std::bad_alloc&) {
    io->error = "not enough memory";
    return SliceResult::Convert;
  }
  io->samples.clear();
  io->samples.shrink_to_fit();
  return SliceResult::Ok;
}

// Orders the slices by their position along the normal of the first slice's orientation (the z
// axis when it has none): order[k] is the list index of slice k, *pitchZ the mean distance of
// neighbouring positions.  False when a slice has no position or two share one (medcon reads a
// missing position as the origin, so a series without positions has all its slices there).
bool positionOrder(const std::vector<double>& pos, const std::vector<char>& hasPos, const double orient[6],
                   std::vector<int>* order, double* pitchZ) {
  const int d = int(hasPos.size());
  if (d < 2) return false;
  for (char h : hasPos)
    if (!h) return false;
  double n[3] = {orient[1] * orient[5] - orient[2] * orient[4], orient[2] * orient[3] - orient[0] * orient[5],
                 orient[0] * orient[4] - orient[1] * orient[3]};
  const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  if (std::isfinite(len) && len > 1e-6) {
    for (double& c : n) c /= len;
  } else {
    n[0] = n[1] = 0.0;
    n[2] = 1.0;
  }
  std::vector<double> key(size_t(d), 0.0);
  double largest = 0.0;
  for (size_t z = 0; z < size_t(d); ++z) {
    key[z] = pos[3 * z] * n[0] + pos[3 * z + 1] * n[1] + pos[3 * z + 2] * n[2];
    if (!std::isfinite(key[z])) return false;
    largest = std::max(largest, std::fabs(key[z]));
  }
  order->resize(size_t(d));
  for (int z = 0; z < d; ++z) (*order)[size_t(z)] = z;
  std::stable_sort(order->begin(), order->end(), [&](int a, int b) { return key[size_t(a)] < key[size_t(b)]; });
  // medcon prints positions with seven significant digits: closer than that is the same place.
  const double same = 1e-5 * largest + 1e-6;
  double minGap = HUGE_VAL, maxGap = 0.0;
  for (size_t k = 0; k + 1 < size_t(d); ++k) {
    const double gap = key[size_t((*order)[k + 1])] - key[size_t((*order)[k])];
    minGap = std::min(minGap, gap);
    maxGap = std::max(maxGap, gap);
  }
  if (!(minGap > same)) return false;
  *pitchZ = (key[size_t(order->back())] - key[size_t(order->front())]) / (d - 1);
  if (maxGap - minGap > 0.01 * *pitchZ + 2 * same)
    std::fprintf(stderr,
                 "t_loadVolDcm: the slice spacing is uneven (%g to %g mm); the z pitch is the mean spacing "
                 "%g mm\n",
                 minGap, maxGap, *pitchZ);
  return true;
}

// Puts slice order[k] of the volume at place k, one slice at a time.
bool permuteSlices(float* vol, size_t plane, const std::vector<int>& order) {
  std::vector<float> held;
  std::vector<char> placed(order.size(), 0);
  try {
    held.resize(plane);
  } catch (const std::bad_alloc&) {
    return false;
  }
  auto at = [&](size_t k) { return vol + k * plane; };
  for (size_t start = 0; start < order.size(); ++start) {
    if (placed[start] || size_t(order[start]) == start) continue;
    std::copy(at(start), at(start) + plane, held.data());
    size_t j = start;
    for (;;) {
      placed[j] = 1;
      const size_t k = size_t(order[j]);
      if (k == start) {
        std::copy(held.begin(), held.end(), at(j));
        break;
      }
      std::copy(at(k), at(k) + plane, at(j));
      j = k;
    }
  }
  return true;
}

bool reportSlice(SliceResult r, const std::string& path, const std::string& error) {
  if (r == SliceResult::Ok) return true;
  std::fprintf(stderr, "t_loadVolDcm: %s: %s\n", path.c_str(), error.c_str());
  switch (r) {
    case SliceResult::NoAccess: showMessage(kMsgNoAccess); break;
    case SliceResult::NoConverter: showMessage("DICOM files are read through the medcon converter: " + error); break;
    case SliceResult::Size: showMessage(kMsgSizeDiffers); break;
    case SliceResult::MultiPage: showMessage(kMsgMultiPage); break;
    default: showMessage("The DICOM file cannot be read: " + error + ".\n" + path); break;
  }
  return false;
}

}  // namespace

bool t_loadVolDcm(std::vector<std::string>& fileNames, int* W, int* H, int* D, float** values,
                  double pitch[3]) {
  *W = *H = *D = 0;
  std::vector<std::string> names;
  names.swap(fileNames);
  if (names.empty()) return false;

  // The first slice gives the size of all of them.
  XMedConIO first;
  SliceResult r0 = runSlice(names[0], 0, 0, &first);
  if (r0 != SliceResult::Ok) return reportSlice(r0, names[0], first.error);
  const int w = first.width, h = first.height, d = int(names.size());
  const size_t plane = size_t(w) * size_t(h);
  float* vol = nullptr;
  try {
    vol = new float[plane * size_t(d)];
  } catch (const std::bad_alloc&) {
    showMessage("Not enough memory for a volume of " + std::to_string(w) + " x " + std::to_string(h) +
                " x " + std::to_string(d) + " voxels.");
    return false;
  }
  r0 = convertSlice(&first, vol);
  if (r0 != SliceResult::Ok) {
    delete[] vol;
    return reportSlice(r0, names[0], first.error);
  }

  // The other slices run the converter in parallel; the first failure in list order is reported.
  std::vector<SliceResult> result(static_cast<size_t>(d), SliceResult::Ok);
  std::vector<std::string> errors(static_cast<size_t>(d));
  std::vector<double> pos(size_t(d) * 3, 0.0);
  std::vector<char> hasPos(size_t(d), 0);
  for (int i = 0; i < 3; ++i) pos[size_t(i)] = first.position[i];
  hasPos[0] = first.hasPosition;
  std::atomic<int> done{1};
  std::atomic<bool> stop{false};
#pragma omp parallel for schedule(dynamic, 1)
  for (int z = 1; z < d; ++z) {
    if (stop.load(std::memory_order_relaxed)) continue;
    XMedConIO io;
    SliceResult r = runSlice(names[size_t(z)], w, h, &io);
    if (r == SliceResult::Ok) r = convertSlice(&io, vol + size_t(z) * plane);
    result[size_t(z)] = r;
    errors[size_t(z)] = io.error;
    if (r != SliceResult::Ok) stop = true;
    for (int i = 0; i < 3; ++i) pos[size_t(z) * 3 + size_t(i)] = io.position[i];
    hasPos[size_t(z)] = io.hasPosition;
    t_progressStep(int(50.0 * (++done) / d));
  }
  for (int z = 1; z < d; ++z) {
    if (result[size_t(z)] != SliceResult::Ok) {
      delete[] vol;
      return reportSlice(result[size_t(z)], names[size_t(z)], errors[size_t(z)]);
    }
  }
  std::vector<int> order;
  double pitchZ = 0.0;
  if (!positionOrder(pos, hasPos, first.orientation, &order, &pitchZ)) {
    order.clear();
    pitchZ = std::isfinite(first.sliceSpacing) && first.sliceSpacing > 0 ? first.sliceSpacing : first.pixdim[2];
    if (d >= 2)
      std::fprintf(stderr,
                   "t_loadVolDcm: the slices carry no positions that tell them apart; they keep the order of "
                   "their names, z pitch %g mm from the slice spacing\n",
                   pitchZ);
  } else if (!permuteSlices(vol, plane, order)) {
    delete[] vol;
    showMessage("Not enough memory to put the slices in order.");
    return false;
  }
  *W = w;
  *H = h;
  *D = d;
  *values = vol;
  if (pitch) {
    pitch[0] = first.pixdim[0];
    pitch[1] = first.pixdim[1];
    pitch[2] = pitchZ;
  }
  return true;
}
