// Where the tests find the demo data files, and the physical constants the
// checks compare them with.
#pragma once

#include <string>

inline std::string demoDataFile(const std::string& name) {
    return std::string(PELTO_SOURCE_DIR) + "/demo/datafiles/" + name;
}

// Rest energies in MeV, as in the program's species table.
inline constexpr double kPionMassMeV = 139.5702;
inline constexpr double kMuonMassMeV = 105.6583568;
inline constexpr double kElectronMassMeV = 0.510998918;
