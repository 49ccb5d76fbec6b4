// The program's version, as results and messages show it.
#pragma once

inline constexpr const char* kVersionText = "v4.44d";
// The numeric start of the version text, as lattices and results compare it.
inline constexpr float kVersionNumber = 4.44f;
