#pragma once
// The real program's wiring of TCore (volume holder, mask-ID table, panels) and the registration
// of every mode library.
#include "core/TCore.h"

TCoreWiring t_defaultCoreWiring();

// Registers the modes of every mode library with the mode registry, in construction order.
void t_registerModeLibraries();
