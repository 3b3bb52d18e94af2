// Shared part of the Kestrin shader programs: the parameters every program declares, the vertex
// entry, and the sampling, colouring, shading and clipping helpers of the fragment entries.
//
// Texture conventions: the volumes are 8-bit luminance 3-D textures (value / 255 in .r); the
// flag volume (tex3D_hl) and the mask (tex3D_mask) are read voxel by voxel, never interpolated,
// because their bytes are labels.  The 1-D tables have 256 entries, the 2-D table 256 x 256 with
// intensity along s and gradient along t.

struct Unif {
  vec3 eyePos;       // eye in world units
  float alphaCoef;   // opacity coefficient of the volume
  vec4 texCdOffset;  // one voxel in texture coordinates: (1/W, 1/H, 1/D, 0)
  int otherMode;     // program-specific display variant (refContour: 2 initial, 4 refined region)
  int clpColMode;    // colour of cut surfaces and slice planes: 0 RGB, 1 intensity, 2 gradient
  int volColMode;    // colour of the volume: 0 RGB, 1 intensity, 2 one channel, pseudo-coloured
  int clipMode;      // 0 none, 1 segmentation view, 2 highlight marks, 3 region colours,
                     // 4 organ sections, 5 only labelled voxels
};
uniform Unif unif;
uniform mat4 modelViewMat;  // projection x model-view

#ifdef VERTEX_STAGE
out vec3 vTexCoord;
out vec3 vWorld;

void Vert_Main() {
  vTexCoord = gl_MultiTexCoord0.xyz;
  vWorld = gl_Vertex.xyz / (gl_Vertex.w != 0.0 ? gl_Vertex.w : 1.0);
  gl_FrontColor = gl_Color;
  gl_BackColor = gl_Color;
  gl_Position = modelViewMat * gl_Vertex;
}
#endif

#ifdef FRAGMENT_STAGE
uniform sampler3D tex3D_img1, tex3D_img2, tex3D_img3;
uniform sampler3D tex3D_hl;    // working flag volume: 0 not target, 1 target, 255 extracted
uniform sampler3D tex3D_mask;  // region id per voxel
uniform sampler3D tex3D_gMag;  // gradient magnitude
uniform sampler1D tex1D_tfI, tex1D_tfIG, tex1D_tfMask, tex1D_tfHeu;
uniform sampler2D tex2D_tfIG2D;

in vec3 vTexCoord;
in vec3 vWorld;

// Texture coordinate of the table entry of an 8-bit value v (v = byte / 255).
float kEntry(float v) { return (clamp(v, 0.0, 1.0) * 255.0 + 0.5) / 256.0; }

// Channel values in [0, 1]; channels beyond n are 0.
vec3 kChannels(vec3 tc, int n) {
  vec3 v = vec3(texture(tex3D_img1, tc).r, 0.0, 0.0);
  if (n >= 2) v.g = texture(tex3D_img2, tc).r;
  if (n >= 3) v.b = texture(tex3D_img3, tc).r;
  return v;
}

float kIntensity(vec3 v, int n) {
  if (n == 1) return v.r;
  if (n == 2) return (v.r + v.g) * 0.5;
  return (v.r + v.g + v.b) / 3.0;
}

vec3 kRgb(vec3 v, int n) {
  if (n == 1) return v.rrr;
  if (n == 2) return vec3(v.r, v.g, 0.0);
  return v;
}

ivec3 kVoxel(sampler3D s, vec3 tc) {
  ivec3 size = textureSize(s, 0);
  return clamp(ivec3(floor(tc * vec3(size))), ivec3(0), max(size - 1, ivec3(0)));
}

