#pragma once
// Minimum s-t cut by augmenting paths between two search trees that live on from one
// augmentation to the next (one grown from the source, one from the sink) and are repaired by
// adopting orphans.  The source and the sink are ordinary nodes named by index.
//
// Arcs are stored in sister pairs in one flat array: slot 2k and 2k + 1 are the two directions of
// one edge, so the sister of arc a is a ^ 1 and its from-node is the to-node of its sister.  Nodes
// and arcs are allocated once; growth and adoption allocate nothing.
//
// After maxFlow the source side is the set of nodes reachable from the source in the residual
// graph (free nodes count as sink side), i.e. the smallest minimum-cut source side: it depends on
// the graph only, not on the order of the search.
#include <cstdint>

#include "modes/region/kernels/TQueue.h"

class TFlowGraph {
 public:
  using Index = std::uint32_t;
  static constexpr Index kNone = 0xFFFFFFFFu;

  struct Arc {
    double cap;  // residual capacity
    Index to;
    Index next;  // next arc of the from-node's list (newest first; terminal arcs are in no list)
  };
  struct Node {
    Index first = kNone;       // first arc of the outgoing list
    Index parent = kNone;      // arc from this node towards its parent in its tree
    Index nextActive = kNone;  // link of the active list
    std::uint32_t ts = 0;      // time stamp of `dist` (0: never stamped)
    std::int32_t dist = 0;     // arcs to the tree's terminal, valid while ts is current
    std::int8_t tree = 0;      // 1 source tree, -1 sink tree, 0 free
    std::uint8_t inActive = 0; // member of the active list
  };

  // Largest node count and arc capacity the index type can address.
  static bool fits(std::int64_t nodeCount, std::int64_t arcCapacity);
  // Bytes of the node and arc arrays of a graph of that size (what the constructor allocates).
  static std::int64_t bytesNeeded(std::int64_t nodeCount, std::int64_t arcCapacity);

  // Throws std::length_error when !fits(...), std::bad_alloc when memory runs out.
  TFlowGraph(std::int64_t nodeCount, std::int64_t arcCapacity, std::int64_t source, std::int64_t sink);
  ~TFlowGraph();
  TFlowGraph(const TFlowGraph&) = delete;
  TFlowGraph& operator=(const TFlowGraph&) = delete;

  // Terminal links of one node (at most one call per node).  The larger capacity minus the
  // smaller becomes one arc from the source or to the sink, the node joins that tree; the smaller
  // one is flow already accounted for (pre-flow).  Equal capacities add no arc.
  void addTerminalEdges(std::int64_t source, std::int64_t sink, std::int64_t node, double capSource,
                        double capSink);
  // One arc pair p->q (capacity w) and q->p (capacity wRev).  Throws std::length_error when the arc
  // array is full.
  void addEdge(std::int64_t p, std::int64_t q, double w, double wRev);
  void addEdge(std::int64_t p, std::int64_t q, double w) { addEdge(p, q, w, w); }

  // Maximum flow from source to sink.  side (node-count bytes) receives 1 for every node that
  // ends in the source tree, else 0.
  double maxFlow(std::int64_t source, std::int64_t sink, unsigned char* side);

  std::int64_t nodeCount() const { return m_nodeCount; }
  std::int64_t arcCapacity() const { return m_arcCapacity; }
  std::int64_t arcCount() const { return m_arcCount; }
  double preFlow() const { return m_preFlow; }
  const Arc* arcs() const { return m_arcs; }
  const Node* nodes() const { return m_nodes; }

 private:
  void activate(Index i);
  void addTerminalArc(Index from, Index to, double cap);
  Index growTrees();
  double augment(Index join);
  template <int kTree>
  void adoptOrphans(TQueue<Index>& orphans);
  int parentDistance(Index q);
  void nextTime();

  std::int64_t m_nodeCount = 0;
  std::int64_t m_arcCapacity = 0;
  std::int64_t m_arcCount = 0;
  Arc* m_arcs = nullptr;
  Node* m_nodes = nullptr;
  Index m_activeFirst = kNone;
  Index m_activeLast = kNone;
  std::uint32_t m_time = 0;
  bool m_shortcuts = true;
  double m_preFlow = 0.0;
  Index m_source = kNone;
  Index m_sink = kNone;
  TQueue<Index>* m_sourceOrphans = nullptr;  // live during maxFlow
  TQueue<Index>* m_sinkOrphans = nullptr;
};
