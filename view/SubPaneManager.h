#pragma once
// Owner of the three slice panes (XY, YZ, ZX).  The main frame has the manager create them as
// dock widgets of its window; until then the manager holds none and its operations touch nothing.
#include <QSize>

#include <array>

class QMainWindow;
class TSubPane;

class SubPaneManager {
 public:
  static SubPaneManager& getInst();

  // Pane windows, plane order 0 XY, 1 YZ, 2 ZX (null until created).
  TSubPane* getPaneXY() const { return panes[0]; }
  TSubPane* getPaneYZ() const { return panes[1]; }
  TSubPane* getPaneZX() const { return panes[2]; }
  TSubPane* getPane(int planeId) const { return planeId >= 0 && planeId < 3 ? panes[planeId] : nullptr; }

  // Creates the three panes (captions "XY", "YZ", "ZX") as dock widgets of the frame, docked at
  // its left edge one above the other.  Once per run; later calls do nothing.  The frame owns the
  // widgets; a pane that goes is forgotten here.
  void createDockWidgets(QMainWindow* frame);
  // Arrangement 1: one column at the left, XY above YZ above ZX, a third of the frame wide.
  void arrangePanes1();
  // Arrangement 2: XY above YZ at the left, ZX at the top.
  void arrangePanes2();
  // Shows the panes that are hidden (a mode that works in the main view only hid them), docked
  // ones at the sizes they had when hidden.
  void showHiddenPanes();
  void hidePanes();
  void fitAllPanes();
  // Zooms the three panes by one factor (they keep one scale).
  void zoomAllPanes(double factor);
  // Asks for a frame of each of the three panes.
  void redrawAllPanes();
  // The clear colour (g, g, g, 0.5) of the panes.
  void setBackGrey(float g);
  void forgetPane(TSubPane* pane);

  std::array<TSubPane*, 3> panes = {nullptr, nullptr, nullptr};
  bool arranged = true;

  SubPaneManager(const SubPaneManager&) = delete;
  SubPaneManager& operator=(const SubPaneManager&) = delete;

 private:
  SubPaneManager();
  ~SubPaneManager() = default;
  QMainWindow* m_frame = nullptr;
  // The docked panes' sizes when they were last hidden (kept across the modes that hide them).
  QSize m_keptSizes[3];
};
