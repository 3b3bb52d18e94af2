// Times TDenseSqMat::factorLU + solveLU, and factorLUPartial + solveLU over half of the order,
// against scipy.linalg.lu_factor + lu_solve (LAPACK of the resolved libblas.so.3, OpenBLAS with
// libopenblas0-pthread) on the same matrices in the same run; and the own sparse LU against the
// UMFPACK component on a Laplacian-plus-constraints system of a 10,000-vertex grid mesh.  The
// reference runs as /usr/bin/python3 with OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE unset in its
// own command, so that OpenBLAS picks its kernels for this processor.  Run from the build's bin/:
//   ./bench_solvers [n ...]
#include <omp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "geom/TDenseSqMat.h"
#include "geom/TSparseMatrix.h"
#include "geom/umfpack_component.h"

namespace {
double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

const int kRepeats = 5;

// Runs the reference script in its own environment and returns its standard output.
std::string runReference(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"/usr/bin/env", "-u", "OPENBLAS_CORETYPE", "-u", "OPENBLAS_L2_SIZE",
                                  "/usr/bin/python3", KESTRIN_BENCH_LU_SCRIPT};
  all.insert(all.end(), args.begin(), args.end());
  int fd[2];
  if (pipe(fd) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fd[1], 1);
    close(fd[0]);
    close(fd[1]);
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fd[1]);
  std::string out;
  char buf[4096];
  ssize_t got;
  while ((got = read(fd[0], buf, sizeof buf)) > 0) out.append(buf, size_t(got));
  close(fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return out;
}

bool writeRaw(const std::string& path, const std::vector<double>& v) {
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return false;
  const bool ok = std::fwrite(v.data(), sizeof(double), v.size(), fp) == v.size();
  return std::fclose(fp) == 0 && ok;
}

std::vector<double> readRaw(const std::string& path, size_t n) {
  std::vector<double> v(n, NAN);
  if (FILE* fp = std::fopen(path.c_str(), "rb")) {
    if (std::fread(v.data(), sizeof(double), n, fp) != n) std::fill(v.begin(), v.end(), NAN);
    std::fclose(fp);
  }
  return v;
}

void load(TDenseSqMat& m, const std::vector<double>& a, int n) {
  for (int i = 0; i < n; ++i) {
    std::copy(a.begin() + static_cast<long>(i) * n, a.begin() + static_cast<long>(i + 1) * n, m.rows[i]);
    m.rowPerm[i] = i;
    m.colPerm[i] = i;
  }
}

// The reference on the same system: best seconds and its solution (empty when it did not run).
double reference(const std::vector<double>& a, const std::vector<double>& b, int n, std::vector<double>* x) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrin_bench_lu_" + std::to_string(getpid());
  const std::string ma = dir + "_a.raw", mb = dir + "_b.raw", mx = dir + "_x.raw";
  double t = -1.0;
  if (writeRaw(ma, a) && writeRaw(mb, b)) {
    const std::string out = runReference({"solve", ma, mb, std::to_string(n), std::to_string(kRepeats), mx});
    if (!out.empty()) t = std::atof(out.c_str());
    if (t > 0) *x = readRaw(mx, size_t(n));
  }
  std::remove(ma.c_str());
  std::remove(mb.c_str());
  std::remove(mx.c_str());
  return t;
}

double maxDiff(const std::vector<double>& x, const std::vector<double>& y) {
  double d = 0;
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) d = std::max(d, std::fabs(x[i] - y[i]));
  return d;
}

