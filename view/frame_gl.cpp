#include <GL/glew.h>

#include "view/frame_gl.h"

void t_setMainViewLights() {
  // Positions are given after the look-at matrix, so they are world coordinates.
  const GLfloat a0[4] = {0.2f, 0.2f, 0.2f, 1}, d0[4] = {1, 1, 1, 1}, s0[4] = {0.2f, 0.2f, 0.2f, 1},
                p0[4] = {10, 100, 100, 1};
  const GLfloat a1[4] = {0, 0, 0, 1}, d1[4] = {0.5f, 0.5f, 0.5f, 1}, s1[4] = {0.4f, 0.4f, 0.4f, 1},
                p1[4] = {100, 5, 0, 1};
  const GLfloat a2[4] = {0.2f, 0.2f, 0.2f, 1}, d2[4] = {0.3f, 0.3f, 0.3f, 1},
                s2[4] = {0.2f, 0.2f, 0.2f, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, a0);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, d0);
  glLightfv(GL_LIGHT0, GL_SPECULAR, s0);
  glLightfv(GL_LIGHT0, GL_POSITION, p0);
  glLightfv(GL_LIGHT1, GL_AMBIENT, a1);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, d1);
  glLightfv(GL_LIGHT1, GL_SPECULAR, s1);
  glLightfv(GL_LIGHT1, GL_POSITION, p1);
  glLightfv(GL_LIGHT2, GL_AMBIENT, a2);
  glLightfv(GL_LIGHT2, GL_DIFFUSE, d2);
  glLightfv(GL_LIGHT2, GL_SPECULAR, s2);
  glEnable(GL_LIGHT0);
  glEnable(GL_LIGHT1);
  glEnable(GL_LIGHT2);
}

void t_finishGL() { glFinish(); }
