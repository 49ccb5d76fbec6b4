// Sample files: per lattice the best accepted results (fully rechecked ones
// first, then by score) in the binary results form the client downloads as
// samplefiles/<lattice>_100.bin.
#pragma once

#include <string>
#include <vector>

#include "server/db.hpp"

inline constexpr int kSampleSize = 100;
inline constexpr const char* kSampleFolder = "samplefiles";

// "samplefiles/<lattice in lower case>_100.bin": the client asks for the
// lower-case name.
std::string sampleFilePath(const std::string& lattice);

// Rewrites the lattice's sample file from the database. The file is written
// beside its final name and renamed over it, so a download never sees half a
// file. False when the database or the disk failed (the old file stays).
bool rebuildSampleFile(ProjectDb& db, const std::string& lattice);
// Every served lattice's file (at start, so a lost file comes back).
void rebuildAllSampleFiles(ProjectDb& db, const std::vector<std::string>& lattices);
