// Iso-surface extraction at 256^3 and 512^3: t_marchingCubesFloat (including the TTriangleMesh
// build) against VTK's vtkMarchingCubes and vtkFlyingEdges3D on the same field, in the same
// run.  Two fields: a noisy lobed sphere (one large surface) and many small noisy blobs (the
// surface of a noisy mask: millions of triangles in thousands of pieces).
//
//   bench_geom_mc [N ...]        (default: 256 512; the field goes to $TMPDIR or /tmp)
#include <omp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "geom/marching_cubes.h"

namespace {

// Integer hash noise in [-1, 1], the same for every thread count.
float hashNoise(uint32_t x, uint32_t y, uint32_t z) {
  uint32_t h = x * 73856093u ^ y * 19349663u ^ z * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return float(h & 0xFFFFFF) / float(0x7FFFFF) - 1.0f;
}

// Signed distance (in voxels) to a lobed sphere, plus half a voxel of noise.
std::vector<float> makeField(int N) {
  std::vector<float> f(size_t(N) * N * N);
  const double c = 0.5 * N, R = 0.33 * N;
#pragma omp parallel for schedule(static)
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const double dx = x + 0.5 - c, dy = y + 0.5 - c, dz = z + 0.5 - c;
        const double r = std::sqrt(dx * dx + dy * dy + dz * dz) + 1e-9;
        const double lobes = 0.12 * R * std::sin(3.0 * dx / r) * std::cos(2.0 * dy / r) + 0.08 * R * (dz / r) * (dz / r);
        f[size_t(x) + size_t(N) * (size_t(y) + size_t(N) * z)] =
            float(R + lobes - r + 0.5 * hashNoise(uint32_t(x), uint32_t(y), uint32_t(z)));
      }
  return f;
}

