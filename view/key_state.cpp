#include "view/key_state.h"

namespace {
Qt::KeyboardModifiers g_mods = Qt::NoModifier;
bool g_space = false;
}  // namespace

void t_noteKeyModifiers(Qt::KeyboardModifiers mods) { g_mods = mods; }
Qt::KeyboardModifiers t_keyModifiers() { return g_mods; }
bool t_ctrlHeld() { return (g_mods & Qt::ControlModifier) != 0; }
bool t_shiftHeld() { return (g_mods & Qt::ShiftModifier) != 0; }

void t_setSpaceHeld(bool held) { g_space = held; }
bool t_spaceHeld() { return g_space; }

void t_clearHeldKeys() {
  g_mods = Qt::NoModifier;
  g_space = false;
}
