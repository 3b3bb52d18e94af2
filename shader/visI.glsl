#version 330 compatibility
// Volume rendering of the intensities (visualisation mode 0).  Channel k's opacity is channel k
// of the intensity transfer function at that channel's value; the colour follows the volume
// colour mode, shaded by the intensity gradient.
#include "common.glsl"

#ifdef FRAGMENT_STAGE
vec4 visI(int n) {
  vec3 tc = vTexCoord;
  vec3 v = kChannels(tc, n);
  float a = texture(tex1D_tfI, kEntry(v.r)).r;
  if (n >= 2) a = max(a, texture(tex1D_tfI, kEntry(v.g)).g);
  if (n >= 3) a = max(a, texture(tex1D_tfI, kEntry(v.b)).b);
  vec4 c = vec4(kVolumeColour(v, n) * kShade(tc), a * unif.alphaCoef);
  if (!kClip(c, tc)) discard;
  return c;
}

void Frag_Main_1() { gl_FragColor = visI(1); }
void Frag_Main_2() { gl_FragColor = visI(2); }
void Frag_Main_3() { gl_FragColor = visI(3); }
#endif
