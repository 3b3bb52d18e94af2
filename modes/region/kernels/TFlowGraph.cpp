#include "modes/region/kernels/TFlowGraph.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>

namespace {
constexpr int kInfDist = INT_MAX;
}

bool TFlowGraph::fits(std::int64_t nodeCount, std::int64_t arcCapacity) {
  // kNone is reserved; arc slots come in pairs.
  return nodeCount >= 0 && arcCapacity >= 0 && nodeCount < static_cast<std::int64_t>(kNone) &&
         arcCapacity < static_cast<std::int64_t>(kNone);
}

std::int64_t TFlowGraph::bytesNeeded(std::int64_t nodeCount, std::int64_t arcCapacity) {
  return nodeCount * static_cast<std::int64_t>(sizeof(Node)) +
         arcCapacity * static_cast<std::int64_t>(sizeof(Arc));
}

TFlowGraph::TFlowGraph(std::int64_t nodeCount, std::int64_t arcCapacity, std::int64_t source,
                       std::int64_t sink) {
  if (!fits(nodeCount, arcCapacity)) throw std::length_error("TFlowGraph: graph too large");
  if (source < 0 || source >= nodeCount || sink < 0 || sink >= nodeCount || source == sink)
    throw std::invalid_argument("TFlowGraph: bad terminals");
  m_nodeCount = nodeCount;
  m_arcCapacity = arcCapacity;
  m_arcs = static_cast<Arc*>(std::malloc(static_cast<std::size_t>(std::max<std::int64_t>(arcCapacity, 1)) * sizeof(Arc)));
  m_nodes = static_cast<Node*>(std::malloc(static_cast<std::size_t>(nodeCount) * sizeof(Node)));
  if (!m_arcs || !m_nodes) {
    std::free(m_arcs);
    std::free(m_nodes);
    throw std::bad_alloc();
  }
  std::uninitialized_fill_n(m_nodes, static_cast<std::size_t>(nodeCount), Node());
  m_source = static_cast<Index>(source);
  m_sink = static_cast<Index>(sink);
  m_nodes[m_source].tree = 1;
  m_nodes[m_sink].tree = -1;
}

TFlowGraph::~TFlowGraph() {
  std::free(m_arcs);
  std::free(m_nodes);
}

void TFlowGraph::activate(Index i) {
  Node& n = m_nodes[i];
  if (n.inActive) return;
  n.inActive = 1;
  n.nextActive = kNone;
  if (m_activeLast == kNone)
    m_activeFirst = i;
  else
    m_nodes[m_activeLast].nextActive = i;
  m_activeLast = i;
}

void TFlowGraph::addEdge(std::int64_t p, std::int64_t q, double w, double wRev) {
  if (m_arcCount + 2 > m_arcCapacity) throw std::length_error("TFlowGraph: arc array full");
  const Index a = static_cast<Index>(m_arcCount);
  const Index ip = static_cast<Index>(p), iq = static_cast<Index>(q);
  m_arcs[a] = {w, iq, m_nodes[ip].first};
  m_nodes[ip].first = a;
  m_arcs[a + 1] = {wRev, ip, m_nodes[iq].first};
  m_nodes[iq].first = a + 1;
  m_arcCount += 2;
}

// A terminal arc is reached only as its node's parent: while it has residual capacity its node
// belongs to that terminal's tree, and once saturated it never gains any back (its sister gets
// nothing).  So neither the node's nor the terminal's arc list ever needs it, and it is left out
// of both: the scans of growth and adoption then touch neighbour arcs only.
void TFlowGraph::addTerminalArc(Index from, Index to, double cap) {
  if (m_arcCount + 2 > m_arcCapacity) throw std::length_error("TFlowGraph: arc array full");
  const Index a = static_cast<Index>(m_arcCount);
  m_arcs[a] = {cap, to, kNone};
  m_arcs[a + 1] = {0.0, from, kNone};
  m_arcCount += 2;
}

void TFlowGraph::addTerminalEdges(std::int64_t source, std::int64_t sink, std::int64_t node,
                                  double capSource, double capSink) {
  const Index i = static_cast<Index>(node);
  if (capSource > capSink) {
    const Index a = static_cast<Index>(m_arcCount);
    addTerminalArc(static_cast<Index>(source), i, capSource - capSink);
    m_nodes[i].tree = 1;
    m_nodes[i].parent = a + 1;  // node -> source
    m_nodes[i].dist = 1;
    m_preFlow += capSink;
    activate(i);
  } else if (capSink > capSource) {
    const Index a = static_cast<Index>(m_arcCount);
    addTerminalArc(i, static_cast<Index>(sink), capSink - capSource);
    m_nodes[i].tree = -1;
    m_nodes[i].parent = a;  // node -> sink
    m_nodes[i].dist = 1;
    m_preFlow += capSource;
    activate(i);
  } else {
    m_preFlow += capSource;
  }
}

