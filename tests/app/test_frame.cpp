// The main frame's commands with the program's own wiring (volume holder, mask table, panels),
// offscreen: every menu command exists with its caption and id and runs without a crash when the
// user cancels; the mode check follows a fall-back; files written by the commands read back the
// same, also by independent readers (tifffile, VTK); the small dialogs and the region editor.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

#include "app/CMainFrame.h"
#include "app/TDlgWinLv.h"
#include "app/core_wiring.h"
#include "app/region_data.h"
#include "core/MaskIdChooser.h"
#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/WinLvModel.h"
#include "core/lifetime.h"
#include "modes/curve/StateSegCurveCyl.h"
#include "modes/region/StateSegGCut.h"
#include "modes/region/StateSegRGrow.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"
#include "ui/TDlgIntSelect.h"
#include "ui/TDlgMarchingCubesParam.h"
#include "ui/TDlgMaskCellManip.h"
#include "ui/TDlgMaskManip.h"
#include "ui/TDlgResampleVolPitch.h"
#include "view/TDlgVisParam.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"
#include "volume/volume_export.h"

namespace {

void whenModal(std::function<void(QWidget*)> fn) {
  auto* timer = new QTimer();
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      fn(w);
    }
  });
  timer->start();
}

std::string workDir() {
  static std::string dir;
  if (dir.empty()) {
    const char* t = std::getenv("TMPDIR");
    dir = std::string(t && *t ? t : "/tmp") + "/kestrin_frame_" + std::to_string(::getpid());
    std::system(("mkdir -p '" + dir + "'").c_str());
  }
  return dir;
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// Runs Debian's python with a script; its standard output, or "SKIP" when a module is missing.
std::string python(const std::string& script) {
  const std::string file = workDir() + "/script.py";
  std::ofstream(file) << script;
  const std::string out = workDir() + "/script.out";
  const int rc = std::system(("/usr/bin/python3 '" + file + "' > '" + out + "' 2>&1").c_str());
  std::string text = readFile(out);
  if (rc != 0) return "ERROR " + text;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// A 40 x 30 x 12 16-bit volume: background 100, a box of 1000 at x 10-19, y 5-14, z 3-8.
std::string makeVolume() {
  const std::string path = workDir() + "/vol.tif";
  const std::string r = python(
      "import numpy as np, tifffile\n"
      "v = np.full((12, 30, 40), 100, np.uint16)\n"
      "v[3:9, 5:15, 10:20] = 1000\n"
      "tifffile.imwrite('" + path + "', v)\n"
      "print('ok')\n");
  return r == "ok" ? path : std::string();
}

class Frame : public ::testing::Test {
 protected:
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  ScriptedChooser chooser;
  std::unique_ptr<CMainFrame> frame;

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    t_setMaskIdChooser(&chooser);
    frame = std::make_unique<CMainFrame>();
    frame->installProgressSink();
    frame->viewCommands.panesArranged = [] { return true; };
    frame->viewCommands.currentPitch = [](double p[3]) { TDlgVisParam::getInst().getPitch(p); };
    frame->viewCommands.resampleAndExport = [](const std::string& path, const double o[3], const double n[3]) {
      return t_resampleAndExport(TextureManager::getInst(), path, o, n);
    };
  }
  void TearDown() override {
    frame->removeProgressSink();
    frame.reset();
    t_setMaskIdChooser(nullptr);
    scope.reset();
  }
};

}  // namespace

