// "display.dat": the view settings kept between runs. A text file of
// "name: value" lines under a first line that names the file; a reader skips
// names it does not know and keeps its own value for names the file lacks,
// so newer versions can add settings without breaking older files.
#pragma once

#include <string>

#include "display/view_settings.hpp"

inline constexpr const char* kDisplayFile = "display.dat";

// The file's text for these settings.
std::string displaySettingsText(const ViewSettings& view);
// Applies the lines of a file's text; values out of range are ignored.
// Returns false when the text is not a display settings file.
bool applyDisplaySettingsText(const std::string& text, ViewSettings& view);

// A missing or unreadable file leaves the settings as they are (false).
bool loadDisplaySettings(const std::string& path, ViewSettings& view);
bool saveDisplaySettings(const std::string& path, const ViewSettings& view);
