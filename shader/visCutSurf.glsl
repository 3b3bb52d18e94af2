#version 330 compatibility
// Opaque textured surfaces: the curved cut surface, the slice planes in the main view and the
// slices in the panes.  The colour follows the plane colour mode (the current GL colour is
// ignored); the clip mode adds the segmentation, highlight, region or organ-section overlays or
// clips the surface to labelled voxels.
#include "common.glsl"

#ifdef FRAGMENT_STAGE
vec4 visCutSurf(int n) {
  vec3 tc = vTexCoord;
  vec3 v = kChannels(tc, n);
  vec4 c = vec4(kPlaneColour(v, n, tc), 1.0);
  if (!kClip(c, tc)) discard;
  return c;
}

void Frag_Main_1() { gl_FragColor = visCutSurf(1); }
void Frag_Main_2() { gl_FragColor = visCutSurf(2); }
void Frag_Main_3() { gl_FragColor = visCutSurf(3); }
#endif
