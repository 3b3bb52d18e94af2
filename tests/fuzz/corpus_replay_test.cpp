// Replays the seed corpus of every fuzz target through the same entry point the fuzzer calls
// (which aborts when a refused input changed the reader's outputs): one case per target.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace {

std::vector<std::string> corpusFiles(const std::string& target) {
  std::vector<std::string> files;
  const std::string dir = std::string(KESTRIN_FUZZ_CORPUS) + "/" + target;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  return files;
}

class CorpusReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusReplay, EveryFileGoesThroughTheReader) {
  const TFuzzEntry entry = t_fuzzEntry(GetParam());
  ASSERT_NE(entry, nullptr);
  const std::vector<std::string> files = corpusFiles(GetParam());
  // A few valid and invalid files per reader.
  ASSERT_GE(files.size(), 3u) << "corpus of " << GetParam();
  for (const std::string& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(f);
    EXPECT_EQ(entry(bytes.data(), bytes.size()), 0);
  }
}

std::vector<std::string> targetNames() {
  std::vector<std::string> names;
  for (const TFuzzTarget& t : t_fuzzTargets()) names.push_back(t.name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(Readers, CorpusReplay, ::testing::ValuesIn(targetNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
