#include "app/CKestrinApp.h"

#include <QElapsedTimer>
#include <QStyle>
#include <QWindow>

#include <algorithm>
#include <cstdio>

#include "app/CMainFrame.h"
#include "app/core_wiring.h"
#include "core/ModeRegistry.h"
#include "core/WinLvModel.h"
#include "core/lifetime.h"
#include "core/TCore.h"
#include "ui/TDlgMaskManip.h"
#include "app/TDlgWinLv.h"
#include "core/TModeState.h"
#include "modes/vis/StateVisStd.h"
#include "app/region_data.h"
#include "platform/CLocale.h"
#include "platform/Prompt.h"
#include "platform/qt/QtImageCodec.h"
#include "platform/qt/QtPrompts.h"
#include "platform/qt/app_profile.h"
#include "platform/qt/modal_dialog.h"
#include "platform/qt/signal_quit.h"

#include "volume/TMaskIdTable.h"
#include "volume/app_paths.h"
#include "volume/volume_export.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/VolRendManager.h"
#include "view/redraw.h"
#include "volume/TextureManager.h"
#include "ui/TDlgResampleVolPitch.h"
#include "ui/panel_window.h"
#include "view/drop_dispatch.h"
#include "view/TDlgVisParam.h"
#include "view/GLSetup.h"
#include "geom/TDenseMatEx.h"
#include "geom/TSparseMatrix.h"
#include "geom/umfpack_component.h"

std::string g_appPath;

namespace {

// Shows the frame at its start-up place (1024 x 768 where the screen has room, beside the column
// of the panels the first mode shows) and waits until the window manager has mapped and decorated
// it, or a moment without one.
void showFrameWhereItStays(CMainFrame* frame, int startMode) {
  // Decorations are not known before the frame is mapped: a title bar and borders, guessed on the
  // large side so that the frame does not reach beyond a small screen.
  const int title = std::max(30, frame->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, frame) + 8);
  frame->placeAtStartUp(QSize(1024, 768), QMargins(6, title, 6, 8), StateVisStd::getInst().panelsOnEntry(startMode));
  frame->show();
  QElapsedTimer clock;
  clock.start();
  auto mapped = [frame] { return frame->windowHandle() && frame->windowHandle()->isExposed(); };
  while (!mapped() && clock.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  // A window manager decorates the frame soon after mapping it; without one it stays bare.
  const qint64 exposedAt = clock.elapsed();
  while (frame->frameGeometry() == frame->geometry() && clock.elapsed() - exposedAt < 300)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QCoreApplication::processEvents();
}

}  // namespace

CKestrinApp::CKestrinApp(int& argc, char** argv) : QApplication(argc, argv), m_argc(argc), m_argv(argv) {
  std::fprintf(stderr, "start\n");
  g_appPath = QCoreApplication::applicationFilePath().toStdString();
  std::string dir = QCoreApplication::applicationDirPath().toStdString();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  g_appDir = dir;
}

CKestrinApp::~CKestrinApp() { ExitInstance(); }