// Many small blobs: one sphere of radius 2-6 voxels per cell of a 30-voxel grid, its centre
// jittered inside the cell, plus a quarter voxel of noise.  The field is the signed distance
// to the sphere of the sample's own grid cell.
std::vector<float> makeBlobField(int N) {
  std::vector<float> f(size_t(N) * N * N);
  const int cell = 30;
  auto jitter = [](uint32_t a, uint32_t b, uint32_t c, uint32_t k) {
    return 0.5f * (hashNoise(a * 7u + k, b * 13u + 3u * k, c * 29u + 5u * k) + 1.0f);  // [0, 1]
  };
#pragma omp parallel for schedule(static)
  for (int z = 0; z < N; ++z)
    for (int y = 0; y < N; ++y)
      for (int x = 0; x < N; ++x) {
        const uint32_t a = uint32_t(x / cell), b = uint32_t(y / cell), c = uint32_t(z / cell);
        const double r = 2.0 + 4.0 * jitter(a, b, c, 1);
        const double cx = a * cell + 0.5 * cell + (cell - 2 * r - 2) * (jitter(a, b, c, 2) - 0.5);
        const double cy = b * cell + 0.5 * cell + (cell - 2 * r - 2) * (jitter(a, b, c, 3) - 0.5);
        const double cz = c * cell + 0.5 * cell + (cell - 2 * r - 2) * (jitter(a, b, c, 4) - 0.5);
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy, dz = z + 0.5 - cz;
        f[size_t(x) + size_t(N) * (size_t(y) + size_t(N) * z)] =
            float(r - std::sqrt(dx * dx + dy * dy + dz * dz) + 0.25 * hashNoise(uint32_t(x), uint32_t(y), uint32_t(z)));
      }
  return f;
}

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Runs the reference script with an argument vector and returns its standard output.
std::string runScript(const std::vector<std::string>& args) {
  int fd[2];
  if (pipe(fd) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fd[1], 1);
    close(fd[0]);
    close(fd[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fd[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  close(fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return out;
}

// Times one field against the reference script; false when the field cannot be written.
bool benchField(int N, const char* label, const std::string& tag, const std::vector<float>& field,
                const std::string& dir, int repeats) {
  const std::string raw = dir + "/kestrin_bench_mc_" + std::to_string(N) + "_" + tag + ".raw";
  FILE* fp = fopen(raw.c_str(), "wb");
  if (!fp || fwrite(field.data(), sizeof(float), field.size(), fp) != field.size()) {
    fprintf(stderr, "cannot write %s\n", raw.c_str());
    return false;
  }
  fclose(fp);
  const double ext[3] = {double(N), double(N), double(N)};
  const float iso = 0.0f;
  double best = 1e30, bestExtract = 1e30;
  int nv = 0, nt = 0;
  for (int r = 0; r < repeats; ++r) {
    // The extraction alone, then the full call with the mesh build.
    std::vector<TVec3> v;
    std::vector<TPolyIdx> t;
    double t0 = now();
    t_marchingCubesFloatArrays(N, N, N, field.data(), iso, ext, v, t, nullptr, nullptr);
    bestExtract = std::min(bestExtract, now() - t0);
    TTriangleMesh mesh;
    t0 = now();
    t_marchingCubesFloat(N, N, N, field.data(), iso, ext, mesh, nullptr, nullptr);
    best = std::min(best, now() - t0);
    nv = mesh.vertexCount;
    nt = mesh.polyCount;
  }
  printf("\n%d^3 %s: t_marchingCubesFloat %.4f s (extraction alone %.4f s, mesh build %.4f s) %d vertices %d triangles\n",
         N, label, best, bestExtract, best - bestExtract, nv, nt);
  fflush(stdout);
  const std::string out =
      runScript({"/usr/bin/python3", KESTRIN_BENCH_MC_SCRIPT, raw, std::to_string(N), std::to_string(N),
                 std::to_string(N), "0.0", std::to_string(N), std::to_string(N), std::to_string(N),
                 std::to_string(repeats)});
  double tMc = 0, tFe = 0;
  char name[64];
  double sec;
  long long pts, tris;
  size_t pos = 0;
  while (pos < out.size()) {
    const size_t e = out.find('\n', pos);
    const std::string line = out.substr(pos, e == std::string::npos ? std::string::npos : e - pos);
    pos = e == std::string::npos ? out.size() : e + 1;
    if (sscanf(line.c_str(), "%63s %lf %lld %lld", name, &sec, &pts, &tris) == 4) {
      printf("%d^3 %s: %s %.4f s %lld points %lld triangles\n", N, label, name, sec, pts, tris);
      if (std::string(name) == "vtkMarchingCubes") tMc = sec;
      if (std::string(name) == "vtkFlyingEdges3D") tFe = sec;
    } else if (!line.empty()) {
      printf("%d^3 %s: %s\n", N, label, line.c_str());
    }
  }
  if (tMc > 0 && tFe > 0)
    printf("%d^3 %s: ratio to vtkMarchingCubes %.3f (extraction alone %.3f), ratio to vtkFlyingEdges3D %.3f "
           "(extraction alone %.3f)\n",
           N, label, best / tMc, bestExtract / tMc, best / tFe, bestExtract / tFe);
  else
    printf("%d^3 %s: the VTK reference did not run\n", N, label);
  remove(raw.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(atoi(argv[i]));
  if (sizes.empty()) sizes = {256, 512};
  const char* tmp = getenv("TMPDIR");
  const std::string dir = tmp && *tmp ? tmp : "/tmp";
  const int repeats = 3;
  printf("marching cubes benchmark: %d OpenMP threads, best of %d runs\n", omp_get_max_threads(), repeats);
  for (int N : sizes) {
    if (!benchField(N, "lobed sphere", "lobed", makeField(N), dir, repeats)) return 1;
    if (!benchField(N, "many blobs", "blobs", makeBlobField(N), dir, repeats)) return 1;
  }
  return 0;
}
