#version 330 compatibility
// Volume rendering in the segmentation modes: the working flag volume decides how a voxel is
// shown.  Extracted voxels (255) are red and at least half opaque; target voxels (1) follow the
// two-dimensional transfer function (the editor the rendering panel shows in these modes);
// voxels outside the target (0) are dimmed; other marks of the modes (2..254) are tinted green.
#include "common.glsl"

#ifdef FRAGMENT_STAGE
vec4 segGCut(int n) {
  vec3 tc = vTexCoord;
  vec3 v = kChannels(tc, n);
  float a = texture(tex2D_tfIG2D, vec2(kEntry(kIntensity(v, n)), kEntry(kGradient(tc)))).r;
  vec3 col = kVolumeColour(v, n) * kShade(tc);
  int f = kFlag(tc);
  if (f >= 255) {
    col = mix(col, vec3(1.0, 0.1, 0.1), 0.75);
    a = max(a, 0.5);
  } else if (f == 0) {
    col *= 0.4;
    a *= 0.3;
  } else if (f > 1) {
    col = mix(col, vec3(0.1, 1.0, 0.1), 0.6);
    a = max(a, 0.3);
  }
  vec4 c = vec4(col, a * unif.alphaCoef);
  if (!kClip(c, tc)) discard;
  return c;
}

void Frag_Main_1() { gl_FragColor = segGCut(1); }
void Frag_Main_2() { gl_FragColor = segGCut(2); }
void Frag_Main_3() { gl_FragColor = segGCut(3); }
#endif
