#pragma once
// "Rendering Parameter DLG": the one modeless panel that holds the live rendering settings (slice
// count, transparency, colour modes, slice-plane switches, parallel projection, box frame), the
// voxel pitch, the z flip of the stack, the background grey, and up to three transfer-function
// editor boxes painted over the histograms.  The renderer, the modes and the file commands read
// its controls when they need them; nothing copies them elsewhere.
//
// The pitch: the fields show three decimals and their spins hold value x 1000, but the pitch the
// panel hands out is the one that was loaded or typed (0.4883 stays 0.4883).
#include <QDialog>
#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class TEditPair;
class TTransFuncBox;

class TDlgVisParam : public QDialog {
  Q_OBJECT
 public:
  // What the panel needs of the layers above it (the application installs them; without them
  // Flip Stack is refused as outside the visualisation modes and "Window Level" does nothing).
  struct AppHooks {
    std::function<int()> modeId;             // the core's current mode id
    std::function<bool()> zFlipped;          // the core's z-flip flag
    std::function<void(bool)> setZFlipped;   // sets that flag
    std::function<void()> flipZMaskSurfaces; // flips the region surfaces with the stack
    std::function<void()> showWindowLevel;   // shows the window-level panel
  };
  static void setAppHooks(const AppHooks& hooks);

  // What the panel calls of the views (the renderer and the panes); installed by the view layer.
  // Each may be empty (nothing happens).
  struct ViewHooks {
    std::function<void()> redrawAll;
    std::function<void()> redrawMainView;
    // Box of the volume from the pitch and the voxel counts, camera reset, panes fitted.
    std::function<void(const double pitch[3], int W, int H, int D)> applyVolumeExtent;
    // Clear colour (g, g, g, 0.5) of the main view and the three panes.
    std::function<void(float g)> setBackGrey;
    // The renderer's "a button is held" flag (fewer slices while editing).
    std::function<void(bool)> setButtonHeld;
  };
  static void setViewHooks(const ViewHooks& hooks);

  // The one panel, built on first use (needs the QApplication).
  static TDlgVisParam& getInst();
  // True once getInst has built it (readers that must not build it test this first).
  static bool exists();
  // Deletes the panel (the application calls it before the QApplication goes; tests too).
  static void destroyInst();

  // Placed beside the main frame before it appears.
  void setVisible(bool visible) override;

  // Creates the panel's controls (the modeless dialog's initialisation) and sets the created
  // flag.  Idempotent.  Showing it is the caller's (start-up shows it).
  void createPanel();
  bool isCreated() const { return m_created; }

  // Controls to their start state (after every volume load).
  void initControls();

  // Pitch in mm.
  void getPitch(double& x, double& y, double& z) const;
  void getPitch(double pitch[3]) const { getPitch(pitch[0], pitch[1], pitch[2]); }
  // Spins := value x 1000 truncated, edits "%.3f", then the box follows (applyPitch).
  void setPitch(double x, double y, double z);
  void setPitch(const double pitch[3]) { setPitch(pitch[0], pitch[1], pitch[2]); }

  // Rebuilds the histogram pictures of the editor boxes and repaints.
  void updateTransFuncImage();
  // Called by every mode when it becomes current.
  void updateModeControls(int volumeMode, bool planes, bool xy, bool yz, bool zx, bool exclusive);
  // Number of editor boxes shown in the current volume mode.
  int getEditorCount() const;
  int getVolumeMode() const { return m_volumeMode; }

  // Readers of the live settings.
  bool isFrameOn() const;
  bool isInterpolateOn() const;
  bool isFlipStackOn() const;
  bool isParallelProj() const;
  int transparencyPos() const;  // 0..100
  int sliceNumPos() const;      // 0..100
  int backColorPos() const;     // 0..100
  // (transparency x 0.01)^3.
  double volumeAlpha() const;
  // int(slice num x 0.01 x 1900 + 100): 100..2000.
  int sliceCount() const;
  bool isXYPlaneOn() const;
  bool isYZPlaneOn() const;
  bool isZXPlaneOn() const;
  // Plane id 0 XY, 1 YZ, 2 ZX.
  bool isPlaneOn(int planeId) const;
  // Sets the three plane check boxes without the click behaviour (camera files).
  void setPlaneChecks(bool xy, bool yz, bool zx);
  // 0 RGB, 1 intensity, 2 gradient.
  int getPlaneColMode() const { return m_planeColMode; }
  // 0 RGB, 1 intensity, 2 channel 1, 3 channel 2, 4 channel 3.
  int getVolColMode() const { return m_volColMode; }

  // Editor geometry (box k = 1..3): panel-client rectangle of the picture.
  QRect editorRect(int box) const;
  // Box under a panel-client point (edges inclusive) among the shown boxes, 0 for none; the box
  // point has y upwards from the box bottom.
  int hitEditorBox(QPoint p, QPoint& boxPoint) const;
  // The pictures (for tests and painting): width x height x 4 bytes B, G, R, A, bottom row first.
  int editorWidth() const { return m_boxW; }
  int editorHeight() const { return m_boxH; }
  const std::vector<unsigned char>& backgroundImage(int k) const { return m_bgImages[k]; }
  // Panel height for 0..3 boxes.
  int panelHeightFor(int boxes) const;

