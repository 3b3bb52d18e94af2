#include <GL/glew.h>

#include "volume/TOGL2DImage.h"
#include "volume/TOGL3DImage.h"
#include "volume/texture_gl.h"

void TOGL2DImage::bindTexture() {
  // Unlike the 1-D and 3-D images a picture without pixels is still bound (an empty texture).
  const GLint filter = linear ? GL_LINEAR : GL_NEAREST;
  if (texName != kNoTexture && glIsTexture(texName)) {
    glBindTexture(GL_TEXTURE_2D, texName);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    return;
  }
  t_setTextureDeleter(&t_glDeleteTextureName);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  GLuint name = 0;
  glGenTextures(1, &name);
  texName = name;
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, W, H, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
}
