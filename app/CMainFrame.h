#pragma once
// The program's top-level window: the menu bar with every command, the tool bar, the main view in
// the middle, the three slice panes docked at its side, and the progress display of long
// operations in the status bar (a caption and a bar).  Progress reaches it from any thread through
// the platform progress calls; the frame's handlers run on the interface thread.
#include <QMainWindow>
#include <QMargins>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;
class TProgressSink;

// Captions of the progress display, indexed by the progress-start call (0..16).
constexpr int kProgressCaptionCount = 20;
extern const char* const g_progressCaptions[kProgressCaptionCount];

// Command ids of the menu (each QAction carries its id as data).
enum : int {
  ID_LOAD_SLICES = 32770,
  ID_LOAD_VOLUME = 32771,
  ID_LOAD_2ND_CHANNEL = 32772,
  ID_LOAD_2ND_CHANNEL_SLICES = 32773,
  ID_LOAD_3RD_CHANNEL = 32774,
  ID_LOAD_3RD_CHANNEL_SLICES = 32775,
  ID_LOAD_MASK = 32776,
  ID_SAVE_MASK = 32777,
  ID_EXPORT_TIF_MINMAX = 32778,
  ID_EXPORT_BMP_SLICES = 32779,
  ID_EXPORT_MASK_TIF8 = 32780,
  ID_EXPORT_REGION_OBJ = 32781,
  ID_EXPORT_REGION_STL = 32782,
  ID_EXPORT_COMBINED = 32783,
  ID_EXPORT_TIF_255 = 32784,
  ID_SUBPANE_ARRANGE1 = 32798,
  ID_SUBPANE_ARRANGE2 = 32799,
  ID_XY_SUBPANE = 32800,
  ID_YZ_SUBPANE = 32801,
  ID_ZX_SUBPANE = 32802,
  ID_CAMERA_INIT = 32803,
  ID_CAM_ROT_X = 32804,
  ID_CAM_ROT_Y = 32805,
  ID_CAM_ROT_Z = 32806,
  ID_MULTI_REGION_CLOSING = 32807,
  ID_SAVE_CAMERA = 32808,
  ID_SAVE_CAMERA_TRANSFUNC = 32810,
  ID_LOAD_CAMERA_TRANSFUNC = 32811,
  ID_CAM_XY_CROSSSEC_ANIM = 32812,
  ID_RESAMPLE_EXPORT = 32833,
  ID_APP_ABOUT = 57664,
};

// The 14 mode commands in menu order: command id and mode id.
struct TModeCommand {
  int id;
  int modeId;
  const char* caption;
};
extern const TModeCommand g_modeCommands[14];

