// GL upload of the texture images: lazy creation, unbind and rebind uploading the current data,
// copies that do not share a texture.  Runs under Xvfb.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <vector>

#include "holder_gl_context.h"
#include "volume/TOGL1DImage.h"
#include "volume/TOGL2DImage.h"
#include "volume/TOGL3DImage.h"
#include "volume/TransFunc_1D.h"
#include "volume/TransFunc_2D.h"

namespace {
HolderGLContext* g_ctx = nullptr;

std::vector<uint8_t> readBack3D(int n) {
  std::vector<uint8_t> out(n, 0xEE);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_3D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, out.data());
  return out;
}

class HolderGL : public testing::Test {
 protected:
  void SetUp() override {
    if (!g_ctx) g_ctx = new HolderGLContext;  // lives until exit: one application object
    if (!g_ctx->ok()) GTEST_SKIP() << "no GL context (needs an X display)";
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
};
}  // namespace

TEST_F(HolderGL, VolumeUploadUnbindRebind) {
  const int W = 5, H = 3, D = 2;  // odd width: needs unpack alignment 1
  TOGL3DImage img;
  img.bindTexture();  // nothing to bind yet
  EXPECT_EQ(img.texName, TOGL3DImage::kNoTexture);
  img.allocate(W, H, D);
  for (int i = 0; i < W * H * D; ++i) img.data[i] = uint8_t(7 * i + 1);
  img.bindTexture();
  ASSERT_NE(img.texName, TOGL3DImage::kNoTexture);
  const GLuint first = img.texName;
  EXPECT_TRUE(glIsTexture(first));
  const std::vector<uint8_t> want(img.data, img.data + W * H * D);
  EXPECT_EQ(readBack3D(W * H * D), want);
  GLint filter = 0, wrap = 0;
  glGetTexParameteriv(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, &filter);
  glGetTexParameteriv(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, &wrap);
  EXPECT_EQ(filter, GL_LINEAR);
  EXPECT_EQ(wrap, GL_CLAMP_TO_BORDER);

  // Changed voxels reach the GPU only after unbind: the next bind uploads them.
  img.data[0] = 200;
  img.bindTexture();
  EXPECT_EQ(readBack3D(W * H * D)[0], want[0]);
  img.linear = false;
  img.unbind();
  EXPECT_EQ(img.texName, TOGL3DImage::kNoTexture);
  EXPECT_FALSE(glIsTexture(first));
  img.unbind();  // nothing left to delete
  img.bindTexture();
  ASSERT_NE(img.texName, TOGL3DImage::kNoTexture);
  EXPECT_EQ(readBack3D(W * H * D)[0], 200);
  glGetTexParameteriv(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, &filter);
  EXPECT_EQ(filter, GL_NEAREST);

  // A copy has its own (no) texture; destroying it leaves the original's alone.
  const GLuint name = img.texName;
  {
    TOGL3DImage copy(img);
    EXPECT_EQ(copy.texName, TOGL3DImage::kNoTexture);
    copy.bindTexture();
    EXPECT_NE(copy.texName, name);
  }
  EXPECT_TRUE(glIsTexture(name));
  img.clear();
  EXPECT_FALSE(glIsTexture(name));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(HolderGL, TransferFunctionTextures) {
  TransFunc_1D tf;
  tf.initRamp();
  tf.paintByStroke(3, 0.0, 0.0, 1.0, 0.0);  // alpha 0 everywhere
  tf.bindTexture();
  ASSERT_NE(tf.texName, TOGL1DImage::kNoTexture);
  std::vector<uint8_t> one(256 * 4);
  glGetTexImage(GL_TEXTURE_1D, 0, GL_RGBA, GL_UNSIGNED_BYTE, one.data());
  EXPECT_EQ(one[4 * 200 + 0], 200);
  EXPECT_EQ(one[4 * 200 + 3], 0);
  const GLuint oneName = tf.texName;
  tf.resetChannel(3);  // an edit drops the texture
  EXPECT_FALSE(glIsTexture(oneName));

  TransFunc_2D tf2;
  tf2.init();
  tf2.bindTexture();
  ASSERT_NE(tf2.texName, TOGL2DImage::kNoTexture);
  std::vector<uint8_t> two(256 * 256 * 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, two.data());
  EXPECT_EQ(two[4 * (128 * 256 + 128)], 255);
  EXPECT_EQ(two[0], 0);
  const GLuint twoName = tf2.texName;
  tf2.movePoint(0, 10, 10, 256, 256);
  EXPECT_FALSE(glIsTexture(twoName));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
