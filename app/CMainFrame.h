#pragma once
// The program's top-level window: the main view in the middle and the progress display of long
// operations in the status bar (a caption and a bar).  Progress reaches it from any thread through
// the platform progress calls; the frame's handlers run on the interface thread.
#include <QMainWindow>

#include <memory>
#include <string>

class QLabel;
class QProgressBar;
class TProgressSink;

// Captions of the progress display, indexed by the progress-start call (0..16).
extern const char* const g_progressCaptions[17];

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

  // Places the rendering panel and the visible mode panels beside the frame's right edge.
  void placeModeDialogs();

  bool created = false;

  // For tests: what the status bar shows.
  std::string captionText() const;
  int progressValue() const;

 protected:
  void moveEvent(QMoveEvent* e) override;
  // Closing the frame ends the program (the panels are separate windows).
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void OnCreate();
  void setPaneColours(const char* textColour, const char* captionBack, const char* barBack);

  QLabel* m_caption = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_scrl = nullptr;
  std::unique_ptr<TProgressSink> m_sink;
};

// The one main frame; null until it is built.  Cleared when it is destroyed.
extern CMainFrame* g_mainFrame;
