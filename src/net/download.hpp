// Keeping the server list, the lattice files and the sample results fresh.
// Each transfer runs on a thread of its own under a deadline, so a stalled
// connection never holds up the simulation for long.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "net/net_settings.hpp"
#include "store/latticedir.hpp"

inline constexpr const char* kLatticeListFile = "latticelist.txt";
inline constexpr const char* kLatticeListPath = "/pelto/lattices/list.php";

// Fetches url into target (or checkPath when there is no target) when
// checkPath is missing or older than `hours`; hours below 0 force the
// download. Returns whether the target exists afterwards; false without any
// transfer when checkPath is young enough.
bool downloadIfStale(const std::string& checkPath, double hours, const std::string& url,
                     const std::optional<std::string>& target, const NetSettings& net);

// Where lattices that the server's list no longer names are moved, inside
// the lattice folder; its files are not lattices to run.
inline constexpr const char* kRetiredFolder = "retired";

// Brings the lattice folder in line with the server's lattice list: listed
// lattices that are missing are fetched, unlisted ones are moved into the
// retired folder (unless keepUnlisted, or unless not one local lattice is
// listed). Nothing is deleted.
void updateLattices(double hours, bool keepUnlisted, const std::string& folder,
                    const NetSettings& net);

// "samplefiles/<lattice>.txt" for each lattice, from the URL template.
void downloadSamples(const std::string& urlTemplate, double hours,
                     const std::vector<std::string>& lattices, const NetSettings& net);
void downloadSample(const std::string& url, const std::string& localPath, double hours,
                    const NetSettings& net);

// The checks the main cycle makes at the start of each cycle. `lattices` is
// asked for the lattices to fetch samples for after the lattice update.
void runDownloadChecks(const NetSettings& net,
                       const std::function<std::vector<std::string>()>& lattices);

// Percent-encodes everything but letters, digits and "-._~", so that a name
// can go into a URL path.
std::string urlEncodeName(const std::string& name);
// A name from a server that may become a file name: a plain name of at most
// 200 characters, without folders, "..", or control characters.
bool isPlainServerName(const std::string& name);
