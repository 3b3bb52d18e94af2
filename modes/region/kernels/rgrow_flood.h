#pragma once
// The region-growing floods of the working flag volume: from seeds, by value distance ("Region
// Grow 26" and its face-neighbour variant), by thresholds ("Region Grow 27", "Region Grow 6")
// and by shape growth ("Region Grow Shape").
//
// Each flood reaches the seed voxel itself (its own values are never tested) and every voxel of
// non-zero flag that passes the flood's test and is connected to the seed through such voxels,
// with 26 neighbours or the 6 face neighbours.  The distance test is r * r > d * d in single
// precision, d * d summed over the volume's channels between the seed's values and the voxel's.
#include <cstdint>

#include "geom/vec3.h"
#include "modes/region/kernels/TQueue.h"
#include "modes/region/kernels/rgrow_volume.h"

// A run accepts at most this many seeds.
constexpr int kRgrowMaxSeeds = 100;

// The voxel of a seed given in volume-box coordinates (box extent `extent`, W x H x D voxels):
// trunc(coordinate / pitch) clamped to the volume.  False for a point outside the box (both faces
// included) or a box without positive extent.
bool t_rgrowSeedVoxel(const TVec3& p, const double extent[3], int W, int H, int D, TQueueVoxel& out);

// One flood from one seed over `flags`; scratch (W*H*D bytes) becomes 2 where reached, 0
// elsewhere.  Return false, with scratch untouched, when the volume or the seed is invalid or
// memory is short.
bool t_regionGrowFlood26(const TRgrowVolume& vol, const uint8_t* flags, float r, const TQueueVoxel& seed,
                         uint8_t* scratch);
bool t_regionGrowFlood6(const TRgrowVolume& vol, const uint8_t* flags, float r, const TQueueVoxel& seed,
                        uint8_t* scratch);
// The same with the threshold test (t_rgrowPassesThreshold) in place of the distance test.
bool t_regionGrowFloodList27(const TRgrowVolume& vol, const uint8_t* flags, const TRgrowThresholds& t,
                             const TQueueVoxel& seed, uint8_t* scratch);
bool t_regionGrowFloodList6(const TRgrowVolume& vol, const uint8_t* flags, const TRgrowThresholds& t,
                            const TQueueVoxel& seed, uint8_t* scratch);

// The seed runs of the panel.  Each discards earlier results (every non-zero flag becomes 1),
// then floods from every seed in list order, skipping seeds outside the box or on voxels of flag
// 0, and sets the reached voxels to 255; the result is the union over the seeds, each flooding
// with its own values.  Prints "%d/%d   " (seed index, seed count) after each seed.
// TooManySeeds for more than kRgrowMaxSeeds seeds; BadInput, TooManySeeds and OutOfMemory leave
// the flags unchanged.  With no seeds only the reset happens.
//
// Distance floods: 26 neighbours ("Region Grow 26") or the 6 face neighbours (faceOnly).
TRgrowStatus t_regionGrowFromSeeds(const TRgrowVolume& vol, uint8_t* flags, const TPoints& seeds,
                                   const double extent[3], float r, bool faceOnly,
                                   const TRgrowProgress& progress = {});
// Threshold floods: 26 neighbours ("Region Grow 27") or 6 ("Region Grow 6").  Needs a gradient.
TRgrowStatus t_regionGrowListFromSeeds(const TRgrowVolume& vol, uint8_t* flags, const TPoints& seeds,
                                       const double extent[3], const TRgrowThresholds& t, bool faceOnly,
                                       const TRgrowProgress& progress = {});
// Shape growth: waves of the 26-neighbourhood among the voxels that pass the distance test.  A
// candidate's support is the sum of the weights (face 4, edge 3, corner 2) of its grown
// neighbours; the first three waves take every candidate, later waves only those whose support
// reaches `coefficient`.  Prints "fin region growing %d / %d \n" after each seed.
TRgrowStatus t_regionGrowShapeFromSeeds(const TRgrowVolume& vol, uint8_t* flags, const TPoints& seeds,
                                        const double extent[3], float r, int coefficient,
                                        const TRgrowProgress& progress = {});

// The memory (bytes) a seed run over W x H x D voxels takes besides the flags and the volume it
// is given, when it has seeds (without seeds only the reset happens, in place).
// The distance and threshold floods: the bit-flood engine.
size_t t_rgrowSeedFloodScratchBytes(int W, int H, int D);
// Shape growth: three byte volumes (grown, visit, support).  Its wave lists are not counted:
// they hold one wave of the growth, whose size follows the shape of the region, not the volume's.
size_t t_rgrowShapeScratchBytes(int W, int H, int D);
