// The project folder the server runs in: lattices/*.txt and their data files
// (which the record checksums cover), servers.csv, signal.txt, incoming/ for
// FTP uploads and samplefiles/ for the files the server makes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kDatabaseFile = "pelto.db";
inline constexpr const char* kSignalFile = "signal.txt";
inline constexpr const char* kServersFile = "servers.csv";
inline constexpr const char* kIncomingFolder = "incoming";
// Uploads wait here between arrival and ingest; never served.
inline constexpr const char* kSpoolFolder = "spool";

// The lattices served, named as their files are (without ".txt").
std::vector<std::string> projectLattices();
// The served lattice of that name, ignoring case; none when not served (a
// name that is not a plain file name never is).
std::optional<std::string> servedLattice(std::string_view name);

// A fingerprint of the lattice and data files: names, sizes and times. When
// it changes, cached digests are stale.
std::string latticeFilesSignature();
// Makes the checksum code see the files as they are now: drops the cached
// digests and the lattice listing when the files changed since the last call.
void refreshLatticeDigests();

// "<pre id='signal'>VERSION\nMESSAGE</pre>" from signal.txt, the block the
// client looks for in an upload answer; empty lines when there is none.
std::string signalText();
std::string signalBlock();

// The user name at the end of an upload name "yyyyMMdd-HHmmss-XXXXX-user.ext"
// ("?" when the name is not of that form).
std::string uploaderOf(std::string_view uploadName);
// An upload name the server accepts: a plain file name of printable ASCII
// ending in ".txt" or ".bin", at most 200 characters.
bool isAcceptableUploadName(std::string_view name);
