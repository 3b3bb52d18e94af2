// Reads a 512^3 16-bit TIFF with t_loadVolTIFgry and, in the same run, with python3-tifffile's
// imread; prints both wall-clock times (best of several runs, file in the page cache) and their
// ratio.  usage: bench_volume_tiff [size] [repeats]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "volume/volume_readers.h"

extern char** environ;

namespace {

std::string runPython(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"/usr/bin/python3", std::string(BENCH_SCRIPT_DIR) + "/tifffile_reference.py"};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pfd[2];
  if (pipe(pfd) != 0) return "";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, pfd[1], 1);
  posix_spawn_file_actions_addclose(&fa, pfd[0]);
  pid_t pid;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) return "";
  posix_spawn_file_actions_destroy(&fa);
  close(pfd[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(pfd[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  close(pfd[0]);
  int status;
  waitpid(pid, &status, 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int size = argc > 1 ? std::atoi(argv[1]) : 512;
  const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
  const char* tmp = std::getenv("TMPDIR");
  const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrin_bench_volume_tiff.tif";

  std::printf("writing %d^3 uint16 TIFF with tifffile: %s\n", size, path.c_str());
  const std::string sumText = runPython({"write", path, std::to_string(size)});
  if (sumText.empty()) {
    std::fprintf(stderr, "/usr/bin/python3 with tifffile is needed\n");
    return 1;
  }
  const unsigned long long expectedSum = std::strtoull(sumText.c_str(), nullptr, 10);

  double best = 1e30;
  unsigned long long sum = 0;
  for (int r = 0; r < repeats; ++r) {
    int W = 0, H = 0, D = 0;
    float* v = nullptr;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = t_loadVolTIFgry(path, &W, &H, &D, &v);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok) {
      std::fprintf(stderr, "t_loadVolTIFgry failed\n");
      return 1;
    }
    if (s < best) best = s;
    if (r == 0) {
      sum = 0;
      for (size_t i = 0, n = size_t(W) * H * D; i < n; ++i) sum += (unsigned long long)v[i];
    }
    delete[] v;
  }
  std::fflush(stdout);
  const std::string ref = runPython({"read", path, std::to_string(repeats)});
  const double refSeconds = std::atof(ref.c_str());
  // After seconds, shape and checksum, the reference line names what it measured.
  std::string measured;
  {
    std::istringstream in(ref);
    std::string field;
    for (int i = 0; in >> field; ++i)
      if (i >= 5) measured += (measured.empty() ? "" : " ") + field;
  }
  std::printf("t_loadVolTIFgry (uint16 -> float): %.4f s  (checksum %s)\n", best,
              sum == expectedSum ? "ok" : "MISMATCH");
  std::printf("tifffile.imread (uint16):          %.4f s  (%s)\n", refSeconds, measured.c_str());
  std::printf("ratio Kestrin / tifffile:           %.2f  (target: within 3)\n", best / refSeconds);
  unlink(path.c_str());
  return sum == expectedSum ? 0 : 1;
}
