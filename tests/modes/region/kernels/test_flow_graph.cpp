// Max-flow against Boost Graph's Boykov-Kolmogorov and push-relabel solvers on the same graphs,
// with the cut of the returned source side checked against the flow and against the residual
// reachability of Boost's solution.
#include <cmath>
#include <random>
#include <vector>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/boykov_kolmogorov_max_flow.hpp>
#include <boost/graph/push_relabel_max_flow.hpp>
#include <gtest/gtest.h>

#include "modes/region/kernels/TFlowGraph.h"

namespace {

struct Edge {
  int p, q;
  double w, wRev;
};
struct Problem {
  int n = 0;                       // ordinary nodes; source n, sink n + 1
  std::vector<double> cs, ct;      // terminal capacities
  std::vector<Edge> edges;
};

using Traits = boost::adjacency_list_traits<boost::vecS, boost::vecS, boost::directedS>;
using BGraph = boost::adjacency_list<
    boost::vecS, boost::vecS, boost::directedS,
    boost::property<boost::vertex_color_t, boost::default_color_type,
                    boost::property<boost::vertex_distance_t, long,
                                    boost::property<boost::vertex_predecessor_t, Traits::edge_descriptor>>>,
    boost::property<boost::edge_capacity_t, double,
                    boost::property<boost::edge_residual_capacity_t, double,
                                    boost::property<boost::edge_reverse_t, Traits::edge_descriptor>>>>;

struct BoostGraph {
  BGraph g;
  void arc(int u, int v, double c) {
    auto cap = boost::get(boost::edge_capacity, g);
    auto rev = boost::get(boost::edge_reverse, g);
    auto e1 = boost::add_edge(u, v, g).first;
    auto e2 = boost::add_edge(v, u, g).first;
    cap[e1] = c;
    cap[e2] = 0.0;
    rev[e1] = e2;
    rev[e2] = e1;
  }
  explicit BoostGraph(const Problem& pr) : g(pr.n + 2) {
    for (int i = 0; i < pr.n; ++i) {
      arc(pr.n, i, pr.cs[i]);
      arc(i, pr.n + 1, pr.ct[i]);
    }
    for (const Edge& e : pr.edges) {
      arc(e.p, e.q, e.w);
      arc(e.q, e.p, e.wRev);
    }
  }
  // Nodes reachable from the source through arcs with residual capacity.
  std::vector<unsigned char> residualReach(int s) const {
    auto res = boost::get(boost::edge_residual_capacity, g);
    std::vector<unsigned char> seen(boost::num_vertices(g), 0);
    std::vector<int> stack{s};
    seen[s] = 1;
    while (!stack.empty()) {
      const int u = stack.back();
      stack.pop_back();
      for (auto [it, end] = boost::out_edges(u, g); it != end; ++it) {
        const int v = static_cast<int>(boost::target(*it, g));
        if (!seen[v] && res[*it] > 0) {
          seen[v] = 1;
          stack.push_back(v);
        }
      }
    }
    return seen;
  }
};

struct Solved {
  double flow;
  std::vector<unsigned char> side;
};

Solved solveOurs(const Problem& pr) {
  const int s = pr.n, t = pr.n + 1;
  TFlowGraph g(pr.n + 2, 2 * (pr.n + static_cast<std::int64_t>(pr.edges.size())), s, t);
  for (int i = 0; i < pr.n; ++i) g.addTerminalEdges(s, t, i, pr.cs[i], pr.ct[i]);
  for (const Edge& e : pr.edges) g.addEdge(e.p, e.q, e.w, e.wRev);
  Solved r;
  r.side.assign(pr.n + 2, 9);
  r.flow = g.maxFlow(s, t, r.side.data());
  return r;
}

// Capacity of the cut (side 1 -> side 0) in the original graph.
double cutCost(const Problem& pr, const std::vector<unsigned char>& side) {
  double c = 0.0;
  for (int i = 0; i < pr.n; ++i) c += side[i] ? pr.ct[i] : pr.cs[i];
  for (const Edge& e : pr.edges) {
    if (side[e.p] && !side[e.q]) c += e.w;
    if (side[e.q] && !side[e.p]) c += e.wRev;
  }
  return c;
}

Problem randomProblem(std::mt19937& rng, bool integral) {
  Problem pr;
  pr.n = std::uniform_int_distribution<int>(1, 60)(rng);
  const double density = std::uniform_real_distribution<double>(0.02, 0.4)(rng);
  auto cap = [&](int hi) {
    if (integral) return double(std::uniform_int_distribution<int>(0, hi)(rng));
    return std::uniform_real_distribution<double>(0.0, hi)(rng);
  };
  for (int i = 0; i < pr.n; ++i) {
    const int kind = rng() % 4;  // some nodes tied to one terminal only, some to none
    pr.cs.push_back(kind == 1 ? 0.0 : cap(30));
    pr.ct.push_back(kind == 2 ? 0.0 : cap(30));
    if (kind == 3) pr.ct.back() = pr.cs.back();
  }
  for (int p = 0; p < pr.n; ++p)
    for (int q = p + 1; q < pr.n; ++q)
      if (std::uniform_real_distribution<double>(0, 1)(rng) < density) {
        const bool oneWay = rng() % 5 == 0;
        pr.edges.push_back({p, q, cap(20), oneWay ? 0.0 : cap(20)});
        if (rng() % 2) std::swap(pr.edges.back().p, pr.edges.back().q);
      }
  return pr;
}

// Noisy ball on a 6-connected grid: terminal weights from the distance to the centre plus noise,
// smoothing weights from the intensity difference.
Problem gridProblem(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 0.25);
  Problem pr;
  pr.n = n * n * n;
  std::vector<double> v(pr.n);
  const double c = (n - 1) / 2.0, r = n / 3.0;
  for (int z = 0, i = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x, ++i) {
        const double d = std::sqrt((x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c));
        v[i] = (d < r ? 1.0 : 0.0) + noise(rng);
        pr.cs.push_back(std::round(100 * std::fabs(v[i] - 0.0)));
        pr.ct.push_back(std::round(100 * std::fabs(v[i] - 1.0)));
      }
  auto w = [&](int a, int b) { return std::round(60.0 / (1.0 + 10 * (v[a] - v[b]) * (v[a] - v[b]))); };
  for (int z = 0, i = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x, ++i) {
        if (x + 1 < n) pr.edges.push_back({i, i + 1, w(i, i + 1), w(i, i + 1)});
        if (y + 1 < n) pr.edges.push_back({i, i + n, w(i, i + n), w(i, i + n)});
        if (z + 1 < n) pr.edges.push_back({i, i + n * n, w(i, i + n * n), w(i, i + n * n)});
      }
  return pr;
}

