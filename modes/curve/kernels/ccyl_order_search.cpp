// Order search over the k-nearest-neighbour graph of the control points.
//
// The energy of an order is a sum of non-negative terms that become known one step at a
// time, so a depth-first search that keeps the three best complete orders can drop every
// partial path whose energy so far (plus a lower bound for the steps still to come)
// already exceeds the third best.  Ties are broken by the lexicographic order of the
// index sequences, which makes the result independent of the order in which the search
// visits the paths.  The partial energy is accumulated term by term in exactly the order
// t_pointOrderEnergy adds them, so the energy of a completed path is bit-identical to it.
#include "modes/curve/kernels/ccyl_order_search.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

const double kPi = 3.14159265358979323846;

// Distance tables and the bending term shared by the energy and the search.
struct Tables {
  int n = 0;
  const TPoints* pts = nullptr;
  std::vector<double> S;  // squared distances
  std::vector<double> D;  // distances
  mutable std::vector<double> bends;  // bend(a, r, v) once computed, -1 before; small sets only

  explicit Tables(const TPoints& p) : n(int(p.size())), pts(&p), S(size_t(n) * n, 0.0), D(size_t(n) * n, 0.0) {
    if (n <= 64) bends.assign(size_t(n) * n * n, -1.0);
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) {
        const double s = t_distSq3(p[size_t(i)], p[size_t(j)]);
        S[size_t(i) * n + j] = S[size_t(j) * n + i] = s;
        D[size_t(i) * n + j] = D[size_t(j) * n + i] = std::sqrt(s);
      }
  }
  double s(int i, int j) const { return S[size_t(i) * n + j]; }
  double d(int i, int j) const { return D[size_t(i) * n + j]; }

  // (θ - π)² at point r between the distinct points a (before) and v (after).
  double bend(int a, int r, int v) const {
    if (bends.empty()) return bendOf(a, r, v);
    double& b = bends[(size_t(a) * n + r) * n + v];
    if (b < 0.0) b = bendOf(a, r, v);
    return b;
  }

  double bendOf(int a, int r, int v) const {
    const TVec3& P = (*pts)[size_t(r)];
    double u[3], w[3];
    t_sub3((*pts)[size_t(a)], P, u);
    t_sub3((*pts)[size_t(v)], P, w);
    double c = t_dot3(u, w) / (d(v, r) * d(a, r));
    if (!std::isfinite(c)) {
      // The product of two tiny lengths underflowed: normalise each vector first.
      const double lu = d(a, r), lw = d(v, r);
      for (int k = 0; k < 3; ++k) {
        u[k] /= lu;
        w[k] /= lw;
      }
      c = t_dot3(u, w);
      if (std::isnan(c)) c = -1.0;
    }
    double theta;
    if (c < -0.99999)
      theta = kPi;
    else if (c > 0.99999)
      theta = 0.0;
    else
      theta = std::acos(c);
    return (theta - kPi) * (theta - kPi);
  }

  // The energy, adding the terms in the order the search adds them.
  double energy(const int* o, int len) const {
    double E = 0.0;
    int pending = -1;  // position of the last point that still waits for its bend
    for (int q = 1; q < len; ++q) {
      const int a = o[q - 1], v = o[q];
      E += s(a, v);
      if (d(a, v) != 0.0) {
        if (pending >= 1) E += bend(o[pending - 1], o[pending], v);
        pending = q;
      }
    }
    return E;
  }
};

struct Ranked {
  double E;
  std::vector<int> order;
};

// (E, order) ranks before (F, other): lower energy, then lexicographically smaller.
bool ranksBefore(double E, const std::vector<int>& a, double F, const std::vector<int>& b) {
  if (E != F) return E < F;
  return a < b;
}

