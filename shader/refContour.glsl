#version 330 compatibility
// Volume rendering of the contour-refinement mode.  Its working flag volume labels the region
// being refined: 6 inside before and after, 2 removed by the refinement, 4 added by it.  Other
// mode 2 ("Vol Init") shows the region as it was (2 and 6) in orange, other mode 4 ("Vol Ref")
// the refined region (4 and 6) in cyan, over the image through the intensity transfer function.
#include "common.glsl"

#ifdef FRAGMENT_STAGE
vec4 refContour(int n) {
  vec3 tc = vTexCoord;
  vec3 v = kChannels(tc, n);
  float a = texture(tex1D_tfI, kEntry(kIntensity(v, n))).a;
  vec3 col = kVolumeColour(v, n) * kShade(tc);
  int f = kFlag(tc);
  bool initial = (f == 2 || f == 6);
  bool refined = (f == 4 || f == 6);
  if (unif.otherMode == 2 && initial) {
    col = mix(col, vec3(1.0, 0.55, 0.1), 0.7);
    a = max(a, 0.5);
  } else if (unif.otherMode == 4 && refined) {
    col = mix(col, vec3(0.1, 0.9, 1.0), 0.7);
    a = max(a, 0.5);
  }
  vec4 c = vec4(col, a * unif.alphaCoef);
  if (!kClip(c, tc)) discard;
  return c;
}

void Frag_Main_1() { gl_FragColor = refContour(1); }
void Frag_Main_2() { gl_FragColor = refContour(2); }
void Frag_Main_3() { gl_FragColor = refContour(3); }
#endif