// Our flow, Boost BK's and (for integral capacities) push-relabel's flow agree; our source side is a minimum cut and, with
// exact (integer) capacities, equals the residual reachability of Boost's maximum flow.
void checkAgainstBoost(const Problem& pr, bool exact) {
  const Solved ours = solveOurs(pr);
  const double tol = exact ? 0.0 : 1e-9 * (1.0 + std::fabs(ours.flow));

  BoostGraph bk(pr);
  const double fBK = boost::boykov_kolmogorov_max_flow(bk.g, pr.n, pr.n + 1);
  ASSERT_NEAR(ours.flow, fBK, tol);
  if (exact) {  // Boost's push-relabel asserts exact flow conservation: integral capacities only
    BoostGraph pr2(pr);
    ASSERT_EQ(ours.flow, boost::push_relabel_max_flow(pr2.g, pr.n, pr.n + 1));
  }
  ASSERT_NEAR(cutCost(pr, ours.side), ours.flow, tol);
  ASSERT_EQ(ours.side[pr.n], 1);
  ASSERT_EQ(ours.side[pr.n + 1], 0);
  if (exact) {
    const std::vector<unsigned char> reach = bk.residualReach(pr.n);
    for (int i = 0; i < pr.n; ++i) ASSERT_EQ(ours.side[i], reach[i]) << "node " << i;
  }
}

}  // namespace

TEST(TFlowGraph, RandomGraphsAgreeWithBoost) {
  std::mt19937 rng(20261208);
  for (int k = 0; k < 1000; ++k) {
    SCOPED_TRACE(k);
    const bool integral = k % 4 != 3;
    checkAgainstBoost(randomProblem(rng, integral), integral);
    if (HasFatalFailure()) return;
  }
}

TEST(TFlowGraph, GridGraphsAgreeWithBoost) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    checkAgainstBoost(gridProblem(seed == 3 ? 24 : 12, seed), true);
    if (HasFatalFailure()) return;
  }
}

// The terminal-only cases: equal capacities add pre-flow and leave the node on the sink side,
// the flow is the sum of the smaller capacities, and a node alone in the active list (the first
// node given a terminal link) is not added to it twice.
TEST(TFlowGraph, TerminalOnlyAndChain) {
  {
    TFlowGraph g(5, 6, 3, 4);
    g.addTerminalEdges(3, 4, 0, 7.0, 2.0);
    g.addTerminalEdges(3, 4, 0 + 1, 4.0, 4.0);
    g.addTerminalEdges(3, 4, 2, 1.0, 6.0);
    unsigned char side[5];
    EXPECT_EQ(g.maxFlow(3, 4, side), 2.0 + 4.0 + 1.0);
    EXPECT_EQ(side[0], 1);
    EXPECT_EQ(side[1], 0);
    EXPECT_EQ(side[2], 0);
  }
  {
    TFlowGraph g(4, 6, 2, 3);
    g.addTerminalEdges(2, 3, 0, 5.0, 0.0);
    g.addTerminalEdges(2, 3, 1, 0.0, 5.0);
    g.addEdge(0, 1, 2.0);
    unsigned char side[4];
    EXPECT_EQ(g.maxFlow(2, 3, side), 2.0);
    EXPECT_EQ(side[0], 1);
    EXPECT_EQ(side[1], 0);
  }
  EXPECT_FALSE(TFlowGraph::fits(1, std::int64_t(1) << 33));
  EXPECT_THROW(TFlowGraph(3, std::int64_t(1) << 33, 0, 1), std::length_error);
}

// After the first augmentation, orphan A has a residual arc from its own grandchild C (A -> C has
// no capacity, so C was grown through B).  A fresh node's unset time stamp must not make C look
// connected: adopting C would close the cycle A -> C -> B -> A and the next augmentation would
// walk it for ever.
TEST(TFlowGraph, OrphanDoesNotAdoptItsDescendant) {
  enum { A, B, C, D, E, S, T, N };
  TFlowGraph g(N, 2 * 7, S, T);
  g.addTerminalEdges(S, T, A, 1.0, 0.0);
  g.addTerminalEdges(S, T, D, 0.0, 10.0);
  g.addEdge(A, B, 5.0, 0.0);
  g.addEdge(B, C, 5.0, 0.0);
  g.addEdge(C, A, 5.0, 0.0);
  g.addEdge(E, D, 5.0, 0.0);
  g.addEdge(C, E, 5.0, 0.0);
  unsigned char side[N];
  EXPECT_EQ(g.maxFlow(S, T, side), 1.0);
  for (int i : {A, B, C, D, E}) EXPECT_EQ(side[i], 0) << i;
}
