#version 330 compatibility
// Volume rendering through the two-dimensional transfer function over (mean intensity,
// gradient magnitude) (visualisation mode 2; also the organ cross-section and contour modes).
#include "common.glsl"

#ifdef FRAGMENT_STAGE
vec4 visIG2D(int n) {
  vec3 tc = vTexCoord;
  vec3 v = kChannels(tc, n);
  float i = kIntensity(v, n);
  float g = kGradient(tc);
  float a = texture(tex2D_tfIG2D, vec2(kEntry(i), kEntry(g))).r;
  vec4 c = vec4(kVolumeColour(v, n) * kShade(tc), a * unif.alphaCoef);
  if (!kClip(c, tc)) discard;
  return c;
}

void Frag_Main_1() { gl_FragColor = visIG2D(1); }
void Frag_Main_2() { gl_FragColor = visIG2D(2); }
void Frag_Main_3() { gl_FragColor = visIG2D(3); }
#endif
