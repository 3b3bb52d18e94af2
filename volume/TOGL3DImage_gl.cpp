#include <GL/glew.h>

#include "volume/TOGL3DImage.h"
#include "volume/texture_gl.h"

void t_glDeleteTextureName(unsigned int name) {
  const GLuint n = name;
  if (glIsTexture(n)) glDeleteTextures(1, &n);
}

bool t_glEnsureExtensions() {
  if (glTexImage3D) return true;
  // The views run glewInit after making their contexts current; a GL user without a view
  // (tests, tools) gets it here.  Under EGL glewInit reports an error although the entry points
  // it found work, so only the entry point decides.
  glewExperimental = GL_TRUE;
  glewInit();
  return glTexImage3D != nullptr;
}

void TOGL3DImage::bindTexture() {
  if (!data) return;
  const GLint filter = linear ? GL_LINEAR : GL_NEAREST;
  if (texName != kNoTexture && glIsTexture(texName)) {
    glBindTexture(GL_TEXTURE_3D, texName);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, filter);
    return;
  }
  if (!t_glEnsureExtensions()) return;
  t_setTextureDeleter(&t_glDeleteTextureName);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  GLuint name = 0;
  glGenTextures(1, &name);
  texName = name;
  glBindTexture(GL_TEXTURE_3D, name);
  glTexImage3D(GL_TEXTURE_3D, 0, GL_LUMINANCE8, W, H, D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, data);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_BORDER);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_BORDER);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_BORDER);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, filter);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, filter);
}