TEST_F(Frame, EveryCommandHasItsCaptionAndIdAndRunsWhenTheUserCancels) {
  const std::map<int, std::string> captions = {
      {32771, "Load Volume image (.tif .sph muxa)"},
      {32770, "Load Slice images (.dcm .bmp .raw)"},
      {32772, "Load 2nd channel (.tif .sph)"},
      {32773, "Load 2nd channel (slices)(.dcm .bmp)"},
      {32774, "Load 3rd channel (.tif .sph)"},
      {32775, "Load 3rd channel (slices) (.dcm .bmp)"},
      {32776, "Load Mask data (.ksmask2; .ksmask)"},
      {32777, "Save Mask data (.ksmask2)"},
      {32778, "Export as Tif [min, max](.tif)"},
      {32784, "Export as Tif [0, 255](.tif)"},
      {32779, "Export as Bmp slices [0,255] (.bmp)"},
      {32780, "Export Mask as 8bit Tif\u3000(.tif)"},
      {32781, "Export one region as Obj (.obj)"},
      {32782, "Export one region as  Stl (.stl)"},
      {32783, "Export as Volume && Mask as Muxa (.muxa)"},  // shown with one ampersand
      {32833, "Resample And export as tif (double)"},
      {32786, "Vis Intensity"},
      {32787, "Vis Intensity Grad"},
      {32788, "Vis 2D transfer function"},
      {32789, "Vis Mask"},
      {32791, "Segmentation Slice by Slice"},
      {32792, "Segmentation Region Growing"},
      {32832, "Segmentation Seeded Region Growing"},
      {32785, "Segmentation Graph Cut"},
      {32793, "Segmentation Curved Cylinder"},
      {32794, "Segmentation Contour Mesh (B-HRBF)"},
      {32797, "Refinement Slice by Slice"},
      {32796, "Refinement Contours"},
      {32800, "XY sub pane"},
      {32801, "YZ sub pane"},
      {32802, "ZX sub pane "},
      {32798, "Sub Pane Arrange 1"},
      {32799, "Sub Pane Arrange 2"},
      {32803, "Camera Init"},
      {32808, "Save camera pos (.kscam)"},
      {32810, "Save camera and transfunc (.kscamtf)"},
      {32811, "Load camera and transfunc (.kscam, .kscamtf)"},
      {32804, "Cam Rot Around X"},
      {32805, "Cam Rot Around Y"},
      {32806, "Cam Rot Around Z"},
      {32812, "Cam XY CrosSec Anim"},
      {32807, "Multiple Region Closing"},
  };
  for (const auto& c : captions) {
    QAction* a = frame->action(c.first);
    ASSERT_NE(a, nullptr) << c.first;
    EXPECT_EQ(a->text().toStdString(), c.second) << c.first;
    EXPECT_EQ(a->data().toInt(), c.first);
  }
  EXPECT_TRUE(frame->action(32790)->text().startsWith("Vis Orgran Cross Section ("));
  EXPECT_TRUE(frame->action(32795)->text().endsWith("肛門管用)"));

  // Every command with every question cancelled: nothing crashes, nothing is written.
  for (int id : frame->commandIds()) {
    frame->runCommand(id);
    QCoreApplication::processEvents();
  }
  // The mode commands ran last among the file menu's; a cancelled target question of a
  // segmentation mode falls back to the mask display, whose command carries the check.
  TCore::getInst().setMode(0);
  frame->runCommand(32792);  // region growing: target question cancelled
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_TRUE(frame->action(32789)->isChecked());
  EXPECT_FALSE(frame->action(32792)->isChecked());
  // "Save camera and transfunc" outside the visualisation modes says so.
  prompts.shown.clear();
  frame->runCommand(32810);
  ASSERT_FALSE(prompts.texts().empty());
  EXPECT_EQ(prompts.texts().back(), "this command is available only when visualization mode");
  // Animations only in modes 0, 1, 2 and 4.
  frame->updateCommandStates();
  EXPECT_FALSE(frame->action(32804)->isEnabled());
  TCore::getInst().setMode(1);
  EXPECT_TRUE(frame->action(32804)->isEnabled());
  EXPECT_TRUE(frame->action(32787)->isChecked());
}

TEST_F(Frame, SliceSelectionRefusesMixedEndingsAndSortsByName) {
  prompts.openResults.push_back({"/d/s10.bmp", "/d/s02.bmp", "/d/s1.bmp"});
  std::vector<std::string> paths;
  std::string ext;
  ASSERT_TRUE(t_selectSliceFiles("img slices (*.bmp;*.dcm)|*.bmp;*.dcm||", paths, ext));
  EXPECT_EQ(ext, "bmp");
  EXPECT_EQ(paths, (std::vector<std::string>{"/d/s02.bmp", "/d/s1.bmp", "/d/s10.bmp"}));
  EXPECT_EQ(prompts.shown.back().text, "img slices (*.bmp *.dcm)");
  prompts.openResults.push_back({"/d/a.bmp", "/d/b.dcm"});
  EXPECT_FALSE(t_selectSliceFiles("x|*.bmp||", paths, ext));
  EXPECT_EQ(prompts.texts().back(), "複数のファイルが混ざっています");
}

// A name that ends with its own patterns shows them once (as the dialog reads them, apart by
// spaces); other names get theirs added.
TEST(QtFilter, ANameHoldingItsPatternsShowsThemOnce) {
  EXPECT_EQ(t_qtFilter("kestrin mask file (*.ksmask2)|*.ksmask2||"), "kestrin mask file (*.ksmask2)");
  EXPECT_EQ(t_qtFilter("volume Files (*.sph;*.tif;*.muxa)|*.sph;*.tif;*.muxa||"), "volume Files (*.sph *.tif *.muxa)");
  EXPECT_EQ(t_qtFilter("muxa data (image+mask) (*.muxa)|*.muxa||"), "muxa data (image+mask) (*.muxa)");
  EXPECT_EQ(t_qtFilter("img slices (bmp,dcm 16bit raw)|*.bmp;*.dcm;*.raw||"),
            "img slices (bmp,dcm 16bit raw) (*.bmp *.dcm *.raw)");
  EXPECT_EQ(t_qtFilter("kestrin mask file (*ksmask2;ksmask)|*.ksmask2;*.ksmask||"),
            "kestrin mask file (*ksmask2;ksmask) (*.ksmask2 *.ksmask)");
  EXPECT_EQ(t_qtFilter("camera pos data (*.kscam)|*.kscam|any|*||"), "camera pos data (*.kscam);;any (*)");
}

