#pragma once
// Files dropped on the main view: chosen by the last characters of the name, compared exactly.
#include <functional>
#include <string>
#include <vector>

enum class DropAction { Refuse, LoadVolume, LoadMask, LoadCamera, LoadCameraTransFunc };

// The refusal shown for more than one file or an unknown ending.
extern const char* const kDropRefusalText;

// What a dropped name asks for.  Names shorter than seven characters are refused.
DropAction t_dropActionOf(const std::string& path);

// The loaders a drop calls (the core's file commands; installed by the application).
struct TDropLoaders {
  std::function<void(const std::string&)> loadVolume;
  // True when the mask was loaded; only then follows the switch to mode 3.
  std::function<bool(const std::string&)> loadMask;
  std::function<void(const std::string&)> loadCamera;
  std::function<void(const std::string&)> loadCameraTransFunc;
};
void t_setDropLoaders(const TDropLoaders& loaders);

// Loads the one dropped file or shows the refusal (platform prompt).  True when a loader ran.
bool t_dispatchDroppedFiles(const std::vector<std::string>& paths);