// The open dialog of a command: true with the chosen path and its extension (without the dot).
bool t_selectFile(const std::string& filter, std::string& path, std::string& ext);
// The multiple-selection open dialog of the slice commands: the names sorted in ascending byte
// order; names whose last three characters differ are refused with a message.
bool t_selectSliceFiles(const std::string& filter, std::vector<std::string>& paths, std::string& ext);
// A filter of the form "name|patterns||" as the platform's file dialogs take it.
std::string t_qtFilter(const std::string& filter);

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  // central: the main view (may be null in tests).  Sets g_mainFrame.
  explicit CMainFrame(QWidget* central = nullptr);
  ~CMainFrame() override;

  // Progress handlers (always on the interface thread).
  int OnMyProgressStart(int index, int percent);
  int OnMyProgressStep(int percent);
  int OnMyProgressEnd();

  // Installs / removes this frame as the receiver of the platform progress calls.
  void installProgressSink();
  void removeProgressSink();

  // Lays out the frame and the panels (ui/panel_window.h): the rendering panel, the shown mode
  // panels and the window level.  Every layout starts from the frame's own place and moves or
  // narrows the frame only as far as the shown panels need.
  void placeModeDialogs();
  // The same layout before a panel is shown, with that panel in it; mayMoveMain is false where
  // the frame must stay where it stands (the user is moving it: the panels follow).
  void layoutPanels(QWidget* showing, bool mayMoveMain);
  // Before the frame is first shown: its client size (cut to the screen), the decorations it will
  // have, and the panels the first mode will show.  The frame and the column beside it are
  // centred on the screen; that is the frame's own place.  Sets the geometry in one step.
  void placeAtStartUp(QSize clientSize, QMargins decorations, const std::vector<const QWidget*>& panels);
  // The frame's own place (its client rectangle): where start-up put it, or where the user last
  // moved or resized it.
  QRect homeGeometry() const { return m_home; }

  // The command of an id (null for an unknown id), and running it as the menu would.
  QAction* action(int id) const;
  void runCommand(int id);
  // Every command id of the menus, in menu order.
  std::vector<int> commandIds() const;
  // Enabled and checked states of every command from the program's state (menus run it when
  // they open; mode switches run it too).
  void updateCommandStates();

  // Menu handlers.
  void OnLoadVolume();
  void OnLoadSlices();
  void OnLoad2ndChannel();
  void OnLoad2ndChannelSlices();
  void OnLoad3rdChannel();
  void OnLoad3rdChannelSlices();
  void OnLoadMask();
  void OnSaveMask();
  void OnExportTifMinMax();
  void OnExportTif255();
  void OnExportBmpSlices();
  void OnExportMaskTif8();
  void OnExportRegionObj();
  void OnExportRegionStl();
  void OnExportCombinedFile();
  void OnResampleExport();
  void OnXySubPane();
  void OnYzSubPane();
  void OnZxSubPane();
  void OnSubPaneArrange1();
  void OnSubPaneArrange2();
  void OnCameraInit();
  void OnSaveCamera();
  void OnSaveCameraTransFunc();
  void OnLoadCameraTransFunc();
  void OnCamRotX();
  void OnCamRotY();
  void OnCamRotZ();
  void OnCamXyCrossSecAnim();
  void OnMultiRegionClosing();
  void OnAppAbout();

  // What the pane commands and the camera commands reach in the view layer; the application
  // fills them (tests may leave them empty).
  struct ViewCommands {
    std::function<bool()> panesArranged;
    std::function<void()> arrangePanes1;
    std::function<void()> arrangePanes2;
    std::function<void()> fitPanesToVolume;
    std::function<void()> resetCamera;
    std::function<void(int kind)> startAnimation;
    std::function<void()> redrawAll;
    // Old pitch of the resampling export, and the export itself (volume holder).
    std::function<void(double pitch[3])> currentPitch;
    std::function<bool(const std::string& path, const double oldPitch[3], const double newPitch[3])>
        resampleAndExport;
  };
  ViewCommands viewCommands;

  bool created = false;

  // For tests: what the status bar shows.
  std::string captionText() const;
  int progressValue() const;

 protected:
  void moveEvent(QMoveEvent* e) override;
  // Closing the frame ends the program (the panels are separate windows).
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  // Maximising and restoring lay the panels out again.
  void changeEvent(QEvent* e) override;

 private:
  void OnCreate();
  void buildMenus();
  QAction* addCommand(QMenu* menu, int id, const char* caption, void (CMainFrame::*handler)());
  void setPaneColours(const char* textColour, const char* captionBack, const char* barBack);
  // The dock widget of a slice pane by its caption ("XY", "YZ", "ZX"), null when absent.
  QDockWidget* paneDock(const char* caption) const;
  void toggleSubPane(const char* caption);
  void loadChannel(int channel);
  void loadChannelSlices(int channel);
  void startAnimation(int kind);
  void redrawAll();
  // Moves and sizes the frame to this client rectangle, in one step.
  void setClientRect(const QRect& client);
  // From the frame's top edge to the bottom of its tool bar (title bar, menus, tool bar).
  int barsHeight() const;
  // The decorations reckoned with around this client rectangle (t_reckonedDecorations), but where
  // the real frame lies inside avail, no further out than its edge.
  QMargins decorationsAt(const QRect& client, const QRect& avail) const;
  // The frame's geometry changed: from a request of the layout, or from the user (then, once the
  // change settles, it is the frame's own place and the panels follow it).
  void geometryChanged();
  bool requestedGeometry(const QRect& g) const;
  void userPlacedFrame();
  // Takes the frame's geometry as its own place where it is the user's; false where it is not.
  bool takeUserPlace();

  bool m_layingOut = false;
  QRect m_home;                 // the frame's own place (client rectangle)
  QRect m_requested, m_beforeRequest;
  qint64 m_requestedAt = 0;     // ms since the epoch
  qint64 m_restoredAt = 0;      // when the frame was last restored from maximised
  QTimer* m_userMoveTimer = nullptr;
  // Where the window level stood before the frame was maximised, until it is restored.
  QRect m_freeBeforeMaximised;
  bool m_freeMovedBeforeMaximised = false;
  QLabel* m_caption = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_scrl = nullptr;
  QToolBar* m_toolBar = nullptr;
  QActionGroup* m_modeGroup = nullptr;
  std::map<int, QAction*> m_actions;
  std::vector<int> m_order;
  std::unique_ptr<TProgressSink> m_sink;
};

// The one main frame; null until it is built.  Cleared when it is destroyed.
extern CMainFrame* g_mainFrame;
