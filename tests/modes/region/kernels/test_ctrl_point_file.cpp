// The control-point text file: round trip within its six decimals, malformed text, write failures.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

#include "modes/region/kernels/ctrl_point_file.h"

namespace {

TCtrlPointFrame frame() {
  TCtrlPointFrame f;
  const double extent[3] = {12.8, 9.6, 5.0}, pitch[3] = {0.7, 0.7, 1.3};
  const int dims[3] = {128, 96, 50};
  for (int a = 0; a < 3; ++a) f.extent[a] = extent[a], f.dims[a] = dims[a], f.pitch[a] = pitch[a];
  return f;
}

class CtrlPointFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrin_cpfileXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

// Parses exactly the bytes of `text` from a heap block of that size, so that reading past it
// is caught by the address sanitizer.
int parseExact(const std::string& text, TPoints& points, const TCtrlPointFrame& f = frame()) {
  std::unique_ptr<char[]> exact(new char[text.size()]);
  std::memcpy(exact.get(), text.data(), text.size());
  return t_parseCtrlPoints(exact.get(), text.size(), f, points);
}

}  // namespace

TEST_F(CtrlPointFile, ExportThenImportAppendsTheSamePointsWithinSixDecimals) {
  const TCtrlPointFrame f = frame();
  std::mt19937 rng(41);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  TPoints points;
  for (int k = 0; k < 50; ++k) points.emplace_back(u(rng) * 12.8, u(rng) * 9.6, u(rng) * 5.0);
  points.emplace_back(0.0, 0.0, 0.0);
  points.emplace_back(12.8, 9.6, 5.0);
  const std::string path = dir_ + "/cp.txt";
  ASSERT_TRUE(t_exportCtrlPoints(path, points, f));

  // Lines as "%f, %f, %f," writes them, in physical units.
  std::ifstream in(path);
  std::string line;
  for (const TVec3& p : points) {
    ASSERT_TRUE(std::getline(in, line));
    char want[256];
    std::snprintf(want, sizeof want, "%f, %f, %f,", p[0] / 12.8 * 128 * 0.7, p[1] / 9.6 * 96 * 0.7,
                  p[2] / 5.0 * 50 * 1.3);
    ASSERT_EQ(line, want);
  }
  EXPECT_FALSE(std::getline(in, line));

  TPoints loaded = points;
  ASSERT_EQ(t_importCtrlPoints(path, f, loaded), static_cast<int>(points.size()));
  ASSERT_EQ(loaded.size(), 2 * points.size());
  for (size_t k = 0; k < points.size(); ++k)
    for (int a = 0; a < 3; ++a) {
      const double unit = f.extent[a] / (f.dims[a] * f.pitch[a]);  // box units per file unit
      EXPECT_NEAR(loaded[points.size() + k][a], points[k][a], 0.5e-6 * unit * (1 + 1e-9)) << k;
    }
}

TEST_F(CtrlPointFile, MalformedTextKeepsThePointsReadBeforeTheFault) {
  const struct {
    const char* text;
    int count;
  } cases[] = {
      {"", 0},
      {"1,2,3,\n4,5,6,\n7,8", 2},            // truncated third triple
      {"1,2,3,4,5,", 1},                      // truncated after a comma
      {"1 2 3\n4 5 6\n", 0},                  // blanks only
      {"1.5, 2.5 ,3.5,", 0},                  // blank before a comma
      {"1,2,3", 1},                           // last comma optional, no line end
      {"1,2,3 4,5,6", 2},                     // the next triple after blanks
      {"\n\n  1,\n2,\t3,garbage", 1},         // blanks and line breaks before numbers
      {"1,2,3,4,5,nan,7,8,9,", 1},            // not a number
      {"1,2,3,inf,5,6,", 1},                  // infinite
      {"1,2,3,4,5,1e999,", 1},                // beyond double
      {"-1.5e-3,+2.,.5e1,", 1},               // signs, bare points, exponents
      {"1,2,3,4,5,6", 2},                     // ends in a digit at the end of the block
      {"1,2,3,-", 1},                         // a lone sign at the end of the block
      {"1,2,3,4e", 1},                        // an exponent without digits at the end
  };
  for (const auto& c : cases) {
    TPoints points(1, TVec3(9, 9, 9));  // existing points stay in front
    EXPECT_EQ(parseExact(c.text, points), c.count) << '"' << c.text << '"';
    ASSERT_EQ(points.size(), 1u + c.count) << c.text;
    EXPECT_EQ(points[0], TVec3(9, 9, 9));
  }
  TPoints points;
  ASSERT_EQ(parseExact("-1.5e-3,+2.,.5e1,", points), 1);
  const TCtrlPointFrame f = frame();
  const double file[3] = {-1.5e-3, 2.0, 5.0};
  for (int a = 0; a < 3; ++a) EXPECT_DOUBLE_EQ(points[0][a], file[a] * f.extent[a] / (f.dims[a] * f.pitch[a]));

  // A frame that cannot convert (zero pitch) reads nothing; a missing file reports -1.
  TCtrlPointFrame flat = frame();
  flat.pitch[1] = 0;
  EXPECT_EQ(parseExact("1,2,3,", points, flat), 0);
  EXPECT_EQ(t_importCtrlPoints(dir_ + "/missing.txt", frame(), points), -1);
  EXPECT_EQ(points.size(), 1u);
}

TEST_F(CtrlPointFile, ExportReportsFilesThatCannotBeOpenedOrWritten) {
  const TPoints points(3, TVec3(1, 2, 3));
  EXPECT_FALSE(t_exportCtrlPoints(dir_ + "/no/such/folder/cp.txt", points, frame()));
  if (access("/dev/full", W_OK) == 0) {
    EXPECT_FALSE(t_exportCtrlPoints("/dev/full", points, frame()));
  }
  TCtrlPointFrame flat = frame();
  flat.extent[2] = 0;
  EXPECT_FALSE(t_exportCtrlPoints(dir_ + "/cp.txt", points, flat));
  EXPECT_TRUE(t_exportCtrlPoints(dir_ + "/empty.txt", TPoints(), frame()));
}
