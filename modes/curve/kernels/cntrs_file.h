#pragma once
// The fiber contour file: the region surface, its initial vertex positions, the stored fibers
// with their constraints and the cross points, as text.  Written on every store of a fiber; the
// program never reads it back.
#include <string>
#include <vector>

#include "geom/TTriangleMesh.h"
#include "modes/curve/kernels/TFiberStroke.h"

enum class TContoursWrite { Written, NotOpened, WriteFailed };

// Writes the blocks to an open stream (which stays open); false when the stream failed.
bool t_writeContours(FILE* fp, int targetId, const TTriangleMesh& mesh, const TPoints& initialPositions,
                     const std::vector<TFiberStroke>& storedFibers, const std::vector<TCrossPoint>& crossPoints);

// Replaces the file at path.  NotOpened when it cannot be created (the caller stays silent),
// WriteFailed when a write or the close failed (the caller reports it).
TContoursWrite t_writeContoursFile(const std::string& path, int targetId, const TTriangleMesh& mesh,
                                   const TPoints& initialPositions, const std::vector<TFiberStroke>& storedFibers,
                                   const std::vector<TCrossPoint>& crossPoints);