// Returns the arc that joins the trees (from a source-tree node to a sink-tree node), or kNone
// when no active node can grow any more.  A node that produced a join stays at the head of the
// active list and is scanned again at the next growth.
//
// New tree nodes inherit their parent's stamp with one more arc of distance, and a tree node
// that is stamped no later and lies farther from the terminal than p is hung under p.  The key
// (stamp, -distance) grows strictly from every node to its parent (growth, these shortcuts and
// adoption all keep it so), so a shortcut can never make a node its own ancestor.
TFlowGraph::Index TFlowGraph::growTrees() {
  Arc* const arcs = m_arcs;
  Node* const nodes = m_nodes;
  while (m_activeFirst != kNone) {
    const Index p = m_activeFirst;
    Node& np = nodes[p];
    if (np.tree == 1) {
      for (Index a = np.first; a != kNone; a = arcs[a].next) {
        if (arcs[a].cap == 0.0) continue;
        const Index q = arcs[a].to;
        Node& nq = nodes[q];
        if (nq.tree == 0) {
          nq.tree = 1;
          nq.parent = a ^ 1u;
          nq.ts = np.ts;
          nq.dist = np.dist + 1;
          activate(q);
        } else if (nq.tree == -1) {
          return a;
        } else if (m_shortcuts && nq.ts <= np.ts && nq.dist > np.dist) {
          nq.parent = a ^ 1u;
          nq.ts = np.ts;
          nq.dist = np.dist + 1;
        }
      }
    } else if (np.tree == -1) {
      for (Index a = np.first; a != kNone; a = arcs[a].next) {
        if (arcs[a ^ 1u].cap == 0.0) continue;
        const Index q = arcs[a].to;
        Node& nq = nodes[q];
        if (nq.tree == 0) {
          nq.tree = -1;
          nq.parent = a ^ 1u;
          nq.ts = np.ts;
          nq.dist = np.dist + 1;
          activate(q);
        } else if (nq.tree == 1) {
          return a ^ 1u;
        } else if (m_shortcuts && nq.ts <= np.ts && nq.dist > np.dist) {
          nq.parent = a ^ 1u;
          nq.ts = np.ts;
          nq.dist = np.dist + 1;
        }
      }
    }
    m_activeFirst = np.nextActive;
    np.nextActive = kNone;
    np.inActive = 0;
    if (m_activeFirst == kNone) m_activeLast = kNone;
  }
  return kNone;
}

// Pushes the bottleneck along source -> ... -> join -> ... -> sink.  Terminal arcs lose capacity
// without giving their sisters any; nodes whose parent arc saturates become orphans (interior ones
// at the front of their list, so that they are adopted before the terminal's child).
double TFlowGraph::augment(Index join) {
  Arc* const arcs = m_arcs;
  Node* const nodes = m_nodes;
  const Index p0 = arcs[join ^ 1u].to, q0 = arcs[join].to;
  double b = arcs[join].cap;
  for (Index j = p0; j != m_source;) {
    const Index pa = nodes[j].parent;
    b = std::min(b, arcs[pa ^ 1u].cap);
    j = arcs[pa].to;
  }
  for (Index j = q0; j != m_sink;) {
    const Index pa = nodes[j].parent;
    b = std::min(b, arcs[pa].cap);
    j = arcs[pa].to;
  }
  arcs[join].cap -= b;
  arcs[join ^ 1u].cap += b;
  for (Index j = p0; j != m_source;) {
    const Index pa = nodes[j].parent;
    const Index up = arcs[pa].to;
    Arc& down = arcs[pa ^ 1u];
    down.cap -= b;
    if (up != m_source) arcs[pa].cap += b;
    if (down.cap == 0.0) {
      nodes[j].parent = kNone;
      if (up == m_source)
        m_sourceOrphans->push(j);
      else
        m_sourceOrphans->pushFront(j);
    }
    j = up;
  }
  for (Index j = q0; j != m_sink;) {
    const Index pa = nodes[j].parent;
    const Index up = arcs[pa].to;
    arcs[pa].cap -= b;
    if (up != m_sink) arcs[pa ^ 1u].cap += b;
    if (arcs[pa].cap == 0.0) {
      nodes[j].parent = kNone;
      if (up == m_sink)
        m_sinkOrphans->push(j);
      else
        m_sinkOrphans->pushFront(j);
    }
    j = up;
  }
  return b;
}

