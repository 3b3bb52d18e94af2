#pragma once
// Shared by the texture images' GL sources (kvolume_gl only).

// Deletes a GL texture name when the current context knows it as a texture.  Installed as the
// plain part's deleter by the first bind that creates a texture.
void t_glDeleteTextureName(unsigned int name);
// Loads the extension entry points when nobody has done so yet in this process; false when
// glTexImage3D is still missing afterwards.
bool t_glEnsureExtensions();
