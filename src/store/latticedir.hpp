// The lattice directory: which lattices this installation can run, which of
// them the user prefers, and how old a downloaded file is.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kLatticeFolder = "lattices";
inline constexpr const char* kDataFolder = "datafiles";
// Sample results downloaded from the project, one file per lattice.
inline constexpr const char* kSampleFolder = "samplefiles";

// "lattices/<name>.txt".
std::string latticeFilePath(std::string_view name);

// Names of the lattice files ("*.txt", extension removed) in a folder, in name
// order. Files starting with "_" are drafts and stay hidden.
std::vector<std::string> listlattices(const std::string& folder);
// The lattices to choose from: those named in the comma-separated list (the
// "Preferred lattices" setting), or all of them when none of those exists.
std::vector<std::string> preferredlattices(std::string_view setting);
// Whether the lattice folder holds a lattice of that name (ignoring case). The
// listing is taken once and kept until forgetlatticelist.
bool latticepresent(const std::optional<std::string>& name);
void forgetlatticelist();
// Hours since the file was last written; infinite for a missing file.
float fileagehours(const std::string& path);
