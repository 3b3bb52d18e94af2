// The program as the user and the host application start it: the start-up traces come in their
// order, and SIGTERM ends it through the normal exit path (in plug-in mode the mask is written).
// Runs the built `kestrin` as a child process on the test's display.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The child runs without leak detection: the GL driver's leaks come from its JIT code, which
// the sanitizer attributes to no library, so no suppression can name them.  Our own code's
// leaks are checked by the in-process tests.
void startKestrin(QProcess& p, const QStringList& args,
                  const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment());

std::string kestrinPath() {
  const char* bin = std::getenv("KESTRIN_BIN_DIR");
  return std::string(bin ? bin : ".") + "/kestrin";
}

// Reads the child's standard error until `needle` appears; false on timeout or exit.
bool readUntil(QProcess& p, std::string& all, const std::string& needle, int ms) {
  QElapsedTimer t;
  t.start();
  while (all.find(needle) == std::string::npos) {
    if (t.elapsed() > ms) return false;
    if (p.state() == QProcess::NotRunning) {
      all += p.readAllStandardError().toStdString();
      return all.find(needle) != std::string::npos;
    }
    p.waitForReadyRead(200);
    all += p.readAllStandardError().toStdString();
  }
  return true;
}

// Checks that the traces appear in this order.
void expectInOrder(const std::string& all, const std::vector<std::string>& traces) {
  std::size_t pos = 0;
  for (const std::string& t : traces) {
    const std::size_t at = all.find(t, pos);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << t;
    pos = at + t.size();
  }
}

void finish(QProcess& p, std::string& all) {
  p.terminate();  // SIGTERM
  const bool ended = p.waitForFinished(180000);
  all += p.readAllStandardError().toStdString();
  if (!ended) {
    p.kill();
    p.waitForFinished(5000);
  }
  ASSERT_TRUE(ended) << "kestrin did not end after SIGTERM";
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << all.substr(all.size() > 3000 ? all.size() - 3000 : 0);
  EXPECT_NE(all.find("signal 15: closing Kestrin"), std::string::npos);
}

void startKestrin(QProcess& p, const QStringList& args, const QProcessEnvironment& base) {
  QProcessEnvironment env = base;
  QString asan = env.value("ASAN_OPTIONS");
  asan += asan.isEmpty() ? "detect_leaks=0" : ":detect_leaks=0";
  env.insert("ASAN_OPTIONS", asan);
  p.setProcessEnvironment(env);
  p.start(QString::fromStdString(kestrinPath()), args);
}

class Start : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (run under Xvfb)";
    if (!QFileInfo::exists(QString::fromStdString(kestrinPath()))) GTEST_SKIP() << "kestrin not built";
  }
};

}  // namespace

TEST_F(Start, WithoutArgumentsTheTracesComeInOrderAndSigtermEndsNormally) {
  QProcess p;
  startKestrin(p, {});
  ASSERT_TRUE(p.waitForStarted(10000));
  std::string all;
  ASSERT_TRUE(readUntil(p, all, "start Kestrin InitInstance()", 180000)) << all;
  expectInOrder(all, {"start\n",
                      "MFC MFC MFC MFC On Create MainFrm --------------↓↓↓↓↓↓↓↓\n",
                      "MFC MFC MFC MFC On Create MainFrm --------------↑↑↑↑↑↑↑↑↑↑\n",
                      "create dialogs & State* classes ------↓↓↓↓↓\n",
                      "StateSegSRG", "StateSegRGrow", "StateSegFulManu", "StateSegCurveCyl",
                      "StateSegContMesh", "StateSegCMeshZel", "StateRefContours", "StateSegGCut",
                      "create dialogs & State* classes ------↑↑↑↑↑\n",
                      // The core comes after the frame, the panels and the modes.
                      "constructor TCore    \n",
                      "constructor TCore Fin\n",
                      "init application argument Num= 1\n",
                      "start Kestrin InitInstance() ----------------------------------↑↑\n\n"});
  finish(p, all);
}

