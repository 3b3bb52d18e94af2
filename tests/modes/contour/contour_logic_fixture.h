#pragma once
// The set-up of the contour-mesh modes' logic tests: the shared mode set-up with a host whose
// cursor rays the test sets, the mode entered with every voxel a target (region 0).
#include "tests/modes/mode_logic_fixture.h"

// Cursor rays set by the test (`next`); keys, slice picks and posted calls as PointingViewHost.
class ContourHost : public PointingViewHost {
 public:
  TModeRay next;
  bool mainCursorRay(const TPoint2i&, TModeRay& r) override {
    r = next;
    return true;
  }
};

template <class Mode, class Panel, class Data>
class ContourModeTest : public ModeLogicTest<Mode, Panel, Data, ContourHost> {
  using Base = ModeLogicTest<Mode, Panel, Data, ContourHost>;

 protected:
  ContourModeTest(const char* name, int id) : Base(name, id, {0, 1, 2, 3}) {}

  void SetUp() override {
    Base::SetUp();
    enter();
  }
  virtual void enter() {
    this->chooser.many.push_back({true, {0}});
    this->enterMode();
  }
};
