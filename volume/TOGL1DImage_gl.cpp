#include <GL/glew.h>

#include "volume/TOGL1DImage.h"
#include "volume/TOGL3DImage.h"
#include "volume/texture_gl.h"

void TOGL1DImage::bindTexture() {
  if (!data) return;
  const GLint filter = linear ? GL_LINEAR : GL_NEAREST;
  if (texName != kNoTexture && glIsTexture(texName)) {
    glBindTexture(GL_TEXTURE_1D, texName);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, filter);
    return;
  }
  t_setTextureDeleter(&t_glDeleteTextureName);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  GLuint name = 0;
  glGenTextures(1, &name);
  texName = name;
  glBindTexture(GL_TEXTURE_1D, name);
  glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, N, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, filter);
}
