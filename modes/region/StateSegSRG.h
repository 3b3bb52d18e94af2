#pragma once
// Seeded region growing with groups of seeds (mode 7).
//
// The user places seeds for several groups (each group a colour) with Shift + left drags on the
// shown slice planes or the cut surface, erases them with Shift + right drags, and runs the
// growth, which divides the whole volume among the groups at once.  The run shows each voxel
// with the mean of its group in the channel-1 display and builds a surface for every group but
// the first.  "Finish" replaces the whole mask with the result, group k becoming region k.  Keys
// '1' and '2' write and read the seeds as a text file.
//
// The growth runs on a worker over its own copies (values, seeds, box, window level) with
// status-bar progress; its result is taken back on the interface thread, where it replaces the
// previous one only when complete.  Meanwhile the panel's buttons are disabled, the group and file
// commands are refused with the busy text, and so are the loads and mode switches of the main
// frame.  The channel-1 display goes back to the window-levelled intensities when the mode is
// left, finished, cancelled or entered again.
//
// The mode's state is plain C++: the panel is seen through TDlgSegSRGIf, the view through
// TModeViewHost, the volume and mask through TModeRegionData, and the channel-1 display and the
// region colours through TSrgDisplay; OnDraw calls a hook that the Qt library installs at
// registration.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/PointEditInput.h"
#include "core/TModeState.h"
#include "geom/vec3.h"
#include "modes/region/TDlgSegSRGIf.h"
#include "modes/region/kernels/TSrgGroup.h"
#include "modes/region/kernels/seeded_growing.h"
#include "platform/Worker.h"

// What the mode changes of the display beyond the mask: the channel-1 display bytes and the
// colours of the regions.  The Qt library installs the real one; tests install a fake.
class TSrgDisplay {
 public:
  virtual ~TSrgDisplay() = default;
  // The channel-1 display shows these bytes (one per voxel); false when the size does not match
  // the loaded volume.  The texture is uploaded again on the next paint.
  virtual bool showChannel1(const std::vector<std::uint8_t>& bytes) = 0;
  // The channel-1 display shows the window-levelled intensities again.
  virtual void restoreChannel1() = 0;
  // Colour of a region as R | G << 8 | B << 16; the colour texture is refreshed.
  virtual void setRegionColor(int id, std::uint32_t rgb) = 0;
};

class StateSegSRG : public TPointEditMode<TDlgSegSRGIf> {
 public:
  // The one object of this mode, built on first use.
  static StateSegSRG* getInst();

  void OnSwitched(int modeId) override;
  void OnKeyDown(int key, int repeatCount, unsigned flags) override;
  void OnDraw() override;
  // Leaving the mode (every switch hides the panels first) shows the intensities again.
  void hidePanels() override;

  void stopWorkers() override;
  const char* busyMessage() const override { return m_busy ? kBusyMessage : nullptr; }
  bool isBusy() const { return m_busy; }

  // Groups.  addNewGroup refuses a group beyond kSrgMaxGroups with the group-limit message.
  void addNewGroup();
  void deleteSelectedGroup();
  // The list's selection (ignored when it names no group).
  void selectGroup(int index);
  // The seed of the selected group nearest the eye whose distance from the cursor ray is below
  // the seed radius; false (index -1) when none.
  bool pickCtrlPoint(const TPoint2i& p, int& index);

  // "Run ! \nSeed Region Grow".  On a worker when the view can take the result back, else at once.
  void runSRG();
  // "Finish": asks, then writes group k as region k into the whole mask and returns to mode 3.
  // Refused (mask unchanged, the user told why) before a run.
  void finishSegmentation();
  // "cancel": asks, then mode 3 leaving the mask as it was.
  void cancel();

  // The seed file; false (the user told why) when it could not be written or read, the groups
  // then unchanged.
  bool writeSeedFile(const std::string& path);
  bool readSeedFile(const std::string& path);

  const std::vector<TSrgGroup>& groups() const { return m_groups; }
  std::vector<TSrgGroup>& groupsForEdit() { return m_groups; }
  int selectedGroup() const { return m_selected; }
  int pickedSeed() const { return m_pickedSeed; }
  double seedRadius() const { return m_seedRadius; }
  const TPoints& cutStroke() const { return m_input.stroke(); }
  bool isDrawingStroke() const { return m_input.drag() == TPointEditInput::Drag::Stroke; }
  // Group label 1..n per voxel of the last run; empty before a run.
  const std::vector<std::uint8_t>& result() const { return m_result; }
  bool isShowingMeans() const { return m_meanShown; }
  bool isVisSurfChecked() const { return m_panel ? m_panel->isVisSurfChecked() : true; }
  bool isVisCPsChecked() const { return m_panel ? m_panel->isVisCPsChecked() : true; }

  // Colour of palette row r (0..14), each channel byte / 255.
  static void paletteColor(int row, double rgb[3]);
  // A group colour as R | G << 8 | B << 16 (integer part of value x 255 per channel).
  static std::uint32_t packColor(const double rgb[3]);

  static void setDrawHook(std::function<void(StateSegSRG&)> hook);
  static void setDisplay(TSrgDisplay* display);

  static const char* const kBusyMessage;
  static const char* const kNoResultMessage;
  static const char* const kGroupLimitMessage;
  static const char* const kFinishQuestion;
  static const char* const kCancelQuestion;
  static const char* const kSeedFileName;
  // The status-bar caption of the run.
  static constexpr int kProgressCaption = 17;

 private:
  StateSegSRG();
  ~StateSegSRG() override;

  struct RunResult;
  void applyRun(unsigned generation, const std::shared_ptr<RunResult>& run);
  bool refuseWhileBusy() const;
  void restoreDisplay();
  void eraseSeed(int index);
  bool selectedValid() const { return m_selected >= 0 && m_selected < static_cast<int>(m_groups.size()); }

  // The seeds of the selected group as the main view's mouse edits them.
  bool pointsEditable() const override { return selectedValid(); }
  int pickPoint(const TPoint2i& p) override;
  void erasePoint(int index) override;
  void grabPoint(int index) override { m_pickedSeed = index; }
  bool placePoint(const double*) override { return false; }
  void addPointOnDrag(const double pos[3]) override;
  void moveGrabbedPoint(const double* pos) override;

  double m_seedRadius = 1;
  std::vector<std::uint8_t> m_result;
  std::vector<TSrgGroup> m_groups;
  int m_selected = -1;
  int m_pickedSeed = -1;
  bool m_meanShown = false;  // the channel-1 display shows group means

  bool m_busy = false;        // a run computes (interface thread only)
  unsigned m_generation = 0;  // of the newest run; older results are dropped
  std::shared_ptr<std::atomic<bool>> m_stop;
  TWorker m_worker;  // declared last: joined before the data it works on goes
};