// Distance from tree node q to its terminal along parent arcs, or kInfDist when the chain ends at
// an orphan.  A stamp is trusted only when it was written in the current adoption round; every
// node of an accepted chain is stamped with its distance so later walks stop early.
int TFlowGraph::parentDistance(Index q) {
  Arc* const arcs = m_arcs;
  Node* const nodes = m_nodes;
  int d = 0;
  for (Index j = q;;) {
    const Node& nj = nodes[j];
    if (nj.ts == m_time) {
      d += nj.dist;
      break;
    }
    if (nj.parent == kNone) return kInfDist;
    ++d;
    j = arcs[nj.parent].to;
  }
  int dd = d;
  for (Index j = q; nodes[j].ts != m_time; j = arcs[nodes[j].parent].to) {
    nodes[j].ts = m_time;
    nodes[j].dist = dd--;
  }
  return d;
}

// Orphans of the source tree (kTree 1) or of the sink tree (kTree -1).  A neighbour q can adopt
// orphan p when the arc between them carries flow in the tree's direction (q -> p in the source
// tree, p -> q in the sink tree), q is not p's child and q's chain reaches the terminal; the
// nearest such q wins (the first of equal ones).  An orphan without one becomes free: its
// children become orphans and the neighbours that could grow into it again become active.
template <int kTree>
void TFlowGraph::adoptOrphans(TQueue<Index>& orphans) {
  Arc* const arcs = m_arcs;
  Node* const nodes = m_nodes;
  auto flowArc = [](Index a) { return kTree == 1 ? a ^ 1u : a; };
  while (!orphans.isEmpty()) {
    const Index p = orphans.pop();
    Node& np = nodes[p];
    Index best = kNone;
    int dmin = kInfDist;
    for (Index a = np.first; a != kNone; a = arcs[a].next) {
      if (arcs[flowArc(a)].cap == 0.0) continue;
      const Index q = arcs[a].to;
      const Node& nq = nodes[q];
      if (nq.tree != kTree || nq.parent == (a ^ 1u)) continue;
      const int d = parentDistance(q);
      if (d < dmin) {
        dmin = d;
        best = a;
      }
    }
    if (best != kNone) {
      np.parent = best;
      np.ts = m_time;
      np.dist = dmin + 1;
      continue;
    }
    np.tree = 0;
    for (Index a = np.first; a != kNone; a = arcs[a].next) {
      const Index q = arcs[a].to;
      Node& nq = nodes[q];
      if (nq.tree != kTree) continue;
      if (nq.parent == (a ^ 1u)) {
        nq.parent = kNone;
        orphans.push(q);
      }
      if (arcs[flowArc(a)].cap != 0.0) activate(q);
    }
  }
}

// Starts an adoption round.  Stamps of earlier rounds are never trusted, and a fresh node's stamp
// 0 is never the current time, so a walk cannot stop at a node whose chain was never checked.
void TFlowGraph::nextTime() {
  if (m_time == 0xFFFFFFFFu) {
    // Wrapped: clear every stamp.  The distances no longer order the trees, so the growth
    // shortcuts stay off for the rest of the run.
    for (std::int64_t i = 0; i < m_nodeCount; ++i) m_nodes[i].ts = 0;
    m_time = 0;
    m_shortcuts = false;
  }
  ++m_time;
  for (Index t : {m_source, m_sink}) {
    m_nodes[t].ts = m_time;
    m_nodes[t].dist = 0;
  }
}

double TFlowGraph::maxFlow(std::int64_t source, std::int64_t sink, unsigned char* side) {
  m_source = static_cast<Index>(source);
  m_sink = static_cast<Index>(sink);
  // The orphan lists can hold a large share of the nodes on big grids: grow them in big steps.
  const int step = static_cast<int>(std::clamp<std::int64_t>(m_nodeCount / 16, 40, 1 << 22));
  TQueue<Index> sourceOrphans(step, 80), sinkOrphans(step, 80);
  m_sourceOrphans = &sourceOrphans;
  m_sinkOrphans = &sinkOrphans;
  double total = 0.0;
  for (Index join = growTrees(); join != kNone; join = growTrees()) {
    nextTime();
    total += augment(join);
    adoptOrphans<1>(sourceOrphans);
    adoptOrphans<-1>(sinkOrphans);
  }
  m_sourceOrphans = m_sinkOrphans = nullptr;
  if (side)
    for (std::int64_t i = 0; i < m_nodeCount; ++i) side[i] = m_nodes[i].tree == 1 ? 1 : 0;
  return total + m_preFlow;
}
