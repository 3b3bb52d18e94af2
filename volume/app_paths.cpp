#include "volume/app_paths.h"

std::string g_appDir;

std::string t_makeAppPath(const std::string& relative) { return g_appDir + relative; }
