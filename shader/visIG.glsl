#version 330 compatibility
// Volume rendering by intensity and gradient (visualisation mode 1): the opacity is the product
// of the intensity curve (channel 0 of the intensity-gradient transfer function) at the mean
// intensity and the gradient curve (its channel 1) at the gradient magnitude, so that flat
// interiors fade and boundaries stand out.
#include "common.glsl"

#ifdef FRAGMENT_STAGE
vec4 visIG(int n) {
  vec3 tc = vTexCoord;
  vec3 v = kChannels(tc, n);
  float i = kIntensity(v, n);
  float g = kGradient(tc);
  float a = texture(tex1D_tfIG, kEntry(i)).r * texture(tex1D_tfIG, kEntry(g)).g;
  vec4 c = vec4(kVolumeColour(v, n) * kShade(tc), a * unif.alphaCoef);
  if (!kClip(c, tc)) discard;
  return c;
}

void Frag_Main_1() { gl_FragColor = visIG(1); }
void Frag_Main_2() { gl_FragColor = visIG(2); }
void Frag_Main_3() { gl_FragColor = visIG(3); }
#endif
