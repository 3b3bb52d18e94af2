#pragma once
// The table of the 256 region ids of the mask (TextureManager::volMask): one TMaskIdInfo per id,
// and the 256-entry RGBA colour table through which the renderer colours the mask.  The region
// operations work on the mask of TextureManager::getInst() and drop the mask's GL texture when
// they change voxels.  GUI thread only.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "volume/TMaskIdInfo.h"
#include "volume/TOGL1DImage.h"

class TOGL3DImage;
class TextureManager;

class TMaskIdTable {
 public:
  static constexpr int kIdCount = 256;

  std::vector<TMaskIdInfo> records;  // exactly 256, index = region id
  TOGL1DImage colorTable;            // 256 RGBA entries, nearest filtering

  // The one table: on first use 256 default records (id i grey (i, i, i), transparent), record 0
  // used, colour table filled.
  static TMaskIdTable& getInst();
  TMaskIdTable(const TMaskIdTable&) = delete;
  TMaskIdTable& operator=(const TMaskIdTable&) = delete;

  // Default records again (after a load that brings no mask).
  void resetForVolume();
  // Takes the table of a loaded ".muxa" file (256 x 4 bytes: R, G, B, alpha) for the mask just
  // loaded: used flags from the ids present in the mask, surfaces rebuilt for the used ids
  // except the background.
  void setFromCombinedFile(const std::vector<unsigned char>& table, const TOGL3DImage& mask);
  // Refills the colour table from the records (alpha 0 for polygon-rendered ids) and drops its
  // GL texture.
  void updateColorTexture();
  // Mirrors the region surfaces along z (z := 1 - z), keeping them outward-facing.
  void flipZ();

  // Region operations on the mask.  Ids outside 0..255 do nothing.  The background (id 0) is not
  // a region: it can be neither moved, merged nor moved into; merging a region into it erases
  // the region.
  void moveRegion(int a, int b);
  void mergeRegion(uint32_t a, uint32_t b);
  void deleteRegion(int id);
  void erodeRegion(uint32_t id);
  void dilateRegion(uint32_t id, bool invade);
  // Shows the number of 26-connected parts of the id's voxels and returns it.
  int countParts(uint8_t id);
  // Gives each 26-connected part of the region an id of its own (the lowest free ones); false
  // (with a message) when there are not enough free ids.
  bool splitParts(uint32_t id);
  // A shell of id target, thickness (mm) thick, around region source in the background.
  void generateMembrane(uint32_t source, uint32_t target, double thickness);

  // Commit of a segmentation written into the mask under id.
  void activateRegion(uint32_t id);
  // Rebuilds the surface of a used id by marching cubes (coarsened by step) and smoothing.
  void updateSurface(uint32_t id, int step, int umbrellaPasses, int lmPasses);

  // Mask files (volume/mask_files.cpp).  The loaders check the whole file before they change
  // anything: a damaged file or one made for another volume size leaves mask and table as they
  // were and tells the user why.  The writer writes beside the target and replaces it only when
  // everything was written.  All three return true on success.
  bool saveKsmask2(const char* path);
  bool loadKsmask2(const char* path);
  bool loadKsmaskOld(const char* path);

  // Where a loaded mask file's voxel pitch goes (the rendering panel registers itself); while
  // nobody is registered the pitch is dropped.
  void setPitchSink(std::function<void(const double[3])> sink) { m_pitchSink = std::move(sink); }

 private:
  TMaskIdTable();
  TextureManager& holder() const;
  void resetRecords();

  std::function<void(const double[3])> m_pitchSink;
};
