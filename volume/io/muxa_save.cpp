// Writing the combined volume-and-mask file ".muxa" (layout in volume/muxa_file.h).
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"
#include "volume/io/muxa_save.h"
#include "volume/replace_file.h"
#include "volume/volume_export.h"

namespace {

// Bytes of one row of an 8-bit texture, or zeros when the texture does not cover the volume
// (a channel or mask without voxels is written as 0).
const uint8_t* rowOf(const TOGL3DImage& img, int W, int H, int D, int y, int z,
                     const std::vector<uint8_t>& zeros) {
  if (img.empty() || img.W != W || img.H != H || img.D != D) return zeros.data();
  return img.data + (int64_t(z) * H + y) * W;
}

}  // namespace

bool t_saveMuxa(const TextureManager& tm, const std::string& path) {
  const TOGL3DImage &vol1 = tm.vol1, &vol2 = tm.vol2, &vol3 = tm.vol3, &volMask = tm.volMask;
  const int channelCount = tm.channelCount;
  if (vol1.empty()) return false;
  t_info("現在の実装では、指定したWindow levelを使用して 8bit range[0,255] のmuxa を保存します．");

  const int W = vol1.W, H = vol1.H, D = vol1.D;
  const int bits = channelCount == 1 ? 8 : 24;
  double pitch[3];
  tm.getPitch(pitch);

  TProgressScope progress(kExportProgressCaption);
  TReplaceFile file(path);
  char head[512];
  const int len = snprintf(head, sizeof head, "PELKO-MUXA\n%d\nI\n%d,%d,%d\n%lf,%lf,%lf\n", bits,
                           W, H, D, pitch[0], pitch[1], pitch[2]);
  file.write(head, size_t(len));

  // Rows go bottom row first, as the host application expects.
  const std::vector<uint8_t> zeros(size_t(W), 0);
  std::vector<uint8_t> row(size_t(W) * 3);
  // The volume's bytes come first, then the mask's (a third or the half of the file).
  progress.part(0, channelCount == 1 ? 50 : 75);
  for (int z = 0; z < D && file.ok(); ++z) {
    for (int y = H - 1; y >= 0; --y) {
      const uint8_t* a = rowOf(vol1, W, H, D, y, z, zeros);
      if (channelCount == 1) {
        file.write(a, size_t(W));
        continue;
      }
      const uint8_t* b = rowOf(vol2, W, H, D, y, z, zeros);
      const uint8_t* c = channelCount >= 3 ? rowOf(vol3, W, H, D, y, z, zeros) : zeros.data();
      for (int x = 0; x < W; ++x) {
        row[3 * x] = a[x];
        row[3 * x + 1] = b[x];
        row[3 * x + 2] = c[x];
      }
      file.write(row.data(), row.size());
    }
    progress.step(z + 1, D);
  }
  progress.part(channelCount == 1 ? 50 : 75, 100);
  for (int z = 0; z < D && file.ok(); ++z) {
    for (int y = H - 1; y >= 0; --y) file.write(rowOf(volMask, W, H, D, y, z, zeros), size_t(W));
    progress.step(z + 1, D);
  }

  unsigned char table[1024];
  const std::vector<TMaskIdInfo>& records = TMaskIdTable::getInst().records;
  for (int i = 0; i < 256; ++i) {
    table[4 * i] = records[i].color & 0xFF;
    table[4 * i + 1] = (records[i].color >> 8) & 0xFF;
    table[4 * i + 2] = (records[i].color >> 16) & 0xFF;
    table[4 * i + 3] = records[i].alpha;
  }
  file.write(table, sizeof table);
  file.write("\n\n\n", 3);
  const bool committed = file.commit();
  progress.end();
  if (!committed) {
    fprintf(stderr, "muxa not saved: %s: %s\n", path.c_str(), file.error().c_str());
    t_warn("The combined file could not be saved.\n\n" + path + "\n" + file.error());
    return false;
  }
  return true;
}
