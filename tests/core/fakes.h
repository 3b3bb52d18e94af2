#pragma once
// Test stand-ins for what the modes and the core reach through their service interfaces.
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/MaskIdChooser.h"
#include "core/ModeRegionData.h"
#include "core/ModeViewHost.h"
#include "core/TModeState.h"

// A mode that records what happens to it.
class FakeMode : public TModeState {
 public:
  explicit FakeMode(std::string name, std::vector<std::string>* log = nullptr) : m_name(std::move(name)), m_log(log) {}
  std::function<void(int)> onSwitched;
  std::vector<int> switchedIds;
  int hidden = 0;
  int stopped = 0;

  void OnSwitched(int id) override {
    switchedIds.push_back(id);
    if (m_log) m_log->push_back(m_name + ".OnSwitched(" + std::to_string(id) + ")");
    if (onSwitched) onSwitched(id);
  }
  void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
  void OnKeyDown(int, int, unsigned) override {}
  void OnKeyUp(int, int, unsigned) override {}
  void OnDraw() override {}
  void hidePanels() override {
    ++hidden;
    if (m_log) m_log->push_back(m_name + ".hide");
  }
  void stopWorkers() override { ++stopped; }

  // Exposes the protected drag state for the tests.
  TPoint2i prev() const { return prevPoint; }

 private:
  std::string m_name;
  std::vector<std::string>* m_log;
};

// Records the calls of the default behaviours.
class FakeViewHost : public TModeViewHost {
 public:
  std::vector<std::string> calls;
  int W = 200, H = 100;  // main view
  int volW = 11, volH = 11, volD = 11;
  double extent[3] = {10, 10, 10};
  double slices[3] = {0.5, 0.5, 0.5};
  int pickResult = 0;
  TModeRay ray;
  double lastZoom = 0;
  TPoint2i lastPanPrev, lastPanPoint;
  // A pane pointer's plane id is its address offset from this array.
  char panes[3] = {0, 0, 0};
  TSubPane* pane(int plane) { return reinterpret_cast<TSubPane*>(&panes[plane]); }

  void camBtnDownTranslate(const TPoint2i&) override { calls.push_back("translate"); }
  void camBtnDownRotate(const TPoint2i&) override { calls.push_back("rotate"); }
  void camBtnDownZoom(const TPoint2i&) override { calls.push_back("zoom"); }
  void camMouseMove(const TPoint2i&) override { calls.push_back("camMove"); }
  void camBtnUp() override { calls.push_back("camUp"); }
  void setButtonHeld(bool held) override { calls.push_back(held ? "held" : "released"); }
  void mainViewSize(int& w, int& h) override { w = W; h = H; }
  void redrawMainView() override { calls.push_back("redrawMain"); }
  void redrawAll() override { calls.push_back("redrawAll"); }
  int panePlaneId(TSubPane* p) override { return static_cast<int>(reinterpret_cast<char*>(p) - panes); }
  TModeRay paneCursorRay(TSubPane*, const TPoint2i&) override { return ray; }
  int pickSliceLineInPane(int, const TModeRay&, double tol) override {
    calls.push_back("pick " + std::to_string(tol).substr(0, 3));
    return pickResult;
  }
  void panePanByMouse(TSubPane*, const TPoint2i& prev, const TPoint2i& p) override {
    calls.push_back("pan");
    lastPanPrev = prev;
    lastPanPoint = p;
  }
  void zoomAllPanes(double f) override {
    calls.push_back("zoomPanes");
    lastZoom = f;
  }
  void redrawAllPanes() override { calls.push_back("redrawPanes"); }
  void volumeExtent(double e[3]) override {
    for (int i = 0; i < 3; ++i) e[i] = extent[i];
  }
  void getSlicePositions(double s[3]) override {
    for (int i = 0; i < 3; ++i) s[i] = slices[i];
  }
  void setSlicePositions(const double s[3]) override {
    for (int i = 0; i < 3; ++i) slices[i] = s[i];
  }
  void updateSlices() override { calls.push_back("updateSlices"); }
  void volumeSize(int& w, int& h, int& d) override { w = volW; h = volH; d = volD; }
  void hideSlicePanes() override { calls.push_back("hidePanes"); }

  int count(const std::string& c) const {
    int n = 0;
    for (const auto& s : calls) n += s == c;
    return n;
  }
};

