#pragma once
// Writing the holder's volume, mask and region colours as one ".muxa" file (layout in
// volume/muxa_file.h).
#include <string>

class TextureManager;

// The 8-bit window-levelled channels are written; true on success.  A failed write leaves an
// earlier file of that name as it was and tells the user why.
bool t_saveMuxa(const TextureManager& tm, const std::string& path);