class Search {
 public:
  Search(const TPoints& pts, const TPointDistanceGraph& g)
      : T(pts), n(int(pts.size())) {
    adj.assign(size_t(n) * n, 0);
    nbr.resize(size_t(n));
    minIn.assign(size_t(n), std::numeric_limits<double>::infinity());
    min2.assign(size_t(n), std::numeric_limits<double>::infinity());
    for (int i = 0; i < n && i < int(g.neighbours.size()); ++i)
      for (int j : g.neighbours[size_t(i)]) {
        if (j < 0 || j >= n || j == i) continue;
        adj[size_t(i) * n + j] = adj[size_t(j) * n + i] = 1;
      }
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j)
        if (adj[size_t(i) * n + j]) {
          nbr[size_t(i)].push_back(j);
          const double e = T.s(i, j);
          if (e < minIn[size_t(i)]) {
            min2[size_t(i)] = minIn[size_t(i)];
            minIn[size_t(i)] = e;
          } else if (e < min2[size_t(i)]) {
            min2[size_t(i)] = e;
          }
        }
      if (nbr[size_t(i)].size() < 2) min2[size_t(i)] = minIn[size_t(i)];
      // Nearest first: good orders are met early and bound the rest.
      std::stable_sort(nbr[size_t(i)].begin(), nbr[size_t(i)].end(),
                       [&](int a, int b) { return T.s(i, a) < T.s(i, b); });
    }
    path.assign(size_t(n), -1);
    visited.assign(size_t(n), 0);
    double total = 0.0;
    for (int i = 0; i < n; ++i)
      if (!nbr[size_t(i)].empty()) {
        maxMin2 = std::max(maxMin2, min2[size_t(i)]);
        total += minIn[size_t(i)] + min2[size_t(i)];
      }
    // The bounds are kept by subtraction; this much rounding they may have gathered.
    slack = 64.0 * std::numeric_limits<double>::epsilon() * (total + 1.0) * n;
  }

  // False when the graph cannot hold a Hamiltonian path (disconnected, or more than two
  // points with a single neighbour), which the search would otherwise prove the hard way.
  bool mayHavePath() const {
    if (n <= 1) return true;
    int ones = 0;
    for (int i = 0; i < n; ++i) {
      if (nbr[size_t(i)].empty()) return false;
      if (nbr[size_t(i)].size() == 1) ++ones;
    }
    if (ones > 2) return false;
    std::vector<char> seen(size_t(n), 0);
    std::vector<int> stack{0};
    seen[0] = 1;
    int count = 1;
    while (!stack.empty()) {
      const int i = stack.back();
      stack.pop_back();
      for (int j : nbr[size_t(i)])
        if (!seen[size_t(j)]) {
          seen[size_t(j)] = 1;
          ++count;
          stack.push_back(j);
        }
    }
    return count == n;
  }

  // Depth-first from every start 0 … n - 2, within `nodeLimit` further nodes in all.
  // Returns false when the limit stopped it.
  bool run(long long nodeLimit, int firstStart, int lastStart) {
    stopAt = nodeLimit > std::numeric_limits<long long>::max() - nodes ? std::numeric_limits<long long>::max()
                                                                       : nodes + nodeLimit;
    aborted = false;
    for (int s = firstStart; s <= lastStart && !aborted; ++s) {
      path[0] = s;
      visited[size_t(s)] = 1;
      double lb = 0.0, lb2 = 0.0;
      int above = 0;
      for (int v = 0; v < n; ++v)
        if (v != s) {
          lb += minIn[size_t(v)];
          lb2 += minIn[size_t(v)] + min2[size_t(v)];
          if (v > s) ++above;
        }
      dfs(1, 0.0, -1, lb, lb2, above);
      visited[size_t(s)] = 0;
    }
    return !aborted;
  }

  // Moves that keep the path inside the graph: reversal of a stretch (2-opt) and moving
  // one point to another place; first improvement until none is left.
  void improve(std::vector<int> o) {
    double E = T.energy(o.data(), n);
    std::vector<int> trial(static_cast<size_t>(n));
    bool better = true;
    int sweeps = 0;
    while (better && sweeps++ < 50) {
      better = false;
      for (int i = 0; i < n && !better; ++i)
        for (int j = i + 1; j < n && !better; ++j) {
          if (i == 0 && j == n - 1) continue;
          if (i > 0 && !edge(o[size_t(i - 1)], o[size_t(j)])) continue;
          if (j < n - 1 && !edge(o[size_t(i)], o[size_t(j + 1)])) continue;
          trial = o;
          std::reverse(trial.begin() + i, trial.begin() + j + 1);
          better = accept(trial, o, E);
        }
      for (int i = 0; i < n && !better; ++i)
        for (int j = 0; j < n && !better; ++j) {
          if (j == i || j == i - 1) continue;
          trial = o;
          const int v = trial[size_t(i)];
          trial.erase(trial.begin() + i);
          trial.insert(trial.begin() + (j < i ? j + 1 : j), v);
          if (!isGraphPath(trial)) continue;
          better = accept(trial, o, E);
        }
    }
  }

  const Tables T;
  const int n;
  long long nodes = 0;
  long long considered = 0;
  std::vector<Ranked> best;  // up to three, best first

  // Offers a complete order (either direction) to the three best.
  void offer(std::vector<int> o, double E) {
    if (o.front() > o.back()) {
      std::reverse(o.begin(), o.end());
      E = T.energy(o.data(), n);
    }
    for (const Ranked& r : best)
      if (r.order == o) return;
    size_t at = best.size();
    while (at > 0 && ranksBefore(E, o, best[at - 1].E, best[at - 1].order)) --at;
    if (at >= 3) return;
    best.insert(best.begin() + long(at), Ranked{E, std::move(o)});
    if (best.size() > 3) best.pop_back();
  }

 private:
  bool edge(int a, int b) const { return adj[size_t(a) * n + b] != 0; }

  bool isGraphPath(const std::vector<int>& o) const {
    for (int q = 1; q < n; ++q)
      if (!edge(o[size_t(q - 1)], o[size_t(q)])) return false;
    return true;
  }

  bool accept(const std::vector<int>& trial, std::vector<int>& o, double& E) {
    const double F = T.energy(trial.data(), n);
    if (!(F < E)) return false;
    o = trial;
    E = F;
    offer(o, E);
    return true;
  }

  // True when no completion of the current prefix of length `len` can enter the three best.
  // lbRest is a lower bound of the energy still to come.
  bool bounded(int len, double partial, double lbRest) const {
    if (best.size() < 3) return false;
    const Ranked& third = best[2];
    if (partial > third.E) return true;
    const double l = lbRest * (1.0 - 1e-9) - slack;
    if (l > 0.0 && partial + l > third.E * (1.0 + 1e-12)) return true;
    if (partial == third.E) {
      // Equal so far: only a lexicographically smaller order can still win the tie.
      for (int q = 0; q < len; ++q) {
        if (path[size_t(q)] != third.order[size_t(q)]) return path[size_t(q)] > third.order[size_t(q)];
      }
      return true;  // same prefix: every completion is at least as large
    }
    return false;
  }

  // path[0 … depth - 1] is placed; partial is its energy so far; pending the position of
  // the point that waits for its bend; for the points not yet placed, sumIn is the sum of
  // their cheapest steps and sum12 of their two cheapest, and above counts those with an
  // index above path[0].
  //
  // Two lower bounds of the steps still to come: every point not yet placed is entered by
  // a step of its own (sumIn); and counting each remaining step at both its ends, the last
  // placed point has one, every later point two except the final one (sum12).
  void dfs(int depth, double partial, int pending, double sumIn, double sum12, int above) {
    if (aborted) return;
    if (depth == n) {
      ++considered;
      if (path[0] < path[size_t(n - 1)]) offer(path, partial);
      return;
    }
    if (above == 0) return;  // the path would end below its start: met from the other end
    const int last = path[size_t(depth - 1)];
    double out = -1.0;  // cheapest step on from the last point
    for (int v : nbr[size_t(last)])
      if (!visited[size_t(v)]) {
        out = T.s(last, v);
        break;
      }
    if (out < 0.0) return;  // a dead end
    if (bounded(depth, partial, std::max(sumIn, 0.5 * (out + sum12 - maxMin2)))) return;
    if (nodes >= stopAt) {
      aborted = true;
      return;
    }
    ++nodes;
    for (int v : nbr[size_t(last)]) {
      if (visited[size_t(v)]) continue;
      double e = partial + T.s(last, v);
      int pend = pending;
      if (T.d(last, v) != 0.0) {
        if (pending >= 1) e += T.bend(path[size_t(pending - 1)], path[size_t(pending)], v);
        pend = depth;
      }
      visited[size_t(v)] = 1;
      path[size_t(depth)] = v;
      dfs(depth + 1, e, pend, sumIn - minIn[size_t(v)], sum12 - minIn[size_t(v)] - min2[size_t(v)],
          above - (v > path[0] ? 1 : 0));
      visited[size_t(v)] = 0;
      if (aborted) break;
    }
    path[size_t(depth)] = -1;
  }

  std::vector<char> adj;
  std::vector<std::vector<int>> nbr;
  std::vector<double> minIn, min2;  // cheapest and second cheapest step at each point
  double maxMin2 = 0.0;
  double slack = 0.0;
  std::vector<int> path;
  std::vector<char> visited;
  long long stopAt = 0;
  bool aborted = false;
};

