// Loading a volume by file type, and adding a second or third channel.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/TTiffIO.h"
#include "volume/TextureManager.h"
#include "volume/dicom_medcon.h"
#include "volume/io/load.h"
#include "volume/muxa_file.h"
#include "volume/sph_reader.h"
#include "volume/volume_readers.h"
#include "volume/volume_values.h"


namespace {

const char kAskGrayOrColor[] =
    "この画像はColor画像として読み込めます．\n輝度画像(Gray scale) / Color画像のどちらで読み込みますか？";
const char kMsgOtherResolution[] = "解像度が異なるファイルは読み込めません";

}  // namespace

bool t_loadVolume(TextureManager& tm, const std::vector<std::string>& fileNames, int& type,
                  double pitch[3], double minimum[3], double maximum[3],
                  std::vector<unsigned char>& colourTable) {
  // The readers write straight into the holder's value pointers and channel count.
  float*& val1 = tm.val1;
  float*& val2 = tm.val2;
  float*& val3 = tm.val3;
  float*& valGrad = tm.valGrad;
  int& channelCount = tm.channelCount;
  TOGL3DImage& volMask = tm.volMask;
  t_progressStart(1, 0);

  delete[] val1;
  delete[] val2;
  delete[] val3;
  delete[] valGrad;
  val1 = val2 = val3 = valGrad = nullptr;
  TOGL3DImage* images[6] = {&tm.vol1, &tm.vol2, &tm.vol3, &tm.volFlag, &tm.volGrad, &volMask};
  for (TOGL3DImage* im : images) im->clear(nullptr);
  tm.vol1.linear = tm.vol2.linear = tm.vol3.linear = tm.volGrad.linear = true;
  tm.volFlag.linear = volMask.linear = false;
  colourTable.assign(1024, 0);

  std::vector<std::string> names = fileNames;  // the readers empty their list
  if (names.empty()) type = 0;
  for (int i = 0; i < 3; ++i) pitch[i] = 1.0;
  const std::string first = names.empty() ? std::string() : names[0];

  int W = 0, H = 0, D = 0;
  bool ok = false;
  switch (type) {
    case 1:
      channelCount = 1;
      ok = t_loadVolSph(first, &W, &H, &D, &val1, pitch);
      break;
    case 2:
      // The pitch of our pitch tags is passed on; other TIFF files keep (1, 1, 1).
      if (t_isTiffColor(first) && t_askGrayOrColor(kAskGrayOrColor) != kIdYes) {
        ok = t_loadVolTifColor(first, &W, &H, &D, &val1, &val2, &val3, pitch);
        channelCount = 3;
      } else {
        ok = t_loadVolTIFgry(first, &W, &H, &D, &val1, pitch);
        channelCount = 1;
      }
      break;
    case 3:
      if (t_askGrayOrColor(kAskGrayOrColor) == kIdYes) {
        ok = t_loadVolBmpGray(names, &W, &H, &D, &val1);
        channelCount = 1;
      } else {
        ok = t_loadVolBmpColor(names, &W, &H, &D, &val1, &val2, &val3);
        channelCount = 3;
      }
      break;
    case 4:
      channelCount = 1;
      ok = t_loadVolDcm(names, &W, &H, &D, &val1, pitch);
      break;
    case 5:
      std::fprintf(stderr, "loading 16 bit raw files\n");
      channelCount = 1;
      ok = t_loadVolRaw16(names, &W, &H, &D, &val1);
      break;
    case 6:
      std::fprintf(stderr, "loading traw3D ss \n");
      channelCount = 1;
      ok = t_loadVolTraw3dSs(first, &W, &H, &D, &val1, pitch);
      break;
    case 7:
      ok = t_loadVolMuxa(first, &W, &H, &D, &val1, &val2, &val3, &volMask, &channelCount, pitch, colourTable);
      break;
    default:
      break;
  }
  t_progressStart(1, 50);

  if (ok) {
    tm.filePath = first;
  } else {
    delete[] val1;
    delete[] val2;
    delete[] val3;
    val1 = val2 = val3 = nullptr;
    volMask.clear(nullptr);
    colourTable.assign(1024, 0);
    for (int i = 0; i < 3; ++i) pitch[i] = 1.0;
    channelCount = 1;
    t_makeDefaultVolume(&W, &H, &D, &val1);
    tm.filePath.clear();
  }

  // The rows of every slice are reversed once after reading; every export reverses them again.
  float* values[3] = {val1, val2, val3};
  for (int c = 0; c < channelCount; ++c) t_flipVolumeY32(W, H, D, values[c]);
  const bool fileMask = ok && type == 7;
  if (fileMask) t_flipVolumeY(volMask);

  for (int c = 0; c < 3; ++c) {
    minimum[c] = maximum[c] = 0.0;
    if (c < channelCount) t_getMinMax(W, H, D, values[c], &minimum[c], &maximum[c]);
  }

  t_progressStart(1, 80);
  for (int c = 0; c < channelCount; ++c)
    tm.channelTexture(c).allocateFromVolume(W, H, D, values[c], minimum[c], maximum[c], nullptr);

  tm.computeGradientVolume(W, H, D, channelCount);
  tm.volFlag.allocate(W, H, D, nullptr);
  if (!fileMask || volMask.W != W || volMask.H != H || volMask.D != D) volMask.allocate(W, H, D, nullptr);
  tm.updateHistogram();
  t_progressEnd();
  return ok;
}

bool t_loadChannel(TextureManager& tm, int channel, const std::vector<std::string>& fileNames,
                   int type, double* minimum, double* maximum) {
  if (channel < 2 || channel > 3) return false;
  int& channelCount = tm.channelCount;
  // A channel must follow the loaded ones: channel 3 over a one-channel volume would leave
  // channel 2 without values for everything that reads channelCount channels.
  if (channel > channelCount + 1) {
    t_fileMessage("Channel " + std::to_string(channel) + " cannot be loaded before channel " +
                  std::to_string(channel - 1) + ".");
    return false;
  }
  const int W = tm.vol1.W, H = tm.vol1.H, D = tm.vol1.D;
  // The slice readers step the bar: the display starts and ends here, whatever the outcome.
  TProgressScope progress(1);

  std::vector<std::string> names = fileNames;
  const std::string first = names.empty() ? std::string() : names[0];
  int w = 0, h = 0, d = 0;
  float* loaded = nullptr;
  bool ok = false;
  switch (type) {
    case 1: {
      double ignored[3];
      ok = t_loadVolSph(first, &w, &h, &d, &loaded, ignored);
      break;
    }
    case 2: ok = t_loadVolTIFgry(first, &w, &h, &d, &loaded); break;
    case 3: ok = t_loadVolBmpGray(names, &w, &h, &d, &loaded); break;
    case 4: ok = t_loadVolDcm(names, &w, &h, &d, &loaded); break;
    default: return false;
  }
  if (!ok) return false;  // the channel that was there stays as it was

  if (w != W || h != H || d != D) {
    delete[] loaded;
    t_fileMessage(kMsgOtherResolution);
    return false;
  }

  float*& slot = channel == 2 ? tm.val2 : tm.val3;
  TOGL3DImage& tex = tm.channelTexture(channel - 1);
  tex.clear(nullptr);
  tex.linear = true;
  delete[] slot;
  slot = loaded;
  t_flipVolumeY32(W, H, D, slot);
  t_getMinMax(W, H, D, slot, minimum, maximum);
  tex.allocateFromVolume(W, H, D, slot, *minimum, *maximum, nullptr);
  tm.computeGradientVolume(W, H, D, channelCount);
  tm.updateHistogram();
  channelCount = channel;
  return true;
}