// The modes' long work starts the status-bar progress with captions of their own: each one shows.
TEST_F(Frame, ModeProgressCaptionsShow) {
  for (int index : {StateSegRGrow::kProgressCaption, StateSegCurveCyl::kProgressCaption}) {
    frame->OnMyProgressEnd();
    const std::string ready = frame->captionText();
    frame->OnMyProgressStart(index, 0);
    EXPECT_NE(frame->captionText(), ready) << index;
    EXPECT_FALSE(frame->captionText().empty()) << index;
  }
  frame->OnMyProgressEnd();
}

TEST_F(Frame, FilesWrittenByTheCommandsReadBackTheSame) {
  const std::string vol = makeVolume();
  if (vol.empty()) GTEST_SKIP() << "tifffile is not available";
  const std::string dir = workDir();
  TextureManager& tm = TextureManager::getInst();

  // File > Load Volume: the progress shows its caption and ends ready.
  ::testing::internal::CaptureStderr();
  prompts.openResults.push_back({vol});
  frame->runCommand(ID_LOAD_VOLUME);
  QCoreApplication::processEvents();
  const std::string trace = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(trace.find("OnMyProgressStart 1\n"), std::string::npos);
  EXPECT_EQ(frame->captionText(), "-----Ready----");
  ASSERT_EQ(tm.getW(), 40);
  ASSERT_EQ(tm.getD(), 12);
  EXPECT_EQ(TCore::getInst().modeId, 0);
  EXPECT_TRUE(frame->action(32786)->isChecked());
  EXPECT_TRUE(frame->action(ID_LOAD_2ND_CHANNEL)->isEnabled());
  EXPECT_FALSE(frame->action(ID_LOAD_3RD_CHANNEL)->isEnabled());

  // A region in the mask: the box's lower half, id 5.
  for (int z = 3; z < 6; ++z)
    for (int y = 5; y < 15; ++y)
      for (int x = 10; x < 20; ++x) tm.volMask.data[(z * 30 + y) * 40 + x] = 5;
  TMaskIdTable::getInst().activateRegion(5);
  const std::vector<unsigned char> maskBefore(tm.volMask.data, tm.volMask.data + 40 * 30 * 12);

  for (bool flipped : {false, true}) {
    SCOPED_TRACE(flipped ? "flipped" : "unflipped");
    if (flipped) {
      // The display flipped as Flip Stack does it: voxels and surfaces.
      tm.flipZ();
      TMaskIdTable::getInst().flipZ();
      TCore::getInst().zFlipped = true;
    }
    const std::vector<unsigned char> shown(tm.volMask.data, tm.volMask.data + 40 * 30 * 12);
    const double shownZ = TMaskIdTable::getInst().records[5].surface.verts.at(0)[2];
    const std::string tag = flipped ? "f" : "u";

    // Mask: saved without its extension typed, loaded again in the same orientation.
    prompts.saveResults.push_back(dir + "/m" + tag);
    frame->runCommand(ID_SAVE_MASK);
    const std::string maskFile = dir + "/m" + tag + ".ksmask2";
    ASSERT_FALSE(readFile(maskFile).empty());
    std::fill(tm.volMask.data, tm.volMask.data + 40 * 30 * 12, 0);
    prompts.openResults.push_back({maskFile});
    frame->runCommand(ID_LOAD_MASK);
    EXPECT_EQ(TCore::getInst().modeId, 3);
    EXPECT_EQ(std::vector<unsigned char>(tm.volMask.data, tm.volMask.data + 40 * 30 * 12), shown);
    EXPECT_NEAR(TMaskIdTable::getInst().records[5].surface.verts.at(0)[2], shownZ, 1e-9);

    // Mask as 8-bit TIFF and the volume as TIFF: in file order whatever the display shows.
    prompts.saveResults.push_back(dir + "/mask" + tag + ".tif");
    frame->runCommand(ID_EXPORT_MASK_TIF8);
    prompts.saveResults.push_back(dir + "/vol" + tag);
    frame->runCommand(ID_EXPORT_TIF_MINMAX);
    const std::string got = python(
        "import numpy as np, tifffile\n"
        "m = tifffile.imread('" + dir + "/mask" + tag + ".tif')\n"
        "v = tifffile.imread('" + dir + "/vol" + tag + ".tif')\n"
        "m = m.reshape(12, 30, 40, -1)[..., 0]; v = v.reshape(12, 30, 40, -1)[..., 0]\n"
        "# rows are written in file order: memory row y is file row 29 - y\n"
        "print(int(m[4, 19, 15]), int(m[7, 19, 15]), int((m == 5).sum()), v.dtype, float(v[5, 10, 15]), float(v[0, 0, 0]))\n");
    EXPECT_EQ(got, "5 0 300 float64 1000.0 100.0");

    // BMP slices: one per z, named base + number.
    prompts.saveResults.push_back(dir + "/sl" + tag + ".bmp");
    frame->runCommand(ID_EXPORT_BMP_SLICES);
    EXPECT_FALSE(readFile(dir + "/sl" + tag + "0.bmp").empty());
    EXPECT_FALSE(readFile(dir + "/sl" + tag + "11.bmp").empty());

    // Region surfaces: both files, read by VTK with the same counts.
    for (int format : {0, 1}) {
      chooser.one.push_back({true, 5});
      whenModal([](QWidget* w) { w->findChild<QAbstractButton*>("okButton")->click(); });
      const std::string base = dir + "/r" + tag + (format == 0 ? ".obj" : ".stl");
      prompts.saveResults.push_back(base);
      frame->runCommand(format == 0 ? ID_EXPORT_REGION_OBJ : ID_EXPORT_REGION_STL);
      const std::string unit = base + (format == 0 ? ".norm.obj" : ".norm.stl");
      const std::string counts = python(
          "import vtk\n"
          "def rd(p):\n"
          "    r = vtk.vtkOBJReader() if p.endswith('obj') else vtk.vtkSTLReader()\n"
          "    r.SetFileName(p); r.Update(); o = r.GetOutput(); b = o.GetBounds()\n"
          "    return o.GetNumberOfPolys(), b\n"
          "a, ba = rd('" + base + "'); u, bu = rd('" + unit + "')\n"
          "print(a == u and a > 0, round(ba[1], 3) <= 40.001, round(bu[1], 3) <= 1.0, round(bu[5] - bu[4], 3) <= 4.0 / 12 + 1e-3)\n");
      EXPECT_EQ(counts, "True True True True") << base;
      EXPECT_NE(prompts.texts().back().find("System exports 2"), std::string::npos);
    }

    // Combined file: volume and mask together, loaded again as the volume.
    prompts.saveResults.push_back(dir + "/c" + tag);
    frame->runCommand(ID_EXPORT_COMBINED);
    EXPECT_FALSE(readFile(dir + "/c" + tag + ".muxa").empty());

    if (flipped) {
      tm.flipZ();
      TMaskIdTable::getInst().flipZ();
      TCore::getInst().zFlipped = false;
    }
    EXPECT_EQ(std::vector<unsigned char>(tm.volMask.data, tm.volMask.data + 40 * 30 * 12), maskBefore);
    EXPECT_EQ(readFile(dir + "/mu.tif"), readFile(dir + "/mf.tif")) << "both exports hold file order";
  }

  // Resampling export: pitch as asked, read by tifffile.
  whenModal([](QWidget* w) {
    auto* dlg = qobject_cast<TDlgResampleVolPitch*>(w);
    ASSERT_NE(dlg, nullptr);
    for (int i : {3, 4, 5}) {
      dlg->edit(i)->selectAll();
      QTest::keyClicks(dlg->edit(i), i == 5 ? "0.5" : "2");
    }
    w->findChild<QAbstractButton*>("okButton")->click();
  });
  prompts.saveResults.push_back(dir + "/res.tif");
  frame->runCommand(ID_RESAMPLE_EXPORT);
  EXPECT_EQ(python("import tifffile\n"
                   "t = tifffile.TiffFile('" + dir + "/res.tif'); v = t.asarray()\n"
                   "print(v.shape, v.dtype)\n"),
            "(24, 15, 20) float64");

  // The combined file loads as volume with its regions, in mask mode.
  prompts.openResults.push_back({dir + "/cu.muxa"});
  frame->runCommand(ID_LOAD_VOLUME);
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_EQ(std::vector<unsigned char>(tm.volMask.data, tm.volMask.data + 40 * 30 * 12), maskBefore);
  EXPECT_TRUE(TMaskIdTable::getInst().records[5].used);
}

