#version 330 compatibility
// Volume rendering of the mask regions (visualisation mode 3): a labelled voxel takes its
// region's colour and opacity from the region colour table; unlabelled voxels show the image
// faintly through the intensity transfer function, for context.
#include "common.glsl"

#ifdef FRAGMENT_STAGE
vec4 visMask(int n) {
  vec3 tc = vTexCoord;
  vec3 v = kChannels(tc, n);
  int id = kMaskId(tc);
  vec4 c;
  if (id > 0) {
    vec4 r = kRegionColour(id);
    c = vec4(r.rgb * kShade(tc), r.a * unif.alphaCoef);
  } else {
    float a = texture(tex1D_tfI, kEntry(kIntensity(v, n))).a * 0.25;
    c = vec4(kVolumeColour(v, n) * kShade(tc), a * unif.alphaCoef);
  }
  if (!kClip(c, tc)) discard;
  return c;
}

void Frag_Main_1() { gl_FragColor = visMask(1); }
void Frag_Main_2() { gl_FragColor = visMask(2); }
void Frag_Main_3() { gl_FragColor = visMask(3); }
#endif
