// The combined ".muxa" file: layout, round trips, damaged files refused, failed saves.
#include <csignal>
#include <sys/resource.h>

#include "regions_test_util.h"
#include "volume/TOGL3DImage.h"
#include "volume/io/muxa_save.h"
#include "volume/muxa_file.h"

namespace {

using namespace regions_test;

const char* kNotice =
    "現在の実装では、指定したWindow levelを使用して 8bit range[0,255] のmuxa を保存します．";

// What the reader hands over, with sentinels that show whether it wrote anything.
struct Loaded {
  int W = -1, H = -1, D = -1, channels = -1;
  float* c[3] = {nullptr, nullptr, nullptr};
  double pitch[3] = {-1, -1, -1};
  std::vector<unsigned char> table;
  TOGL3DImage mask;
  ~Loaded() {
    for (float* p : c) delete[] p;
  }
  bool load(const std::string& path) {
    return t_loadVolMuxa(path, &W, &H, &D, &c[0], &c[1], &c[2], &mask, &channels, pitch, table);
  }
  bool untouched() const {
    return W == -1 && H == -1 && D == -1 && channels == -1 && !c[0] && !c[1] && !c[2] &&
           pitch[0] == -1 && table.empty() && mask.W == 2 && mask.data && mask.data[0] == 42;
  }
};

class Muxa : public RegionsFixture {
 protected:
  // A one- or two-channel W x H x D volume with a few regions.
  void makeVolume(int W, int H, int D, int channels) {
    std::vector<std::vector<float>> ch(channels, std::vector<float>(size_t(W) * H * D));
    for (int c = 0; c < channels; ++c)
      for (size_t i = 0; i < ch[c].size(); ++i) ch[c][i] = float((i * (7 + 4 * c)) % 97);
    installVolume(W, H, D, ch);
    TOGL3DImage& m = TextureManager::getInst().volMask;
    for (int64_t i = 0; i < m.size(); ++i) m.data[i] = uint8_t(i % 4 == 0 ? 0 : 1 + i % 3);
    TMaskIdTable::getInst().resetForVolume();
    for (int id = 1; id <= 3; ++id) {
      TMaskIdTable::getInst().records[id].color = 0x102030u * id;
      TMaskIdTable::getInst().records[id].alpha = uint8_t(60 * id);
    }
  }
  static void presetMask(Loaded& l) {
    l.mask.allocate(2, 2, 2);
    l.mask.data[0] = 42;
  }
  TempDir tmp_;
};

TEST_F(Muxa, ExampleLayout) {
  makeVolume(4, 3, 2, 1);
  setPitch(0.5, 0.5, 1.0);
  const std::string file = tmp_.path("small.muxa");
  ASSERT_TRUE(t_saveMuxa(TextureManager::getInst(), file));
  ASSERT_EQ(prompts_.texts(), std::vector<std::string>{kNotice});
  const std::vector<uint8_t> b = readFile(file);
  const std::string head = "PELKO-MUXA\n8\nI\n4,3,2\n0.500000,0.500000,1.000000\n";
  ASSERT_EQ(b.size(), head.size() + 1075);
  EXPECT_EQ(std::string(b.begin(), b.begin() + head.size()), head);
  const TextureManager& tm = TextureManager::getInst();
  const uint8_t* vol = b.data() + head.size();
  const uint8_t* msk = vol + 24;
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        // The file's row y is the volume's row H - 1 - y.
        EXPECT_EQ(vol[idx(4, 3, x, y, z)], tm.vol1.data[idx(4, 3, x, 2 - y, z)]);
        EXPECT_EQ(msk[idx(4, 3, x, y, z)], tm.volMask.data[idx(4, 3, x, 2 - y, z)]);
      }
  const uint8_t* table = msk + 24;
  EXPECT_EQ(table[4 * 2 + 0], 0x60);
  EXPECT_EQ(table[4 * 2 + 1], 0x40);
  EXPECT_EQ(table[4 * 2 + 2], 0x20);
  EXPECT_EQ(table[4 * 2 + 3], 120);
  EXPECT_EQ(table[4 * 7 + 0], 7);
  EXPECT_EQ(std::string(b.end() - 3, b.end()), "\n\n\n");
}

TEST_F(Muxa, RoundTripOneTwoAndThreeChannels) {
  for (int channels : {1, 2, 3}) {
    const int W = 9, H = 5, D = 4;
    makeVolume(W, H, D, channels);
    setPitch(0.5, 0.25, 1.125);
    const std::string file = tmp_.path("round.muxa");
    ASSERT_TRUE(t_saveMuxa(TextureManager::getInst(), file));
    const std::vector<uint8_t> b = readFile(file);
    const int bits = channels == 1 ? 8 : 24;
    const std::string head = "PELKO-MUXA\n" + std::to_string(bits) +
                             "\nI\n9,5,4\n0.500000,0.250000,1.125000\n";
    EXPECT_EQ(b.size(), head.size() + size_t(W * H * D) * (bits / 8 + 1) + 1024 + 3);

    Loaded l;
    ASSERT_TRUE(l.load(file));
    EXPECT_EQ(l.W, W);
    EXPECT_EQ(l.H, H);
    EXPECT_EQ(l.D, D);
    EXPECT_EQ(l.channels, channels == 1 ? 1 : 3);
    EXPECT_EQ(l.pitch[0], 0.5);
    EXPECT_EQ(l.pitch[1], 0.25);
    EXPECT_EQ(l.pitch[2], 1.125);
    const TextureManager& tm = TextureManager::getInst();
    ASSERT_EQ(l.mask.W, W);
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const size_t file_i = idx(W, H, x, H - 1 - y, z), mem_i = idx(W, H, x, y, z);
          // The window-levelled bytes become the new values.
          ASSERT_EQ(l.c[0][file_i], float(tm.vol1.data[mem_i]));
          if (channels >= 2) {
            ASSERT_EQ(l.c[1][file_i], float(tm.vol2.data[mem_i]));
            ASSERT_EQ(l.c[2][file_i], channels == 3 ? float(tm.vol3.data[mem_i]) : 0.0f);
          }
          ASSERT_EQ(l.mask.data[file_i], tm.volMask.data[mem_i]);
        }
    ASSERT_EQ(l.table.size(), 1024u);
    for (int i = 0; i < 256; ++i) {
      const TMaskIdInfo& r = TMaskIdTable::getInst().records[i];
      EXPECT_EQ(l.table[4 * i] | l.table[4 * i + 1] << 8 | l.table[4 * i + 2] << 16,
                int(r.color & 0xFFFFFF));
      EXPECT_EQ(l.table[4 * i + 3], r.alpha);
    }
  }
}