TEST_F(Frame, MaskRefusedByTheTableKeepsTheModeAndTheFile) {
  const std::string bad = workDir() + "/broken.ksmask2";
  std::ofstream(bad) << "not a mask";
  TCore::getInst().setMode(0);
  prompts.openResults.push_back({bad});
  frame->runCommand(ID_LOAD_MASK);
  EXPECT_EQ(TCore::getInst().modeId, 0);
  EXPECT_TRUE(frame->action(32786)->isChecked());
  EXPECT_FALSE(prompts.texts().empty());
  EXPECT_EQ(readFile(bad), "not a mask");
  // A cancelled question still shows the mask display.
  frame->runCommand(ID_LOAD_MASK);
  EXPECT_EQ(TCore::getInst().modeId, 3);
}

TEST_F(Frame, ModeSwitchesOfTheMenuAndOfACancelledMaskQuestionAskTheBusyGate) {
  static const char* const kBusy = "a worker runs";
  struct BusyMode : FakeMode {
    BusyMode() : FakeMode("busy") {}
    const char* busyMessage() const override { return kBusy; }
  } busy;
  // The program's modes come back whatever happens below.
  struct Restore {
    std::vector<TModeEntry> saved = TModeRegistry::getInst().entries();
    ~Restore() {
      TModeRegistry::getInst().clear();
      for (const TModeEntry& e : saved) TModeRegistry::getInst().add(e);
    }
  } restore;
  TCore::getInst().setMode(0);
  TModeEntry e;
  e.name = "busy";
  e.mode = [&busy]() -> TModeState* { return &busy; };
  TModeRegistry::getInst().add(e);
  frame->runCommand(ID_LOAD_MASK);  // cancelled
  EXPECT_EQ(TCore::getInst().modeId, 0);
  frame->runCommand(32789);  // "Vis Mask"
  EXPECT_EQ(TCore::getInst().modeId, 0);
  EXPECT_TRUE(frame->action(32786)->isChecked());
  EXPECT_EQ(prompts.texts(), std::vector<std::string>(2, kBusy));
}

