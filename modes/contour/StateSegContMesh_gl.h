#pragma once
// The GL drawing of the contour-mesh mode, installed as its draw hook at registration, and the
// renderer's cut surface handed to the mode after a swept stroke.
class StateSegContMesh;
class TTriangleMesh;

void t_drawStateSegContMesh(StateSegContMesh& mode);
bool t_contMeshCutSurface(TTriangleMesh& out);
