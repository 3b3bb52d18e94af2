#include "modes/contour/register_modes.h"

#include "modes/contour/StateSegCMeshZel.h"
#include "modes/contour/StateSegContMesh.h"
#include "ui/TModePanel.h"

void t_registerContourModes(TModeRegistry& r) {
  r.add(t_panelModeEntry("StateSegContMesh", {10}, 5, &StateSegContMesh::getInst,
                         [] { return new TPlainModePanel("Contour Mesh (B-HRBF)", "TDlgSegContMesh"); }));
  r.add(t_panelModeEntry("StateSegCMeshZel", {11}, 6, &StateSegCMeshZel::getInst,
                         [] { return new TPlainModePanel("Contour Mesh (two steps)", "TDlgSegCMeshZel"); }));
}