// A second channel reaches the graph cut: its pre-segmentation is computed again on the next
// entry, with region means of both channels (not kept from the one-channel volume).
TEST_F(Frame, ALoadedChannelReachesTheGraphCutsRegionMeans) {
  const std::string vol = makeVolume();
  if (vol.empty()) GTEST_SKIP() << "tifffile is not available";
  const std::string second = workDir() + "/ch2.tif";
  ASSERT_EQ(python("import numpy as np, tifffile\n"
                   "tifffile.imwrite('" + second + "', np.full((12, 30, 40), 700, np.uint16))\n"
                   "print('ok')\n"),
            "ok");
  TCore::getInst().loadVolume(vol);
  StateSegGCut* gcut = t_buildStateSegGCut();
  auto precompute = [&] {
    gcut->loadOrStartPrecompute();
    QElapsedTimer clock;
    clock.start();
    while (gcut->isPrecomputing() && clock.elapsed() < 60000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return gcut->isPrecomputeReady();
  };
  ASSERT_TRUE(precompute());
  ASSERT_FALSE(gcut->precomp().regions.empty());
  EXPECT_EQ(gcut->precomp().regions[0].mean[1], 0.0f);

  ASSERT_TRUE(TCore::getInst().loadChannelVolume(second, 2));
  ASSERT_TRUE(precompute());
  ASSERT_FALSE(gcut->precomp().regions.empty());
  for (const TGCutRegion& r : gcut->precomp().regions) ASSERT_NEAR(r.mean[1], 700.0f, 1.0f);
  // Back to one channel for the cases that follow.
  TCore::getInst().loadVolume(vol);
}

// A grey volume after a colour one: the window-level rows of the channels it lacks show its
// values for them (none: zero), not the colour volume's, and so does the window the modes read.
TEST_F(Frame, AGreyVolumeAfterAColourOneShowsItsOwnValuesInRowsTwoAndThree) {
  const std::string grey = makeVolume();
  if (grey.empty()) GTEST_SKIP() << "tifffile is not available";
  const std::string colour = workDir() + "/colour.tif";
  ASSERT_EQ(python("import numpy as np, tifffile\n"
                   "v = np.zeros((12, 30, 40, 3), np.uint8)\n"
                   "v[..., 0], v[..., 1], v[..., 2] = 10, 20, 30\n"
                   "v[5, 5, 5] = (200, 150, 90)\n"
                   "tifffile.imwrite('" + colour + "', v, photometric='rgb')\n"
                   "print('ok')\n"),
            "ok");
  TDlgWinLv& wl = TDlgWinLv::getInst();
  prompts.choices.push_back(1);  // read as colour
  ASSERT_TRUE(TCore::getInst().loadVolume(colour));
  ASSERT_EQ(TextureManager::getInst().channelCount, 3);
  EXPECT_EQ(wl.maxRangeText(1)->text().toStdString(), "150.0");
  EXPECT_EQ(wl.maxEdit(2)->text().toStdString(), "90.0");

  ASSERT_TRUE(TCore::getInst().loadVolume(grey));
  ASSERT_EQ(TextureManager::getInst().channelCount, 1);
  EXPECT_EQ(wl.maxRangeText(0)->text().toStdString(), "1000.0");
  double rowMin[3], rowMax[3], modelMin[3], modelMax[3];
  wl.getMinValues(rowMin);
  wl.getMaxValues(rowMax);
  TWinLvModel::getInst().getMinValues(modelMin);
  TWinLvModel::getInst().getMaxValues(modelMax);
  for (int r : {1, 2}) {
    SCOPED_TRACE(r);
    EXPECT_FALSE(wl.maxSlider(r)->isEnabled());
    EXPECT_EQ(wl.minRangeText(r)->text().toStdString(), "0.0");
    EXPECT_EQ(wl.maxRangeText(r)->text().toStdString(), "0.0");
    EXPECT_DOUBLE_EQ(wl.dataMax(r), 0.0);
    // A channel of zeros gets the one-step window of any constant channel.
    EXPECT_EQ(wl.minEdit(r)->text().toStdString(), "0.0");
    EXPECT_EQ(wl.maxEdit(r)->text().toStdString(), "0.1");
    EXPECT_DOUBLE_EQ(modelMin[r], rowMin[r]);
    EXPECT_DOUBLE_EQ(modelMax[r], rowMax[r]);
  }
}

// ---- small dialogs ---------------------------------------------------------------------------

TEST(SmallDialogs, IntSelectTakesATypedValueClampedAndKeepsTheDefault) {
  {
    TDlgIntSelect dlg("Select closing size (pixel)", 2);
    whenModal([](QWidget* w) { w->findChild<QAbstractButton*>("okButton")->click(); });
    ASSERT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(dlg.value(), 2);
  }
  TDlgIntSelect dlg("Select closing size (pixel)", 2);
  whenModal([](QWidget* w) {
    auto* d = qobject_cast<TDlgIntSelect*>(w);
    d->spin()->findChild<QLineEdit*>()->setText("250");
    w->findChild<QAbstractButton*>("okButton")->click();
  });
  ASSERT_EQ(dlg.exec(), QDialog::Accepted);
  EXPECT_EQ(dlg.value(), 100);
}

TEST(SmallDialogs, SurfaceParametersStayInTheirRanges) {
  TDlgMarchingCubesParam dlg(9);
  dlg.smoothingCount = -3;
  whenModal([](QWidget* w) {
    auto* d = qobject_cast<TDlgMarchingCubesParam*>(w);
    d->preserveSpin()->findChild<QLineEdit*>()->setText("99");
    w->findChild<QAbstractButton*>("okButton")->click();
  });
  ASSERT_EQ(dlg.exec(), QDialog::Accepted);
  EXPECT_EQ(dlg.samplingResolution, 5);
  EXPECT_EQ(dlg.smoothingCount, 0);
  EXPECT_EQ(dlg.preserveSmoothingCount, 15);
}

TEST(SmallDialogs, ResamplePitchTakesWhatIsTypedKeyByKey) {
  const double oldP[3] = {0.5, 0.5, 2.0};
  TDlgResampleVolPitch dlg(oldP, oldP);
  EXPECT_EQ(dlg.edit(2)->text().toStdString(), "2.000");
  whenModal([&dlg](QWidget*) {
    if (!QTest::qWaitForWindowActive(&dlg)) {  // focus moves only in the active window
      dlg.reject();
      return;
    }
    // "0.5": its "0" is taken as the smallest pitch but not written over what is being typed.
    QLineEdit* e = dlg.edit(5);
    e->setFocus();
    e->selectAll();
    const char* shown[3] = {"0", "0.", "0.5"};
    const int taken[3] = {1, 1, 500};
    for (int i = 0; i < 3; ++i) {
      QTest::keyClick(e, shown[2][i]);
      EXPECT_EQ(e->text().toStdString(), shown[i]);
      EXPECT_EQ(dlg.spin(5)->value(), taken[i]);
    }
    // A zero left alone shows the pitch it gave when the focus moves on.
    dlg.edit(3)->setFocus();
    dlg.edit(3)->selectAll();
    QTest::keyClick(dlg.edit(3), '0');
    EXPECT_EQ(dlg.edit(3)->text().toStdString(), "0");
    dlg.edit(4)->setFocus();
    EXPECT_EQ(dlg.edit(3)->text().toStdString(), "0.001");
    dlg.edit(4)->selectAll();
    QTest::keyClicks(dlg.edit(4), "1.23456");
    // Enter ends the typing and accepts the dialog; the text keeps its extra digits.
    QTest::keyClick(dlg.edit(4), Qt::Key_Return);
    EXPECT_EQ(dlg.edit(4)->text().toStdString(), "1.23456");
  });
  ASSERT_EQ(dlg.exec(), QDialog::Accepted);
  EXPECT_EQ(dlg.edit(5)->text().toStdString(), "0.5");
  double p[3];
  dlg.getNewPitch(p);
  EXPECT_DOUBLE_EQ(p[0], 0.001);
  EXPECT_DOUBLE_EQ(p[1], 1.234);
  EXPECT_DOUBLE_EQ(p[2], 0.5);
  // A spin step is shown in its edit.
  dlg.spin(5)->setValue(2500);
  EXPECT_EQ(dlg.edit(5)->text().toStdString(), "2.500");
  dlg.getNewPitch(p);
  EXPECT_DOUBLE_EQ(p[2], 2.5);
}

namespace {

// Answers the next pick-one question of the region editor with id.
void pickNext(int id) {
  whenModal([id](QWidget* w) {
    auto* chooser = qobject_cast<TDlgMaskManip*>(w);
    ASSERT_NE(chooser, nullptr);
    chooser->cell(id)->click();
    w->findChild<QAbstractButton*>("okButton")->click();
  });
}

class Regions : public ::testing::Test {
 protected:
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  int W = 0, H = 0, D = 0;

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    const std::string vol = makeVolume();
    if (vol.empty()) GTEST_SKIP() << "tifffile is not available";
    TCore::getInst().loadVolume(vol);
    TextureManager& tm = TextureManager::getInst();
    ASSERT_TRUE(tm.volMask.data);
    W = tm.getW(), H = tm.getH(), D = tm.getD();
    std::fill(tm.volMask.data, tm.volMask.data + std::size_t(W) * H * D, 0);
    TMaskIdTable::getInst().resetForVolume();
  }
  void TearDown() override {
    TMaskIdTable::getInst().resetForVolume();
    scope.reset();
  }
  uint8_t& at(int x, int y, int z) { return TextureManager::getInst().volMask.data[(std::size_t(z) * H + y) * W + x]; }
  // A 4 x 6 x 4 box of id from x0, committed.
  void box(int x0, int id) {
    for (int z = 2; z < 6; ++z)
      for (int y = 2; y < 8; ++y)
        for (int x = x0; x < x0 + 4; ++x) at(x, y, z) = uint8_t(id);
    TMaskIdTable::getInst().activateRegion(uint32_t(id));
  }
  std::size_t count(int id) {
    const uint8_t* m = TextureManager::getInst().volMask.data;
    return std::size_t(std::count(m, m + std::size_t(W) * H * D, uint8_t(id)));
  }
};

}  // namespace