  // Controls, by their role (tests drive them like a user).
  QLineEdit* pitchEdit(int axis) const { return m_pitchEdit[axis]; }
  QSpinBox* pitchSpin(int axis) const { return m_pitchSpin[axis]; }
  QCheckBox* frameCheck() const { return m_chkFrame; }
  QCheckBox* interpolateCheck() const { return m_chkInterp; }
  QCheckBox* flipStackCheck() const { return m_chkFlip; }
  QCheckBox* parallelProjCheck() const { return m_chkParallel; }
  QCheckBox* planeCheck(int planeId) const { return m_chkPlane[planeId]; }
  QSlider* transparencySlider() const { return m_sldTransparency; }
  QSlider* sliceNumSlider() const { return m_sldSliceNum; }
  QSlider* backColorSlider() const { return m_sldBackColor; }
  QRadioButton* planeColRadio(int mode) const { return m_radPlane[mode]; }
  QRadioButton* volColRadio(int mode) const { return m_radVol[mode]; }
  QPushButton* iniButton(int box) const { return m_btnIni[box - 1]; }
  QPushButton* zeroButton(int box) const { return m_btnZero[box - 1]; }
  TTransFuncBox* editorBox(int box) const { return m_boxes[box - 1]; }

  // Mouse handling of the editor, in panel-client coordinates (the boxes forward their events).
  void OnLButtonDown(QPoint p);
  void OnMouseMove(QPoint p);
  void OnLButtonUp(QPoint p);
  void OnLButtonDblClk(QPoint p);
  // delta > 0 grows the radius of the point under p (2-D mode).
  void OnMouseWheel(QPoint p, int delta);
  // Paints box k (1..3) into a painter of the box picture's size.
  void paintEditorBox(int box, class QPainter& painter);

 protected:
  void keyPressEvent(QKeyEvent* e) override;   // Enter and Escape never close the panel
  void closeEvent(QCloseEvent* e) override;    // nor does the close button
  void reject() override {}

 private:
  explicit TDlgVisParam(QWidget* parent = nullptr);
  ~TDlgVisParam() override;

  static AppHooks& appHooks();
  static ViewHooks& viewHooks();
  void buildControls();
  void onFrameClicked();
  void onInterpolateClicked();
  void onFlipStackClicked();
  void onParallelProjClicked();
  void onTransparencyMoved();
  void onSliceNumMoved();
  void onBackColorMoved();
  void onPlaneColClicked(int mode);
  void onVolColClicked(int mode);
  void onPlaneCheckClicked(int planeId);
  // A pitch edit asks the core's busy gate first; refused, the fields show the pitch in use.
  bool refusePitchChange();
  void onPitchEditChanged(int axis);
  void onPitchSpinChanged(int axis);
  void onIniClicked(int box);
  void onZeroClicked(int box);
  void applyPitch();
  void writePitchEdit(int axis);
  void repaintPanelAndMainView();
  void redrawAll();

  bool m_created = false;
  bool m_updating = false;
  int m_volumeMode = 1;
  bool m_dragging = false;
  bool m_stroke = false;
  int m_boxPressed = 0;
  int m_pickedPoint = -1;
  QPoint m_prevPoint;
  bool m_planesEnabled = true;
  bool m_exclusivePlanes = false;
  int m_planeColMode = 1;
  int m_volColMode = 2;
  double m_pitch[3] = {1.0, 1.0, 1.0};
  bool m_heightsKnown = false;
  int m_heights[4] = {0, 0, 0, 0};

  int m_boxW = 0, m_boxH = 0;
  QRect m_boxRects[3];
  std::vector<unsigned char> m_bgImages[6];

  QCheckBox* m_chkFrame = nullptr;
  QCheckBox* m_chkInterp = nullptr;
  QCheckBox* m_chkFlip = nullptr;
  QCheckBox* m_chkParallel = nullptr;
  QCheckBox* m_chkPlane[3] = {nullptr, nullptr, nullptr};
  QSlider* m_sldTransparency = nullptr;
  QSlider* m_sldSliceNum = nullptr;
  QSlider* m_sldBackColor = nullptr;
  QLineEdit* m_pitchEdit[3] = {nullptr, nullptr, nullptr};
  QSpinBox* m_pitchSpin[3] = {nullptr, nullptr, nullptr};
  TEditPair* m_pitchPair[3] = {nullptr, nullptr, nullptr};
  QRadioButton* m_radPlane[3] = {nullptr, nullptr, nullptr};
  QRadioButton* m_radVol[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
  QPushButton* m_btnWinLv = nullptr;
  QPushButton* m_btnIni[3] = {nullptr, nullptr, nullptr};
  QPushButton* m_btnZero[3] = {nullptr, nullptr, nullptr};
  TTransFuncBox* m_boxes[3] = {nullptr, nullptr, nullptr};
};

// Pitch fields: an edit showing "%.3f" and its spin holding value x 1000 (TDlgVisParam_pitch.cpp).
// Spin position for a value: int(value x 1000) truncated, clamped to [minimum, maximum] (a value
// that is not a number gives minimum).
int t_pitchToSpinPos(double value, int minimum, int maximum);
// The field can stand for the value itself: finite, positive, and int(value x 1000) == spinPos.
bool t_pitchKeepsValue(double value, int spinPos);
