#pragma once
// Owner of the three slice panes (XY, YZ, ZX).  The panes themselves come with their own window
// class; until they are created the manager holds none and its operations touch nothing.
#include <QPointer>
#include <QWidget>
#include <array>

class TSubPane;

class SubPaneManager {
 public:
  static SubPaneManager& getInst();

  // Pane windows, plane order 0 XY, 1 YZ, 2 ZX (null until created).
  TSubPane* getPaneXY() const { return panes[0]; }
  TSubPane* getPaneYZ() const { return panes[1]; }
  TSubPane* getPaneZX() const { return panes[2]; }
  // The widget of each pane, registered by the pane when it is created.
  void setPaneWidget(int planeId, TSubPane* pane, QWidget* widget);

  // Repaints the three panes at once.
  void redrawAllPanes();

  std::array<TSubPane*, 3> panes = {nullptr, nullptr, nullptr};
  bool arranged = true;

  SubPaneManager(const SubPaneManager&) = delete;
  SubPaneManager& operator=(const SubPaneManager&) = delete;

 private:
  SubPaneManager();
  ~SubPaneManager() = default;
  std::array<QPointer<QWidget>, 3> m_widgets;
};