bool CKestrinApp::InitInstance() {
  // Text files are read and written with a dot as the decimal separator.
  t_forceCNumericLocale();
  TCore::setWiring(t_defaultCoreWiring());
  t_registerModeLibraries();
  t_setupAppProfile();
  m_prompts = std::make_unique<TQtPromptService>();
  t_setPromptService(m_prompts.get());
  // Picture files of every format Qt reads (the built-in codec reads BMP only).
  static TQtImageCodec pictureCodec;
  t_setImageCodec(&pictureCodec);
  m_chooser = std::make_unique<TDlgMaskIdChooser>();
  t_setMaskIdChooser(m_chooser.get());
  t_installAppRegionData();
  // Ctrl+C and kill end the program through ExitInstance, so the plug-in result is written.
  t_quitOnTermSignals();

  // Without OpenGL the main view cannot be shown (a window holding a GL widget cannot even be
  // painted): tell the user before any window exists and end.
  std::string noGL;
  if (!t_probeOpenGL(&noGL)) {
    std::string text = "OpenGL could not be started (" + noGL +
                       "), so Kestrin cannot show volumes and ends.\n"
                       "An OpenGL 2.1 (or newer) compatibility context is needed.";
    // In plug-in mode the host's answer is the failure: no mask is written.
    if (m_argc > 5 && m_argv[5])
      text += std::string("\n\nThe segmentation result was not written for MUXA:\n") + m_argv[5];
    std::fprintf(stderr, "%s\n", text.c_str());
    t_warn(text);
    return false;
  }

  // Main frame with the main view (the view's GL context comes into being when it is shown).
  QWidget* view = nullptr;
  view = new CKestrinView();
  m_frame = new CMainFrame(view);
  m_frame->installProgressSink();
  // Every panel made from here on is a tool window of the frame, placed by it before it shows.
  t_setPanelOwner(m_frame);
  t_setPanelPlacer([](QWidget* showing) {
    if (g_mainFrame) g_mainFrame->layoutPanels(showing, true);
  });
  // The three slice panes dock on the frame.
  SubPaneManager::getInst().createDockWidgets(m_frame);
  {
    CMainFrame::ViewCommands vc;
    vc.arrangePanes1 = [] { SubPaneManager::getInst().arrangePanes1(); };
    vc.arrangePanes2 = [] { SubPaneManager::getInst().arrangePanes2(); };
    vc.fitPanesToVolume = [] { SubPaneManager::getInst().fitAllPanes(); };
    vc.redrawAll = [] { t_redrawAll(); };
    vc.resetCamera = [] { VolRendManager::getInst().resetCamera(); };
    vc.startAnimation = [](int kind) {
      if (CKestrinView* v = CKestrinView::s_theView) v->startAnimation(kind);
    };
    vc.panesArranged = [] { return SubPaneManager::getInst().arranged; };
    vc.currentPitch = [](double pitch[3]) {
      if (TDlgVisParam::exists()) TDlgVisParam::getInst().getPitch(pitch);
    };
    vc.resampleAndExport = [](const std::string& path, const double oldPitch[3], const double newPitch[3]) {
      return t_resampleAndExport(TextureManager::getInst(), path, oldPitch, newPitch);
    };
    m_frame->viewCommands = vc;
  }
  std::fprintf(stderr, "create dialogs & State* classes ------↓↓↓↓↓\n");
  {
    TDlgVisParam::AppHooks hooks;
    hooks.modeId = [] { return TCore::getInst().modeId; };
    hooks.zFlipped = [] { return TCore::getInst().zFlipped; };
    hooks.setZFlipped = [](bool on) { TCore::getInst().zFlipped = on; };
    hooks.flipZMaskSurfaces = [] {
      if (TCore::wiring().flipZMaskSurfaces) TCore::wiring().flipZMaskSurfaces();
    };
    hooks.showWindowLevel = [] { TDlgWinLv::getInst().show(); };
    TDlgVisParam::setAppHooks(hooks);
    TDlgVisParam& vp = TDlgVisParam::getInst();
    // Shown once the first volume is in and the frame has placed it: the start-up questions
    // (grey or colour, the plug-in notice, a load error) come first, and the panel would stand
    // unplaced beside them with its editor boxes not yet painted.
    vp.createPanel();
    t_atExit([] { TDlgVisParam::destroyInst(); });
  }
  TDlgWinLv::getInst().hide();
  t_atExit([] { TDlgWinLv::destroyInst(); });
  // The 8-bit exports use the window-level panel's windows; a loaded mask file hands its pitch to
  // the rendering panel, which holds the pitch of the volume.
  t_setExportWindowSource([](double minimum[3], double maximum[3]) {
    TWinLvModel::getInst().getMinValues(minimum);
    TWinLvModel::getInst().getMaxValues(maximum);
  });
  t_setResamplePitchAsker([](const double oldPitch[3], double newPitch[3]) {
    TDlgResampleVolPitch dlg(oldPitch, oldPitch, g_mainFrame);
    if (t_execModal(dlg) != QDialog::Accepted) return false;
    dlg.getNewPitch(newPitch);
    return true;
  });
  TMaskIdTable::getInst().setPitchSink([](const double pitch[3]) {
    if (TDlgVisParam::exists()) TDlgVisParam::getInst().setPitch(pitch);
  });

  // Mode objects and their panels, in registration order.
  TModeRegistry::getInst().constructAll();
  std::fprintf(stderr, "create dialogs & State* classes ------↑↑↑↑↑\n");
  // The frame and the rendering panel's column are placed together before the frame shows; the
  // panels show once the window manager has put the frame where it stays (placed relative to an
  // earlier place, they would be seen there first and then move).  Its first paint makes the core.
  const char* startFile = m_argc > 1 ? m_argv[1] : nullptr;
  showFrameWhereItStays(m_frame, TCore::startModeFor(startFile ? TCore::fileTypeOfName(startFile) : 0));

  TCore::getInst().initApplication(m_argc, m_argv);
  // Its show lays the column out with it before it appears, never first at a default place.
  TDlgVisParam::getInst().show();
  // Files dropped on the main view go to the core's file commands.
  TDropLoaders drops;
  drops.loadVolume = [](const std::string& path) {
    TCore::getInst().loadVolume(path);
    t_redrawAll();
  };
  drops.loadMask = [](const std::string& path) { return TCore::getInst().loadMask(path); };
  drops.loadCamera = [](const std::string& path) { TCore::getInst().loadCamera(path.c_str()); };
  drops.loadCameraTransFunc = [](const std::string& path) {
    TCore::getInst().loadCameraTransFunc(path.c_str());
  };
  t_setDropLoaders(drops);

  t_loadUmfpackDll(g_appDir.c_str());
  TDenseMatEx::TEST();
  TSparseMatrix::test();
  std::fprintf(stderr, "start Kestrin InitInstance() ----------------------------------↑↑\n\n");
  return true;
}

int CKestrinApp::ExitInstance() {
  if (m_exited) return 0;
  m_exited = true;
  TCore& core = TCore::getInst();
  // No worker may go on reading volumes that are about to be written or freed.
  core.stopAllWorkers();
  const bool ok = core.finishPlugin();
  if (g_umfpackDllLoaded) t_freeUmfpackDll();

  // Windows go while the window system exists; the mode objects outlive it (static lifetime).
  if (m_frame) m_frame->removeProgressSink();
  t_setExportWindowSource(nullptr);
  t_setResamplePitchAsker(nullptr);
  TMaskIdTable::getInst().setPitchSink(nullptr);
  t_setPanelPlacer(nullptr);
  t_runAtExit();
  delete m_frame;
  m_frame = nullptr;

  t_setMaskIdChooser(nullptr);
  t_uninstallAppRegionData();
  t_setPromptService(nullptr);
  t_setImageCodec(nullptr);
  return ok ? 0 : 1;
}
