#pragma once
// The volume and mesh work of the organ cross-section mode: the twelve surfaces built from four
// sets of mask ids (organ, highlighted part, vessels, tumour), the split of a label volume by the
// nearer side, the push of a cut surface away from the tumour, the brush on the deformable cut and
// the rules of the panel's display boxes.  Plain C++: no Qt, no GL.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "geom/ClipSurface.h"

// Surface numbers.
enum : int {
  kOrgWhole = 0,     // the whole organ
  kOrgCut1 = 1,      // 1..5: the organ cut k mm around the tumour
  kOrgDeform = 7,    // the deformable cut (a copy of cut 5 when built)
  kOrgInterior = 9,  // the highlighted part
  kOrgVessel = 10,
  kOrgTumour = 11,
  kOrgSurfaceCount = 12
};

// The four id sets, 256 flags (0/1) each.
struct TOrganIds {
  std::vector<unsigned char> organ = std::vector<unsigned char>(256, 0);
  std::vector<unsigned char> highlight = std::vector<unsigned char>(256, 0);
  std::vector<unsigned char> vessel = std::vector<unsigned char>(256, 0);
  std::vector<unsigned char> tumour = std::vector<unsigned char>(256, 0);
};

// Labels 0 background, 1 free, 255 seed.  Free voxels with a face neighbour 255 become 254, else
// free voxels with a face neighbour 0 (inside the volume) become 2; the two fronts then grow over
// the free 26-neighbours by turns, one layer per pass (254 first).  Free voxels reached by neither
// stay 1.
void splitByNearerSide(int W, int H, int D, uint8_t* B);

// Moves the vertices of S that lie closer than d to the surface T (and within 3d of one of its
// vertices) out to distance d along T's normal there, then smooths S lightly.
void pushOutFromTumour(const TTriangleMesh& T, TTriangleMesh& S, double d);

// Squared distance in millimetres from every voxel centre to the nearest voxel equal to 255
// (exact, anisotropic pitch); a volume without such a voxel gives +inf everywhere.
std::vector<float> t_squaredDistanceMm(int W, int H, int D, const uint8_t* vol, const double pitch[3]);

// The input of the surface build: the mask (W*H*D ids), the id sets, the box extent and the
// pitch in millimetres.
struct TOrganSurfaceJob {
  int W = 0, H = 0, D = 0;
  const uint8_t* mask = nullptr;
  TOrganIds ids;
  double extent[3] = {1, 1, 1};
  double pitch[3] = {1, 1, 1};
};

// True when a voxel of the mask carries one of the flagged ids.
bool t_maskCarriesIds(const uint8_t* mask, std::size_t n, const std::vector<unsigned char>& ids);

// The volume-sized memory the surface build of a W x H x D mask takes, plus `extra` bytes, fits
// in the memory the system reports available.
bool t_organSurfacesFit(int W, int H, int D, std::int64_t extra = 0);

enum class TOrganBuild { Done, Stopped, OutOfMemory };

// Builds the twelve surfaces (6 and 8 stay empty, 7 is a copy of 5).  Cut k removes every voxel
// within k mm of the tumour (and never fewer than k face-dilation steps of it).  progress gets
// fractions 0..1; the build stops early (Stopped) when stop becomes true.  A build that does not
// fit in memory, or runs out of it on the way, ends with OutOfMemory.  Unless Done, every
// surface is left empty.
TOrganBuild buildRegionSurfaces(const TOrganSurfaceJob& job, std::array<ClipSurface, kOrgSurfaceCount>& out,
                                const std::function<void(double)>& progress = {},
                                const std::atomic<bool>* stop = nullptr);

// The working flag volume of the mode: 1 highlight, else 2 vessel, else 3 tumour, else 0.
void t_fillOrganFlags(const uint8_t* mask, std::size_t n, const TOrganIds& ids, uint8_t* flags);

// One brush step on the deformable cut under the ray o + t dir (eye: the camera position).  The
// brush radius is |eye - hit| * strength / unProjectIdentity.  Vertices within it are pushed
// against their normal by depth (0..100) with a fall-off, and pulled toward their ring's mean; on
// a sharp crease (two neighbouring triangles at a right angle or more) they are only smoothed.
// False when the ray misses the front of the surface (nothing changes).
bool t_brushSurfacePatch(TTriangleMesh& s, const double o[3], const double dir[3], const double eye[3],
                         double strength, double unProjectIdentity, int depth);

// The display boxes of the panel and their rules.
struct TOrgCrsDisplay {
  enum Box : int {
    Whole = 0, ImgWhole = 1,
    Cut1 = 2,        // Cut1..Cut5: 2..6
    Img1 = 7,        // Img1..Img5: 7..11
    Deform = 12, ImgDeform = 13, EdgeDeform = 14,  // 0..14: the group
    Interior = 15, Vessel = 16, VesselImg = 17, Tumour = 18, TumourImg = 19,
    Count = 20
  };
  std::array<bool, Count> on{};

  // At entry: only "cut 3 mm", the interior and the vessels.
  void reset();
  // The user set box b to state: a group box (0..13) clears the whole group, edges included,
  // and keeps its own state; the vessel and tumour pairs exclude each other; the edge box and
  // the interior box change alone.
  void click(int b, bool state);
  // The brush acts while the deformable cut is shown.
  bool brushEnabled() const { return on[Deform] || on[ImgDeform]; }
};
