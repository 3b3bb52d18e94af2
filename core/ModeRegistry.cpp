#include "core/ModeRegistry.h"

#include <algorithm>
#include <cstdio>

#include "core/TModeState.h"
#include "core/lifetime.h"

TModeRegistry& TModeRegistry::getInst() {
  static TModeRegistry reg;
  return reg;
}

bool TModeRegistry::add(TModeEntry entry) {
  for (int id : entry.ids) {
    if (id < 0 || isKnown(id)) {
      std::fprintf(stderr, "mode %s: id %d is not free\n", entry.name.c_str(), id);
      return false;
    }
  }
  m_entries.push_back(std::move(entry));
  return true;
}

TModeState* TModeRegistry::modeFor(int id) const {
  for (const TModeEntry& e : m_entries)
    if (std::find(e.ids.begin(), e.ids.end(), id) != e.ids.end()) return e.mode ? e.mode() : nullptr;
  return nullptr;
}

bool TModeRegistry::isKnown(int id) const {
  for (const TModeEntry& e : m_entries)
    if (std::find(e.ids.begin(), e.ids.end(), id) != e.ids.end()) return true;
  return false;
}

int TModeRegistry::maxId() const {
  int m = -1;
  for (const TModeEntry& e : m_entries)
    for (int id : e.ids) m = std::max(m, id);
  return m;
}

void TModeRegistry::constructAll() {
  std::vector<const TModeEntry*> byOrder;
  for (const TModeEntry& e : m_entries) byOrder.push_back(&e);
  std::stable_sort(byOrder.begin(), byOrder.end(),
                   [](const TModeEntry* a, const TModeEntry* b) { return a->order < b->order; });
  for (const TModeEntry* ep : byOrder) {
    const TModeEntry& e = *ep;
    if (e.mode) e.mode();
    if (e.createPanels) {
      e.createPanels();
      // Panels are windows: they go at exit while the window system still exists.
      if (e.destroyPanels) t_atExit(e.destroyPanels);
    }
  }
}

std::vector<TModeState*> TModeRegistry::allModes() const {
  std::vector<TModeState*> out;
  for (const TModeEntry& e : m_entries) {
    TModeState* m = e.mode ? e.mode() : nullptr;
    if (m && std::find(out.begin(), out.end(), m) == out.end()) out.push_back(m);
  }
  return out;
}
