// TSheder's binding rules that need no GL: program choice, colour and clip selectors,
// one-voxel offsets, and the GLSL layer's source handling.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "view/TSheder.h"
#include "view/glsl_program.h"

TEST(ShaderRules, ProgramByChannelCount) {
  EXPECT_EQ(TSheder::programIndexForChannels(1), 0);
  EXPECT_EQ(TSheder::programIndexForChannels(2), 1);
  EXPECT_EQ(TSheder::programIndexForChannels(3), 2);
  EXPECT_EQ(TSheder::programIndexForChannels(0), 2);
}

TEST(ShaderRules, ColourAndClipSelectors) {
  EXPECT_EQ(TSheder::reduceColourSel(0), 0);
  EXPECT_EQ(TSheder::reduceColourSel(1), 1);
  EXPECT_EQ(TSheder::reduceColourSel(5), 2);
  EXPECT_EQ(TSheder::reduceColourSel(-1), 2);
  const int expected[8] = {0, 1, 3, 2, 4, 5, 0, 0};
  for (int sel = 0; sel < 8; ++sel) EXPECT_EQ(TSheder::clipModeFromSel(sel), expected[sel]) << sel;
  EXPECT_EQ(TSheder::clipModeFromSel(-1), 0);
  // Channels c1, c2, c3 get pseudo-colour tables 1, 2, 3; everything else the third.
  EXPECT_EQ(TSheder::pseudoColourTableFor(2), 0);
  EXPECT_EQ(TSheder::pseudoColourTableFor(3), 1);
  EXPECT_EQ(TSheder::pseudoColourTableFor(4), 2);
  EXPECT_EQ(TSheder::pseudoColourTableFor(0), 2);
}

TEST(ShaderRules, TexCdOffsetIsOneVoxel) {
  float o[4];
  TSheder::texCdOffsetFor(256, 128, 64, o);
  EXPECT_EQ(o[0], 0.00390625f);
  EXPECT_EQ(o[1], 0.0078125f);
  EXPECT_EQ(o[2], 0.015625f);
  EXPECT_EQ(o[3], 0.0f);
  TSheder::texCdOffsetFor(3, 7, 1, o);
  EXPECT_EQ(o[0], float(1.0 / 3));
  EXPECT_EQ(o[1], float(1.0 / 7));
  EXPECT_EQ(o[2], 1.0f);
}

TEST(ShaderRules, ParameterNamesAndUnits) {
  EXPECT_STREQ(TSheder::kFragParamNames[TSheder::P_IMG1], "tex3D_img1");
  EXPECT_STREQ(TSheder::kFragParamNames[TSheder::P_TF_IG2D], "tex2D_tfIG2D");
  EXPECT_STREQ(TSheder::kFragParamNames[TSheder::P_EYEPOS], "unif.eyePos");
  EXPECT_STREQ(TSheder::kFragParamNames[TSheder::P_CLIPMODE], "unif.clipMode");
  EXPECT_STREQ(TSheder::kVertMatrixName, "modelViewMat");
  for (int k = 0; k < TSheder::kTextureParamCount; ++k) EXPECT_EQ(TSheder::textureUnitOf(k), k);
  EXPECT_EQ(TSheder::textureUnitOf(TSheder::P_EYEPOS), -1);
}

TEST(GlslLayer, DefinesGoAfterTheVersionLine) {
  std::string s = t_glslWithDefines("#version 330 compatibility\nvoid f();\n", {"A 1", "Frag_Main_2 main"});
  EXPECT_EQ(s.rfind("#version 330 compatibility\n#define A 1\n#define Frag_Main_2 main\n", 0), 0u) << s;
  EXPECT_NE(s.find("void f();"), std::string::npos);
  EXPECT_EQ(t_glslWithDefines("void f();\n", {"X"}).rfind("#define X\n", 0), 0u);
}

TEST(GlslLayer, DeclaredUniformsIncludeStructMembersAndSkipComments) {
  const char* src =
      "struct Unif { vec3 eyePos; float a, b; int m[2]; };\n"
      "uniform Unif unif;\n"
      "uniform sampler3D t1, t2;\n"
      "uniform highp mat4 mvp;\n"
      "// uniform float commented;\n"
      "/* uniform float blocked; */\n"
      "#define NOT_A uniform float x;\n"
      "float notUniform;\n";
  std::set<std::string> names = t_glslDeclaredUniforms(src);
  std::set<std::string> expected = {"unif.eyePos", "unif.a", "unif.b", "unif.m", "t1", "t2", "mvp"};
  EXPECT_EQ(names, expected);
}

TEST(GlslLayer, IncludesAreResolvedFromTheSameFolder) {
  std::string dir = ::testing::TempDir();
  {
    std::ofstream(dir + "kestrin_inc_a.glsl") << "#version 330\n  #include \"kestrin_inc_b.glsl\"\nvoid main() {}\n";
    std::ofstream(dir + "kestrin_inc_b.glsl") << "uniform float fromB;";
  }
  std::string src, err;
  ASSERT_TRUE(t_glslReadSource(dir + "kestrin_inc_a.glsl", src, err)) << err;
  EXPECT_EQ(src, "#version 330\nuniform float fromB;\nvoid main() {}\n");
  std::remove((dir + "kestrin_inc_b.glsl").c_str());
  EXPECT_FALSE(t_glslReadSource(dir + "kestrin_inc_a.glsl", src, err));
  EXPECT_NE(err.find("kestrin_inc_b.glsl"), std::string::npos);
  std::remove((dir + "kestrin_inc_a.glsl").c_str());
  EXPECT_FALSE(t_glslReadSource(dir + "kestrin_inc_a.glsl", src, err));
}