double secondsSince(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

void t_buildPointDistanceGraph(TPointDistanceGraph& graph, const TPoints& points, int k) {
  const int n = int(points.size());
  k = std::max(0, std::min(k, n - 1));
  graph.k = k;
  graph.neighbours.assign(size_t(n), {});
  std::vector<std::vector<char>> in(size_t(n), std::vector<char>(size_t(n), 0));
  std::vector<std::pair<double, int>> list;
  for (int i = 0; i < n; ++i) {
    list.clear();
    for (int j = 0; j < n; ++j)
      if (j != i) list.emplace_back(t_distSq3(points[size_t(i)], points[size_t(j)]), j);
    std::sort(list.begin(), list.end());
    for (int q = 0; q < k; ++q) {
      const int j = list[size_t(q)].second;
      in[size_t(i)][size_t(j)] = in[size_t(j)][size_t(i)] = 1;
    }
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      if (in[size_t(i)][size_t(j)]) graph.neighbours[size_t(i)].push_back(j);
}

double t_pointOrderEnergy(const TPoints& points, const std::vector<int>& order) {
  const Tables T(points);
  for (int i : order)
    if (i < 0 || i >= int(points.size())) return std::numeric_limits<double>::infinity();
  return T.energy(order.data(), int(order.size()));
}

std::vector<std::vector<int>> t_searchBestPointOrders(const TPoints& points, const TPointDistanceGraph& graph,
                                                      const TOrderSearchLimits& limits, TOrderSearchStats* stats) {
  const auto t0 = std::chrono::steady_clock::now();
  TOrderSearchStats st;
  std::vector<std::vector<int>> out;
  const int n = int(points.size());
  if (n < 2) {
    if (stats) *stats = st;
    return out;
  }
  Search search(points, graph);
  if (search.mayHavePath()) {
    long long left = n <= limits.exhaustiveUpTo ? std::numeric_limits<long long>::max()
                                                : std::max<long long>(limits.nodeBudget, 1);
    if (n > limits.exhaustiveUpTo) {
      // Large sets: a short probe from every start first, so that the bound is tight and
      // every start has had a look before the budget can run out in the first ones.
      const long long perStart = left / (8LL * n);
      if (perStart >= 16)
        for (int s = 0; s + 1 < n; ++s) search.run(perStart, s, s);
      left -= search.nodes;
    }
    st.exhaustive = left > 0 && search.run(left, 0, n - 2);
  }
  st.searchSeconds = secondsSince(t0);
  if (!st.exhaustive && !search.best.empty()) {
    const auto t1 = std::chrono::steady_clock::now();
    const std::vector<Ranked> seeds = search.best;
    for (const Ranked& r : seeds) search.improve(r.order);
    st.improveSeconds = secondsSince(t1);
  }
  st.considered = search.considered;
  st.nodes = search.nodes;
  for (const Ranked& r : search.best) out.push_back(r.order);
  if (stats) *stats = st;
  return out;
}