TEST_F(Muxa, DamagedOrForeignFilesAreRefused) {
  makeVolume(6, 5, 3, 1);
  const std::string good = tmp_.path("good.muxa");
  ASSERT_TRUE(t_saveMuxa(TextureManager::getInst(), good));
  const std::vector<uint8_t> bytes = readFile(good);
  const std::string bad = tmp_.path("bad.muxa");
  auto refused = [&](const std::vector<uint8_t>& b, const std::string& why) {
    writeFile(bad, b);
    Loaded l;
    presetMask(l);
    const size_t shown = prompts_.shown.size();
    EXPECT_FALSE(l.load(bad)) << why;
    EXPECT_TRUE(l.untouched()) << why;
    EXPECT_EQ(prompts_.shown.size(), shown + 1) << why;
  };
  auto withHeader = [&](const std::string& from, const std::string& to) {
    std::string s(bytes.begin(), bytes.end());
    s.replace(s.find(from), from.size(), to);
    return std::vector<uint8_t>(s.begin(), s.end());
  };
  {
    Loaded l;
    presetMask(l);
    EXPECT_FALSE(l.load(tmp_.path("missing.muxa")));
    EXPECT_TRUE(l.untouched());
  }
  {
    // Another first word: read all the same, with a console line that says so.
    writeFile(bad, withHeader("PELKO-MUXA", "OTHER-WORD"));
    Loaded l;
    testing::internal::CaptureStderr();
    const bool loaded = l.load(bad);
    const std::string console = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(l.W, 6);
    EXPECT_EQ(l.D, 3);
    EXPECT_EQ(l.channels, 1);
    EXPECT_EQ(l.table.size(), 1024u);
    EXPECT_EQ(std::vector<uint8_t>(l.mask.data, l.mask.data + 90),
              std::vector<uint8_t>(bytes.end() - 3 - 1024 - 90, bytes.end() - 3 - 1024));
    EXPECT_NE(console.find("the first line is \"OTHER-WORD\""), std::string::npos);
    // Every other check stays with another first word.
    refused(withHeader("PELKO-MUXA\n8", "OTHER-WORD\n16"), "bits, another first word");
  }
  refused(withHeader("\n8\n", "\n16\n"), "bits");
  refused(withHeader("6,5,3", "6,5,0"), "zero size");
  refused(withHeader("6,5,3", "6,5"), "short size");
  refused(withHeader("6,5,3", "7,5,3"), "a larger volume than the data");
  refused(withHeader("6,5,3", "2000000,2000000,2000000"), "a huge volume");
  refused(withHeader("1.000000,1.000000,1.000000", "1.000000,x,1.000000"), "pitch");
  refused(withHeader("1.000000,1.000000,1.000000", "1.000000,0.000000,1.000000"), "zero pitch");
  const size_t headLen = std::string(bytes.begin(), bytes.end()).find("1.000000\n") + 9;
  for (size_t len : {size_t(0), size_t(5), size_t(11), headLen - 1, headLen, headLen + 50,
                     headLen + 90, headLen + 180, bytes.size() - 4})
    refused(std::vector<uint8_t>(bytes.begin(), bytes.begin() + len), "cut at " + std::to_string(len));
  // Without its closing line feeds the data are all there: it loads.
  writeFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.end() - 3));
  Loaded l;
  EXPECT_TRUE(l.load(bad));
}

TEST_F(Muxa, FailedSavesTellTheUserAndKeepTheEarlierFile) {
  makeVolume(6, 5, 3, 1);
  EXPECT_FALSE(t_saveMuxa(TextureManager::getInst(), "/nonexistent-folder/x.muxa"));
  ASSERT_EQ(prompts_.shown.size(), 2u);  // the notice, then the failure
  EXPECT_EQ(prompts_.shown[1].text.rfind("The combined file could not be saved.", 0), 0u);

  const std::string file = tmp_.path("x.muxa");
  ASSERT_TRUE(t_saveMuxa(TextureManager::getInst(), file));
  const std::vector<uint8_t> good = readFile(file);
  makeVolume(6, 5, 3, 2);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 64;
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const bool saved = t_saveMuxa(TextureManager::getInst(), file);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(saved);
  EXPECT_EQ(readFile(file), good);
}

}  // namespace
