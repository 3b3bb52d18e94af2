// Voxel regions from solved implicit fields.
//
// Grid W x H x D, index x + W (y + H z); pitch = extent / count per axis; a voxel's field is
// taken at its centre ((i + 0.5) px, ...), completed by the voxel's channel values x weight in
// the joint spaces.  Boxes lo..hi are voxel indices, inclusive on both ends.
//
// Region growing from a Hermite-RBF field (t_hrbf*_regionGrow): label in 1 = may belong, 0 =
// excluded (4-D, 6-D); out 2 inside, 0 outside.  The region is the shell of inside voxels grown
// from the samples plus everything it encloses: voxels beyond the volume count as outside, and
// the outside is flooded from every face of the volume and from probes just outside the samples.
//
// Surface tracking (t_hrbf*_surfaceTrack): label in as above; out 255 inside, 0 outside.  As in
// growing, the world beyond the volume counts as outside: a region cut by a face of the volume
// keeps its face voxels, and the flood from the faces cannot enter through the cut.
//
// Region growing from a plain RBF field (t_rbf*_regionGrow): label out 0 untouched, 1 seed,
// 2 grown, 3 rejected; field -1 where not evaluated.
//
// Every call evaluates the field of many voxels at once on all threads (each voxel is evaluated
// once, in any order, which leaves the result unchanged).  `stop` (may be null) is polled between
// rounds; when it is set the call returns early and the outputs are meaningless.
#pragma once

#include <atomic>
#include <cstdint>

#include "implicit/TCanvasContour.h"

void t_hrbfJoint4_regionGrow(int kernel, int W, int H, int D, const float* vol, const double extent[3],
                             double weight, int N, const double* coef, const THrbfSample* samples,
                             const int lo[3], const int hi[3], uint8_t* label, float* field,
                             const std::atomic<bool>* stop = nullptr);
void t_hrbfJoint6_regionGrow(int kernel, int W, int H, int D, const float* vol1, const float* vol2,
                             const float* vol3, const double extent[3], double weight, int N,
                             const double* coef, const THrbfSample* samples, const int lo[3],
                             const int hi[3], uint8_t* label, float* field,
                             const std::atomic<bool>* stop = nullptr);
void t_hrbfSpatial_regionGrow(int kernel, int W, int H, int D, const double extent[3], int N,
                              const double* coef, const THrbfSample* samples, const int lo[3],
                              const int hi[3], uint8_t* label, float* field,
                              const std::atomic<bool>* stop = nullptr);

void t_hrbfJoint4_surfaceTrack(int kernel, int W, int H, int D, const float* vol, const double extent[3],
                               double weight, int N, const double* coef, const THrbfSample* samples,
                               const int lo[3], const int hi[3], uint8_t* label, float* field,
                               const std::atomic<bool>* stop = nullptr);
void t_hrbfJoint6_surfaceTrack(int kernel, int W, int H, int D, const float* vol1, const float* vol2,
                               const float* vol3, const double extent[3], double weight, int N,
                               const double* coef, const THrbfSample* samples, const int lo[3],
                               const int hi[3], uint8_t* label, float* field,
                               const std::atomic<bool>* stop = nullptr);

void t_rbfJoint_regionGrow(int kernel, int W, int H, int D, const float* vol, const double extent[3],
                           double weight, int N, const double* coef, const TRbfPoint* points,
                           const int lo[3], const int hi[3], uint8_t* label, float* field,
                           const std::atomic<bool>* stop = nullptr);
void t_rbfSpatial_regionGrow(int W, int H, int D, const double extent[3], int N, const double* coef,
                             const TRbfPoint* points, const int lo[3], const int hi[3], uint8_t* label,
                             float* field, const std::atomic<bool>* stop = nullptr);