TEST_F(Regions, EditorRefusalsAreReportedTheDialogClosesAndMoveOntoAUsedIdRebuildsItsSurface) {
  TMaskIdTable& t = TMaskIdTable::getInst();
  box(2, 4);
  box(12, 9);
  const std::size_t before9 = t.records[9].surface.verts.size();

  // Move 4 onto the used 9: the surface of 9 covers both boxes afterwards.
  TDlgMaskCellManip dlg(4);
  pickNext(9);
  dlg.OnMove();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_FALSE(t.records[4].used);
  EXPECT_GT(t.records[9].surface.verts.size(), before9 + before9 / 2);
  double minX = 1, maxX = 0;
  for (const auto& v : t.records[9].surface.verts) {
    minX = std::min(minX, v[0]);
    maxX = std::max(maxX, v[0]);
  }
  EXPECT_LT(minX, 6.0 / W);
  EXPECT_GT(maxX, 14.0 / W);

  // Refusals are reported, change nothing, and the dialog closes as after any button.
  struct Case {
    int id;
    void (TDlgMaskCellManip::*op)();
    int target;
  };
  for (const Case& c : {Case{9, &TDlgMaskCellManip::OnMove, 9}, Case{9, &TDlgMaskCellManip::OnMove, 0},
                        Case{9, &TDlgMaskCellManip::OnMerge, 9}, Case{0, &TDlgMaskCellManip::OnDelete, -1},
                        Case{9, &TDlgMaskCellManip::OnMembrane, 0}}) {
    SCOPED_TRACE(c.id);
    TDlgMaskCellManip again(c.id);
    if (c.target >= 0) pickNext(c.target);
    prompts.shown.clear();
    prompts.answers.push_back(PromptAnswer::Ok);  // the deletion question
    (again.*c.op)();
    EXPECT_FALSE(prompts.texts().empty());
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_TRUE(t.records[9].used);
    EXPECT_EQ(count(9), 2u * 96u);
    prompts.answers.clear();
  }
}