// A view host for a mode's logic: modifier keys as set, a cursor ray along +z through
// (x, y) = the window point / 10, slice picks at `pick`, wheel steps and cut strokes counted, the
// rendering panel's settings recorded, and (with `async`) results posted to the interface thread
// queued until the test pumps or drains them.
class PointingViewHost : public FakeViewHost {
 public:
  unsigned keys = 0;
  bool pickHits = true;
  double pick[3] = {0, 0, 0};
  int cleared = 0, generated = 0;
  std::vector<std::string> statusTexts;
  bool async = false;
  std::mutex lock;
  std::deque<std::function<void()>> posted;
  // "3P110-": volume mode, slice controls (P), the three plane boxes, exclusive (X).
  std::vector<std::string> panelModes;

  unsigned keyState() override { return keys; }
  bool mainCursorRay(const TPoint2i& p, TModeRay& r) override {
    r.org[0] = p.x / 10.0, r.org[1] = p.y / 10.0, r.org[2] = -10;
    r.dir[0] = 0, r.dir[1] = 0, r.dir[2] = 1;
    return true;
  }
  bool mainUnProject(const TPoint2i& p, double, double out[3]) override {
    out[0] = p.x, out[1] = p.y, out[2] = 0;
    return true;
  }
  bool pickPointOnSlices(const TPoint2i&, double pos[3]) override {
    for (int i = 0; i < 3; ++i) pos[i] = pick[i];
    return pickHits;
  }
  // The wheel steps asked of the slice under the cursor: the point and the delta.
  std::vector<std::pair<TPoint2i, int>> wheelSteps;
  bool stepSliceByWheel(const TPoint2i& p, int delta) override {
    wheelSteps.emplace_back(p, delta);
    return pickHits;
  }
  void genCutSurfaceFromStroke(std::vector<std::array<double, 3>>&) override { ++generated; }
  void clearCutSurface() override { ++cleared; }
  void showStatusText(const std::string& text) override { statusTexts.push_back(text); }
  void setRenderingPanelMode(int vm, bool planes, bool xy, bool yz, bool zx, bool ex) override {
    panelModes.push_back(std::to_string(vm) + (planes ? "P" : "-") + (xy ? "1" : "0") + (yz ? "1" : "0") +
                         (zx ? "1" : "0") + (ex ? "X" : "-"));
  }
  bool postToInterface(std::function<void()> fn) override {
    if (!async) return false;
    std::lock_guard<std::mutex> g(lock);
    posted.push_back(std::move(fn));
    return true;
  }
  // Runs what was posted so far (not what those calls post); how many ran.
  int drain() {
    std::deque<std::function<void()>> now;
    {
      std::lock_guard<std::mutex> g(lock);
      now.swap(posted);
    }
    for (auto& fn : now) fn();
    return static_cast<int>(now.size());
  }
  // Runs what was posted until `done` holds; false after two minutes.
  bool pumpUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::function<void()> fn;
      {
        std::lock_guard<std::mutex> g(lock);
        if (!posted.empty()) {
          fn = std::move(posted.front());
          posted.pop_front();
        }
      }
      if (fn)
        fn();
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
};

// A flag volume and a mask of a few voxels, and the table's used flags.
class FakeRegionData : public TModeRegionData {
 public:
  std::vector<std::uint8_t> flag, mask;
  bool used[256] = {};
  int flagDrops = 0, maskDrops = 0;
  std::vector<int> committed;
  std::vector<std::string>* log = nullptr;

  std::size_t maskVoxelCount() override { return mask.size(); }
  std::uint8_t* flagVoxels() override { return flag.data(); }
  std::uint8_t* maskVoxels() override { return mask.data(); }
  void dropFlagTexture() override {
    ++flagDrops;
    if (log) log->push_back("dropFlag");
  }
  void dropMaskTexture() override {
    ++maskDrops;
    if (log) log->push_back("dropMask");
  }
  bool isIdUsed(int id) override { return id >= 0 && id < 256 && used[id]; }
  void commitRegion(int id) override { committed.push_back(id); }
};

// Answers the id questions from a script and records their titles.
class ScriptedChooser : public TMaskIdChooser {
 public:
  struct Many {
    bool ok;
    std::vector<int> ids;
  };
  struct One {
    bool ok;
    int id;
  };
  std::deque<Many> many;
  std::deque<One> one;
  std::vector<std::string> titles;
  std::vector<std::string>* log = nullptr;

  bool pickMany(const std::string& title, std::vector<unsigned char>& sel) override {
    titles.push_back(title);
    if (log) log->push_back("pickMany");
    if (many.empty()) return false;
    Many m = many.front();
    many.pop_front();
    if (!m.ok) return false;
    sel.assign(256, 0);
    for (int id : m.ids) sel[id] = 1;
    return true;
  }
  bool pickOne(const std::string& title, int& id) override {
    titles.push_back(title);
    if (log) log->push_back("pickOne");
    if (one.empty()) return false;
    One o = one.front();
    one.pop_front();
    id = o.id;
    return o.ok;
  }
};
