#pragma once
// The set-up the contour-mesh modes' logic tests share: the visualisation mode and the mode
// under test registered, the panel attached, the fakes installed and the mode entered with every
// voxel a target (region 0).
#include <gtest/gtest.h>

#include <memory>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

// Cursor rays set by the test (`next`); keys, slice picks and posted calls as PointingViewHost.
class ContourHost : public PointingViewHost {
 public:
  TModeRay next;
  bool mainCursorRay(const TPoint2i&, TModeRay& r) override {
    r = next;
    return true;
  }
};

// The derived fixture sizes the host's volume before calling SetUp.
template <class Mode, class Panel, class Data>
class ContourModeTest : public ::testing::Test {
 protected:
  ContourModeTest(const char* name, int id) : m_name(name), m_id(id) {}

  FakeMode vis{"vis"};
  Data data;
  ScriptedChooser chooser;
  ContourHost host;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  Panel panel;
  Mode* mode = Mode::getInst();

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    TModeEntry v;
    v.name = "vis";
    v.ids = {0, 1, 2, 3};
    v.mode = [this]() -> TModeState* { return &vis; };
    reg.add(v);
    TModeEntry e;
    e.name = m_name;
    e.ids = {m_id};
    e.mode = []() -> TModeState* { return Mode::getInst(); };
    reg.add(e);
    mode->attachPanel(&panel);
    TCore::setWiring(TCoreWiring());
    t_setModeRegionData(&data);
    t_setMaskIdChooser(&chooser);
    t_setModeViewHost(&host);
    enter();
  }
  void TearDown() override {
    mode->stopWorkers();
    host.drain();
    TCore::getInst().setMode(0);
    mode->attachPanel(nullptr);
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    t_setModeViewHost(nullptr);
    scope.reset();
  }
  virtual void enter() {
    chooser.many.push_back({true, {0}});
    TCore::getInst().setMode(m_id);
    ASSERT_EQ(TCore::getInst().modeId, m_id);
  }

 private:
  const char* m_name;
  int m_id;
};