// The background is an id like the others for moving, merging and dividing: its voxels take the
// target's id (or a free id per part), and id 0 itself stays used.
TEST_F(Regions, EditorMovesMergesAndDividesTheBackground) {
  TMaskIdTable& t = TMaskIdTable::getInst();
  const std::size_t all = std::size_t(W) * H * D;
  box(2, 4);
  const std::size_t background = all - 96;

  TDlgMaskCellManip move(0);
  pickNext(7);
  move.OnMove();
  EXPECT_EQ(move.result(), QDialog::Accepted);
  EXPECT_EQ(count(7), background);
  EXPECT_EQ(count(0), 0u);
  EXPECT_EQ(count(4), 96u);
  EXPECT_TRUE(t.records[0].used);

  std::fill(TextureManager::getInst().volMask.data, TextureManager::getInst().volMask.data + all, 0);
  t.resetForVolume();
  box(2, 4);
  box(12, 9);
  TDlgMaskCellManip merge(0);
  pickNext(9);
  merge.OnMerge();
  EXPECT_EQ(merge.result(), QDialog::Accepted);
  EXPECT_EQ(count(9), all - 96);
  EXPECT_EQ(count(0), 0u);
  EXPECT_TRUE(t.records[9].used);
  EXPECT_TRUE(t.records[0].used);

  // A wall of region 5 at x = 20 cuts the background in two: each half gets the lowest free id.
  std::fill(TextureManager::getInst().volMask.data, TextureManager::getInst().volMask.data + all, 0);
  t.resetForVolume();
  box(2, 4);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y) at(20, y, z) = 5;
  t.activateRegion(5);
  TDlgMaskCellManip divide(0);
  divide.OnSplitParts();
  EXPECT_EQ(divide.result(), QDialog::Accepted);
  EXPECT_EQ(count(0), 0u);
  const int left = at(0, 0, 0), right = at(W - 1, H - 1, D - 1);
  EXPECT_TRUE((left == 1 && right == 2) || (left == 2 && right == 1)) << left << " " << right;
  EXPECT_EQ(count(left) + count(right), all - 96 - std::size_t(H) * D);
  EXPECT_TRUE(t.records[1].used && t.records[2].used && t.records[0].used);
}