// Label bytes of the flag volume and the mask at the voxel containing tc.
int kFlag(vec3 tc) { return int(texelFetch(tex3D_hl, kVoxel(tex3D_hl, tc), 0).r * 255.0 + 0.5); }
int kMaskId(vec3 tc) { return int(texelFetch(tex3D_mask, kVoxel(tex3D_mask, tc), 0).r * 255.0 + 0.5); }
// Colour and opacity of a region (entry id of the 256-entry table).
vec4 kRegionColour(int id) { return texelFetch(tex1D_tfMask, clamp(id, 0, 255), 0); }

float kGradient(vec3 tc) { return texture(tex3D_gMag, tc).r; }

// Colour of a volume sample by the volume colour mode.
vec3 kVolumeColour(vec3 v, int n) {
  if (unif.volColMode == 0) return kRgb(v, n);
  float i = kIntensity(v, n);
  if (unif.volColMode == 1) return vec3(i);
  return texture(tex1D_tfHeu, kEntry(i)).rgb;
}

// Colour of a cut-surface or slice-plane sample by the plane colour mode.
vec3 kPlaneColour(vec3 v, int n, vec3 tc) {
  if (unif.clpColMode == 0) return kRgb(v, n);
  if (unif.clpColMode == 1) return vec3(kIntensity(v, n));
  return vec3(kGradient(tc));
}

// Diffuse shading with a light at the eye, the normal taken from the intensity gradient of
// channel 1 by central differences one voxel wide.  Flat regions stay unshaded.
float kShade(vec3 tc) {
  vec3 o = unif.texCdOffset.xyz;
  vec3 g = vec3(texture(tex3D_img1, tc + vec3(o.x, 0.0, 0.0)).r - texture(tex3D_img1, tc - vec3(o.x, 0.0, 0.0)).r,
                texture(tex3D_img1, tc + vec3(0.0, o.y, 0.0)).r - texture(tex3D_img1, tc - vec3(0.0, o.y, 0.0)).r,
                texture(tex3D_img1, tc + vec3(0.0, 0.0, o.z)).r - texture(tex3D_img1, tc - vec3(0.0, 0.0, o.z)).r);
  vec3 l = unif.eyePos - vWorld;
  float gl = length(g), ll = length(l);
  if (gl < 1e-3 || ll < 1e-6) return 1.0;
  return 0.45 + 0.55 * abs(dot(g / gl, l / ll));
}

// Applies the clip mode to a colour; false when the fragment is clipped away.
bool kClip(inout vec4 c, vec3 tc) {
  int m = unif.clipMode;
  if (m == 0) return true;
  if (m == 1) {
    // Segmentation view: extracted voxels red, voxels outside the target darkened.
    int f = kFlag(tc);
    if (f >= 255) c.rgb = mix(c.rgb, vec3(1.0, 0.0, 0.0), 0.6);
    else if (f == 0) c.rgb *= 0.5;
    return true;
  }
  if (m == 2) {
    // Highlight every voxel a mode has marked (anything above "target").
    if (kFlag(tc) > 1) c.rgb = mix(c.rgb, vec3(1.0, 1.0, 0.0), 0.5);
    return true;
  }
  if (m == 3) {
    // Region colours over the image where a shown region lies.
    int id = kMaskId(tc);
    if (id > 0) {
      vec4 r = kRegionColour(id);
      c.rgb = mix(c.rgb, r.rgb, 0.6 * step(0.004, r.a));
    }
    return true;
  }
  if (m == 4) {
    // Organ sections: the image everywhere, the flagged structures tinted as their lit surfaces
    // are drawn (1 highlighted part blue, 2 vessels red, 3 tumour purple).
    int f = kFlag(tc);
    if (f == 1) c.rgb = mix(c.rgb, vec3(0.1, 0.1, 0.9), 0.4);
    else if (f == 2) c.rgb = mix(c.rgb, vec3(0.9, 0.0, 0.0), 0.4);
    else if (f == 3) c.rgb = mix(c.rgb, vec3(0.7, 0.0, 0.7), 0.4);
    return true;
  }
  if (m == 5) return kMaskId(tc) > 0;
  return true;
}
#endif
