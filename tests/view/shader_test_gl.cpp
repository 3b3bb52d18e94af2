// GL half of the test context helpers (GLEW side).
#include <GL/glew.h>

#include "shader_test_context.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {
GLuint s_fbo = 0, s_colour = 0, s_depth = 0;
int s_w = 0, s_h = 0;
}  // namespace

bool t_testInitGlew() {
  static bool done = false, ok = false;
  if (!done) {
    glewExperimental = GL_TRUE;
    GLenum e = glewInit();
    // GLEW answers "no GLX display" under EGL although the entry points are loaded.
    ok = (e == GLEW_OK || glCreateShader != nullptr);
    done = true;
  }
  return ok;
}

bool t_testBeginFramebuffer(int w, int h, float r, float g, float b, float a) {
  if (s_fbo == 0 || s_w != w || s_h != h) {
    if (s_fbo) {
      glDeleteFramebuffers(1, &s_fbo);
      glDeleteTextures(1, &s_colour);
      glDeleteRenderbuffers(1, &s_depth);
    }
    glGenFramebuffers(1, &s_fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, s_fbo);
    glGenTextures(1, &s_colour);
    glBindTexture(GL_TEXTURE_2D, s_colour);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s_colour, 0);
    glGenRenderbuffers(1, &s_depth);
    glBindRenderbuffer(GL_RENDERBUFFER, s_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, s_depth);
    glBindTexture(GL_TEXTURE_2D, 0);
    s_w = w;
    s_h = h;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, s_fbo);
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
  glViewport(0, 0, w, h);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glClearColor(r, g, b, a);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  return true;
}

std::vector<unsigned char> t_testReadPixels(int w, int h) {
  std::vector<unsigned char> px(size_t(w) * h * 4);
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
  return px;
}

void t_testEndFramebuffer() { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

void t_testReleaseHolderTextures() {
  t_testMakeContext();
  TextureManager& tm = TextureManager::getInst();
  for (TOGL3DImage* v : {&tm.vol1, &tm.vol2, &tm.vol3, &tm.volFlag, &tm.volMask, &tm.volGrad})
    v->unbind(nullptr);
  for (TOGL1DImage* t : {static_cast<TOGL1DImage*>(&tm.tfI), static_cast<TOGL1DImage*>(&tm.tfIG),
                         &tm.pseudoColor[0], &tm.pseudoColor[1], &tm.pseudoColor[2]})
    t->unbind(nullptr);
  tm.tf2D.unbind(nullptr);
  TMaskIdTable::getInst().colorTable.unbind(nullptr);
}
