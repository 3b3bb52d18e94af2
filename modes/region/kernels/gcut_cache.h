#pragma once
// The graph-cut cache file beside the volume file: the per-voxel region labels, the region
// records and the region adjacency of the watershed pre-segmentation.  Little-endian, 4-byte
// fields: N, label[N], R, R region records (3 means, 3 sums, K, K voxel indices), R adjacency
// records (M, M neighbour regions).
#include <string>
#include <vector>

#include "modes/region/kernels/watershed.h"

// volume path + ".ksgcutprecomp"
std::string t_precompFilePath(const std::string& volumePath);

// The file opens and its first field is W*H*D (what decides whether to offer the file).
bool t_precompFileMatches(const std::string& path, int W, int H, int D);

// Writes beside the target and renames over it, so an older file survives a failed write.
bool t_writePrecompFile(int W, int H, int D, const std::string& path, const std::vector<int>& labels,
                        const std::vector<TGCutRegion>& regions, const TGCutAdjacency& adjacency);

// Reads and checks the whole file: N = W*H*D, the exact length, every label a region, every
// region's voxel list ascending with labels[v] equal to the region and all lists together
// covering each voxel once, every adjacency list ascending with neighbours above the region and
// below R, finite means and sums.  On any failure returns false (with the reason in *why) and
// leaves the outputs untouched.  Progress: caption 5.
bool t_readPrecompFile(int W, int H, int D, const std::string& path, std::vector<int>& labels,
                       std::vector<TGCutRegion>& regions, TGCutAdjacency& adjacency,
                       std::string* why = nullptr);
