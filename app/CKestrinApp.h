#pragma once
// The application object: console traces, where the program lives, start-up (main frame, main
// view, panels, mode objects, core, first volume, solver component) and the exit work (workers
// stopped, plug-in result written, windows and solver component released).
#include <QApplication>

#include <memory>
#include <string>

class CMainFrame;
class TQtPromptService;
class TDlgMaskIdChooser;

// The program's path, and its directory ending with '/' (g_appDir, volume/app_paths.h).
extern std::string g_appPath;

class CKestrinApp : public QApplication {
  Q_OBJECT
 public:
  // argc and argv must outlive the object (those of main); Qt's own options are taken out.
  CKestrinApp(int& argc, char** argv);
  ~CKestrinApp() override;

  // False when start-up cannot go on (the program then ends).
  bool InitInstance();
  // Runs once, after the main loop ended (also after SIGINT/SIGTERM).  Returns 0 on a clean
  // exit, 1 when the plug-in result could not be written.
  int ExitInstance();

  CMainFrame* mainFrame() const { return m_frame; }

  bool hiColorIcons = true;

 private:
  int& m_argc;
  char** m_argv;
  bool m_exited = false;
  CMainFrame* m_frame = nullptr;
  std::unique_ptr<TQtPromptService> m_prompts;
  std::unique_ptr<TDlgMaskIdChooser> m_chooser;
};