void benchDense(int n) {
  std::mt19937 rng(n);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> a(static_cast<size_t>(n) * n), b(n);
  for (auto& v : a) v = u(rng);
  for (auto& v : b) v = u(rng);

  // Full factorisation with row pivoting.
  TDenseSqMat m(n);
  std::vector<double> x(n);
  double best = 1e30;
  for (int r = 0; r < kRepeats; ++r) {
    load(m, a, n);
    const double t0 = now();
    m.factorLU();
    m.solveLU(b.data(), x.data());
    best = std::min(best, now() - t0);
  }
  std::vector<double> xr;
  const double tRef = reference(a, b, n, &xr);
  if (tRef > 0)
    std::printf("dense n=%5d  factorLU+solveLU %.3f s   scipy lu_factor+lu_solve %.3f s   ratio %.2f   max|dx| %.2e\n",
                n, best, tRef, best / tRef, maxDiff(x, xr));
  else
    std::printf("dense n=%5d  factorLU+solveLU %.3f s   the reference did not run\n", n, best);

  // Continued factorisation: the leading half factorised, the rest appended (diagonal pivots,
  // so a diagonally dominant system), against a full reference factorisation of order n.
  std::vector<double> d = a;
  for (int i = 0; i < n; ++i) d[static_cast<size_t>(i) * n + i] += n;
  const int k0 = n / 2;
  TDenseSqMat lead(k0);
  for (int i = 0; i < k0; ++i) std::copy(&d[static_cast<size_t>(i) * n], &d[static_cast<size_t>(i) * n] + k0, lead.rows[i]);
  lead.factorLU();
  best = 1e30;
  for (int r = 0; r < kRepeats; ++r) {
    load(m, d, n);
    m.copyFrom(lead, k0);
    const double t0 = now();
    m.factorLUPartial(k0);
    m.solveLU(b.data(), x.data());
    best = std::min(best, now() - t0);
  }
  const double tRef2 = reference(d, b, n, &xr);
  if (tRef2 > 0)
    std::printf("dense n=%5d  factorLUPartial(%d)+solveLU %.3f s   scipy lu_factor+lu_solve (full) %.3f s   ratio %.2f   "
                "max|dx| %.2e\n",
                n, k0, best, tRef2, best / tRef2, maxDiff(x, xr));
}

// Umbrella Laplacian of a side x side grid plus identity rows on every 50th vertex, as normal
// equations L^T L (the region-of-interest deformation's system).
void fillGridSystem(TSparseMatrix& lap, int side) {
  const int n = side * side;
  for (int y = 0; y < side; ++y)
    for (int xx = 0; xx < side; ++xx) {
      const int i = y * side + xx;
      std::vector<int> ring;
      if (xx > 0) ring.push_back(i - 1);
      if (xx + 1 < side) ring.push_back(i + 1);
      if (y > 0) ring.push_back(i - side);
      if (y + 1 < side) ring.push_back(i + side);
      if (i % 50 == 0) ring.clear();
      std::vector<TSparseEntry> row;
      row.push_back({i, 1.0});
      for (int j : ring) row.push_back({j, -1.0 / ring.size()});
      std::sort(row.begin(), row.end(), [](auto& p, auto& q) { return p.col < q.col; });
      lap.rowLists[i] = row;
    }
  (void)n;
}

void benchSparse(const std::string& component) {
  const int side = 100, n = side * side;
  TSparseMatrix lap(n, n), sys(n, n);
  fillGridSystem(lap, side);
  const int nnz = lap.multAAt(sys);
  sys.allocFields(nnz);
  std::vector<double> b(n), x1(n), x2(n);
  for (int i = 0; i < n; ++i) b[i] = std::sin(i * 0.01);

  t_freeUmfpackDll();
  double t0 = now();
  sys.factorLU();
  sys.solveLU(b.data(), x1.data());
  const double tOwn = now() - t0;
  sys.freeFactors();

  if (!t_loadUmfpackDllFile(component)) {
    std::printf("sparse: component %s not loadable\n", component.c_str());
    return;
  }
  t0 = now();
  sys.factorLU();
  sys.solveLU(b.data(), x2.data());
  const double tUmf = now() - t0;
  sys.freeFactors();
  double diff = 0;
  for (int i = 0; i < n; ++i) diff = std::max(diff, std::fabs(x1[i] - x2[i]));
  std::printf("sparse n=%d nnz=%d  own LU %.3f s   UMFPACK %.3f s   ratio %.2f   max|dx| %.2e\n", n,
              nnz, tOwn, tUmf, tOwn / tUmf, diff);
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes = {1000, 2000, 4000};
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  }
  std::printf("dense LU: %d OpenMP threads, %d cores, best of %d runs\n", omp_get_max_threads(),
              int(sysconf(_SC_NPROCESSORS_ONLN)), kRepeats);
  std::printf("reference: %s", runReference({"info"}).c_str());
  std::fflush(stdout);
  std::freopen("/dev/null", "w", stderr);  // the solvers' console traces
  for (int n : sizes) {
    benchDense(n);
    std::fflush(stdout);
  }
  benchSparse(std::string("./") + kUmfpackComponentName);
  return 0;
}
