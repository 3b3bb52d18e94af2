#pragma once
// A GL compatibility context for the shader and panel tests: an offscreen surface, a current
// context with GLEW loaded, and a framebuffer object to draw into and read back.  Needs an X
// display (the GUI tests run under Xvfb).  Split from the GL code so that Qt's GL headers and
// GLEW's never meet in one file.
#include <vector>

// Creates (once) and makes current the test context; false when no context can be had.
bool t_testMakeContext();
// Leaves no context current.
void t_testDoneCurrent();
// Deletes the context and its surface (before the application goes).
void t_testReleaseContext();
// GLEW on the current context; false when it fails.
bool t_testInitGlew();
// A w x h RGBA8 framebuffer bound for drawing, with an identity projection and model-view and
// the viewport set; cleared to the given colour.
bool t_testBeginFramebuffer(int w, int h, float r, float g, float b, float a);
// The framebuffer's pixels, RGBA bytes, bottom row first.
std::vector<unsigned char> t_testReadPixels(int w, int h);
void t_testEndFramebuffer();
// Makes the test context current and frees every GL texture the volume holder and the region
// colour table hold, so that none outlives its context.
void t_testReleaseHolderTextures();
