// The real program's wiring of TCore to the volume holder, the mask-ID table, the panels and the
// mode objects.
#include "app/TCore.h"

TCoreWiring t_defaultCoreWiring() {
  TCoreWiring w;
  return w;
}
