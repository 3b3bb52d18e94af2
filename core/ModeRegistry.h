#pragma once
// The modes the program knows: each mode library registers its modes here when the application
// starts (see app/register_modes.cpp); TCore switches and stops workers through it, and tests
// register what they drive.
//
// An entry serves one or more mode ids with one mode object, built on first use through its
// accessor.  Its panels are made once the application object exists and go at exit, both through
// the entry, so that a mode's logic runs without any window system.
#include <functional>
#include <string>
#include <vector>

class TModeState;

struct TModeEntry {
  std::string name;                      // class name, for traces
  std::vector<int> ids;                  // mode ids served by this object
  std::function<TModeState*()> mode;     // the mode object (built on first use)
  std::function<void()> createPanels;    // builds the panels and attaches them to the mode
  std::function<void()> destroyPanels;   // detaches and deletes them
  int order = 0;                         // place in the start-up construction (lower first)
};

class TModeRegistry {
 public:
  static TModeRegistry& getInst();

  // Entries keep the order in which they were added (the order of hiding panels on a switch and
  // of stopping workers at exit); start-up builds them by their `order`, ties in the order added.
  // An id registered twice is refused with a console line.
  bool add(TModeEntry entry);
  // The mode object of an id, or nullptr for an id nobody registered.
  TModeState* modeFor(int id) const;
  bool isKnown(int id) const;
  // The largest registered id (-1 when empty).
  int maxId() const;
  const std::vector<TModeEntry>& entries() const { return m_entries; }

  // Builds every registered mode object and its panels, by construction order.
  void constructAll();
  // Every mode object that has been registered (each once), in registration order.
  std::vector<TModeState*> allModes() const;
  void clear() { m_entries.clear(); }

 private:
  std::vector<TModeEntry> m_entries;
};
