#pragma once
// The set-up the modes' logic tests share: a fake visualisation mode and the mode under test
// registered, the panel attached, the fakes installed; all of it undone after each test.  The
// derived fixture sizes the host's volume before SetUp and enters the mode after it.
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <vector>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

template <class Mode, class Panel, class Data, class Host = PointingViewHost>
class ModeLogicTest : public ::testing::Test {
 protected:
  // The mode's class name and id; the ids the visualisation mode serves.
  ModeLogicTest(const char* name, int id, std::initializer_list<int> visIds = {0, 1, 2, 3, 4})
      : m_name(name), m_id(id), m_visIds(visIds) {}

  FakeMode vis{"vis"};
  Data data;
  ScriptedChooser chooser;
  Host host;
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
    v.ids = m_visIds;
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
  }
  void TearDown() override {
    mode->stopWorkers();
    host.drain();
    TCore::getInst().setMode(0);
    host.drain();
    mode->attachPanel(nullptr);
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    t_setModeViewHost(nullptr);
    scope.reset();
  }
  // Switches to the mode under test (its entry asks the chooser the test scripted).
  void enterMode() {
    TCore::getInst().setMode(m_id);
    ASSERT_EQ(TCore::getInst().modeId, m_id);
  }

 private:
  const char* m_name;
  int m_id;
  std::vector<int> m_visIds;
};