TEST_F(Start, PlugInModeWritesTheMaskWhenEndedBySigterm) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString out = dir.filePath("result.tif");
  QProcess p;
  // The volume cannot be read: the program goes on with its default volume.
  startKestrin(p, {dir.filePath("missing.tif"), "0.5", "0.5", "2.0", out});
  ASSERT_TRUE(p.waitForStarted(10000));
  std::string all;
  ASSERT_TRUE(readUntil(p, all, "init application argument Num= 6", 180000)) << all;
  // The plug-in message box is up now or soon; the signal ends it and the program.
  finish(p, all);
  EXPECT_TRUE(QFileInfo::exists(out)) << "no plug-in result at " << out.toStdString();
  EXPECT_GT(QFileInfo(out).size(), 0);
}

// A display without OpenGL: the program says so and ends with status 1 before any window with
// a GL view exists (painting one would crash inside Qt).  The box it shows is ended by SIGTERM;
// in plug-in mode the host's answer is the failure, no mask file.
TEST_F(Start, WithoutOpenGLTheUserIsToldAndTheProgramEndsWithStatus1) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_XCB_GL_INTEGRATION", "none");
  for (bool plugIn : {false, true}) {
    SCOPED_TRACE(plugIn ? "plug-in mode" : "no arguments");
    const QString out = dir.filePath("result.tif");
    QProcess p;
    startKestrin(p, plugIn ? QStringList{dir.filePath("missing.tif"), "1", "1", "1", out} : QStringList{},
                 env);
    ASSERT_TRUE(p.waitForStarted(10000));
    std::string all;
    ASSERT_TRUE(readUntil(p, all, "OpenGL could not be started", 120000)) << all;
    // The box is up; it must paint without taking the program down.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 3000 && p.state() == QProcess::Running) p.waitForFinished(200);
    ASSERT_EQ(p.state(), QProcess::Running) << "ended before the user saw the box:\n" << all
                                            << p.readAllStandardError().toStdString();
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(60000));
    all += p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1) << all;
    EXPECT_EQ(all.find("AddressSanitizer"), std::string::npos) << all;
    EXPECT_EQ(all.find("CKestrinView Constractor"), std::string::npos);  // no GL widget was made
    EXPECT_EQ(all.find("init application"), std::string::npos);
    if (plugIn) {
      EXPECT_NE(all.find("The segmentation result was not written for MUXA:\n" + out.toStdString()),
                std::string::npos)
          << all;
      EXPECT_FALSE(QFileInfo::exists(out));
    }
  }
}

// Occurrences of `needle` in `all`.
int count(const std::string& all, const std::string& needle) {
  int n = 0;
  for (std::size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1)) ++n;
  return n;
}

TEST_F(Start, PlugInResultThatCannotBeWrittenIsToldOnceAndEndsWithStatus1) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString out = dir.filePath("no-such-folder/result.tif");
  QProcess p;
  startKestrin(p, {dir.filePath("missing.tif"), "1", "1", "1", out});
  ASSERT_TRUE(p.waitForStarted(10000));
  std::string all;
  ASSERT_TRUE(readUntil(p, all, "init application argument Num= 6", 180000)) << all;
  // SIGTERM: the failed write is told on standard error, no box waits for a click.
  p.terminate();
  const bool ended = p.waitForFinished(120000);
  all += p.readAllStandardError().toStdString();
  if (!ended) {
    p.kill();
    p.waitForFinished(5000);
  }
  ASSERT_TRUE(ended) << "kestrin stayed alive after SIGTERM";
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 1) << all.substr(all.size() > 3000 ? all.size() - 3000 : 0);
  EXPECT_EQ(count(all, "The segmentation result could not be written for MUXA"), 1) << all;
  EXPECT_NE(all.find("No such file or directory"), std::string::npos);
  EXPECT_FALSE(QFileInfo::exists(out));
}

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