// A finished segmentation that takes every voxel of a region empties it: the id stops being used
// and loses its surface, but keeps the colour and opacity the user gave it.
TEST_F(Regions, FinishThatEmptiesARegionKeepsItsColourAndOpacity) {
  TMaskIdTable& t = TMaskIdTable::getInst();
  box(2, 4);
  t.records[4].color = 0x30c020;
  t.records[4].alpha = 90;
  t.updateColorTexture();
  ASSERT_GT(t.records[4].surface.verts.size(), 0u);
  TextureManager& tm = TextureManager::getInst();
  const std::size_t all = std::size_t(W) * H * D;
  for (std::size_t i = 0; i < all; ++i) tm.volFlag.data[i] = tm.volMask.data[i] == 4 ? 255 : 1;
  ScriptedChooser chooser;
  t_setMaskIdChooser(&chooser);
  chooser.one.push_back({true, 12});
  const bool stored = StateSegRGrow::getInst()->selectIdForRegion();
  t_setMaskIdChooser(nullptr);
  ASSERT_TRUE(stored);
  EXPECT_EQ(count(12), 96u);
  EXPECT_EQ(count(4), 0u);
  EXPECT_FALSE(t.records[4].used);
  EXPECT_EQ(t.records[4].surface.verts.size(), 0u);
  EXPECT_EQ(t.records[4].color, 0x30c020u);
  EXPECT_EQ(t.records[4].alpha, 90);
  EXPECT_EQ(t.colorTable.data[4 * 4 + 1], 0xc0);
  EXPECT_EQ(t.colorTable.data[4 * 4 + 3], 90);
  std::fill(tm.volFlag.data, tm.volFlag.data + all, 0);
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TCore::setWiring(t_defaultCoreWiring());
  t_registerModeLibraries();
  t_installAppRegionData();
  TModeRegistry::getInst().constructAll();
  TDlgVisParam::getInst().createPanel();
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  t_runAtExit();
  TDlgVisParam::destroyInst();
  TDlgWinLv::destroyInst();
  t_uninstallAppRegionData();
  std::system(("rm -rf '" + workDir() + "'").c_str());
  return rc;
}
