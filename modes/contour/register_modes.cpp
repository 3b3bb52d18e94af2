#include "modes/contour/register_modes.h"

#include "modes/contour/StateSegCMeshZel.h"
#include "modes/contour/StateSegCMeshZel_gl.h"
#include "modes/contour/StateSegContMesh.h"
#include "modes/contour/StateSegContMesh_gl.h"
#include "modes/contour/TDlgSegCMeshZel.h"
#include "modes/contour/TDlgSegContMesh.h"
#include "ui/TModePanel.h"

void t_registerContourModes(TModeRegistry& r) {
  StateSegContMesh::setDrawHook(&t_drawStateSegContMesh);
  StateSegContMesh::setCutSurfaceHook(&t_contMeshCutSurface);
  r.add(t_panelModeEntry("StateSegContMesh", {10}, 5, &StateSegContMesh::getInst,
                         [] { return new TDlgSegContMesh(); }));
  StateSegCMeshZel::setDrawHook(&t_drawStateSegCMeshZel);
  r.add(t_panelModeEntry("StateSegCMeshZel", {11}, 6, &StateSegCMeshZel::getInst,
                         [] { return new TDlgSegCMeshZel(); }));
}
