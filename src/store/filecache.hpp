// Digests of lattice and data files, and the caches that let a bulk check of
// many results read each file and each lattice only once.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "store/digest.hpp"

// While off (the default), both caches are emptied at every request so that
// every digest reflects the files as they are now. The results upload turns
// it on for its bulk re-check.
extern bool digestCaching;
// Empties both caches, for a long-running process whose files have changed.
void forgetDigestCaches();

// Digest of the file's content. A file that is missing under its own name is
// looked for under any extension ("datafiles/map1" finds "map1.dat"). A file
// that cannot be found gives the zero digest and a warning.
Digest fileDigest(const std::string& path, size_t n);

// The 4-byte scheme's lattice part: no name gives an empty digest, an empty
// name a fixed one, otherwise the digest of the lattice file.
Digest latticeFileDigest(const std::optional<std::string>& name, size_t n);

// How the data-file list of a lattice is collected. A keeps every data-file
// attribute; B skips a value equal to a path already listed (which, since
// paths carry the folder prefix, rarely happens).
enum class DataFileVariant { A, B };

// Supplies the data-file attribute values of a lattice: for each direct child
// of the beamline from the last to the first, each attribute from the last to
// the first whose name begins with "file" (ignoring case) and whose value is
// a text. Returns nullopt when the lattice yields no beamline.
using LatticeDataFilesProvider =
    std::function<std::optional<std::vector<std::string>>(const std::string& lattice)>;

// The lattice file combined with every data file the lattice uses, which
// interpret lists (the caller passes the lattice interpreter; this folder sits
// below it). A missing lattice file, or one that yields no beamline, gives the
// zero digest.
Digest latticeDigest(const std::optional<std::string>& name, size_t n, DataFileVariant variant,
                     const LatticeDataFilesProvider& interpret);

// Tests replace the interpreter passed to latticeDigest with their own.
void setLatticeDataFilesProvider(LatticeDataFilesProvider provider);
void resetLatticeDataFilesProvider();

// "datafiles/" + value, with the value's backslashes turned into separators.
std::string dataFilePath(const std::string& value);
