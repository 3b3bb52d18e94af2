#pragma once
// Clean-up of the extracted voxels (255) of the working flag volume: Fill Hole, Erosion and
// Dilation.  Each works on a mask of the extracted voxels and writes back so that flags of 0 stay
// 0 and every other voxel becomes 255 where the result is set and 1 elsewhere: eroded voxels fall
// back to 1, and nothing that is not eligible is ever extracted.
#include <cstdint>

#include "modes/region/kernels/rgrow_volume.h"

// In place over a 0/255 byte volume: the voxels of value 0 that are connected to the border of
// the volume through face neighbours of value 0 stay 0 and every other voxel becomes 255, which
// closes the cavities of the 255 voxels.  Returns false when memory is short; the volume is then
// as it was.
bool t_floodFillFromBorder(int W, int H, int D, uint8_t* bytes, const TRgrowProgress& progress = {});

// Extracts every eligible voxel enclosed by extracted ones (not reachable from the border through
// face neighbours that are not extracted).
TRgrowStatus t_fillHoleFlags(uint8_t* flags, int W, int H, int D, const TRgrowProgress& progress = {});
// Removes the extracted voxels on a face of the volume or with a face neighbour that is not
// extracted.
TRgrowStatus t_erodeFlags(uint8_t* flags, int W, int H, int D);
// Extracts the eligible voxels with an extracted face neighbour.
TRgrowStatus t_dilateFlags(uint8_t* flags, int W, int H, int D);

// The memory (bytes) each takes over W x H x D voxels besides the flags.
// Fill Hole: the mask and the border flood's queue as it starts (the queue grows beyond that when
// the flood's front outgrows it, which follows the shape of the region, not the volume's size).
size_t t_fillHoleScratchBytes(int W, int H, int D);
// Erosion and Dilation: the mask.
size_t t_morphologyScratchBytes(int W, int H, int D);
