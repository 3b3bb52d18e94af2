#pragma once
#include <string>

// The program's directory, ending with '/'; empty when unknown (data files are then looked up
// relative to the working directory).  Set once at start-up by the application object.
extern std::string g_appDir;

// g_appDir followed by a relative path ("shader/psued1.bmp").
std::string t_makeAppPath(const std::string& relative);
