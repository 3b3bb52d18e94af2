// What the end-to-end tests share: the program started under Xvfb with a volume on its command
// line, a TIFF writer for the volumes they make, screenshots, projection of world points to the
// main view, modal answers and waiting for workers.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

class QMainWindow;
class QWidget;
class TOGL;

namespace e2e {

// A little-endian multi-page TIFF of unsigned 16-bit samples, one strip per page.
bool writeTiff16(const std::string& path, int w, int h, int d, const std::function<int(int, int, int)>& sample);

// A file name in the temporary folder unique to this run: kestrin_<stem>_<pid><suffix>.
std::string tempPath(const char* stem, const char* suffix);

// Screenshots of the frame (and of a panel) saved as <artefacts>/<prefix><name>.png, with the time
// since the first shot printed, so that a slow step shows in the log.
class Shots {
 public:
  explicit Shots(QString prefix) : prefix_(std::move(prefix)) {}
  void operator()(QWidget* frame, QWidget* panel, const char* name);
  QString path(const char* name) const;

 private:
  QString prefix_;
  qint64 start_ = -1;
};

// The window position of a world point in a view whose matrices are those of its last frame.
QPoint project(TOGL& ogl, double x, double y, double z);

// Processes events until done() holds; false after ms milliseconds.
bool waitUntil(const std::function<bool()>& done, int ms = 120000);

// Answers the next modal window with fn (from the event loop the modal window runs).
void whenModal(std::function<void(QWidget*)> fn);

// Picks the ids in the region chooser w and accepts it.
void chooseIds(QWidget* w, const std::vector<int>& ids);

// A drag of the widget with a button and modifiers held, through the points in order.
void drag(QWidget* v, Qt::MouseButton b, Qt::KeyboardModifiers mods, const std::vector<QPoint>& pts);

// Voxels of the flag volume equal to v: how many, and their indices.
int countFlags(std::uint8_t v);
std::set<int> flaggedVoxels(std::uint8_t v);

// The number of pixels whose colour differs (by more than 30 over the channels) between two
// pictures of the same size.
int changedPixels(const QImage& a, const QImage& b);

// Runs the program with the given files on its command line and the test cases inside it.
// Returns the cases' exit code (2 when the program did not start).
int runProgram(int argc, char** argv, const std::vector<std::string>& files);

// The whole main() of a test on one volume of its own: listing the cases starts nothing;
// otherwise the volume (sample(x, y, z) per voxel) is written to a temporary TIFF whose name goes
// to path, the program is run on it and the file removed afterwards.
int runOnVolume(int argc, char** argv, const char* stem, int w, int h, int d,
                const std::function<int(int, int, int)>& sample, std::string& path);

// The program's main window once it is shown (null when there is no main view).
QMainWindow* shownFrame();

// Activates the window w and waits until the window system made it active (false after 10 s).
bool activated(QWidget* w);

// Whether keys reach the main window (as they must once a mode has ended and its panels have
// gone): it becomes the active window within 10 s, and Alt+F sent through the X server, with the
// pointer off our windows, to whichever window holds the keyboard focus there, opens its File menu
// within 10 s; Escape closes the menu again.  Qt's active window alone is not enough: the window
// system may keep the keys elsewhere while Qt and the window manager call the main window active.
::testing::AssertionResult mainWindowTakesKeys();

}  // namespace e2e
