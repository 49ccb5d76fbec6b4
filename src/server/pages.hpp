// The web pages a project shows its volunteers, rendered on the server with
// no external assets: the chart library is served by pelto-server itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/db.hpp"

// Text made safe to place in HTML (and in a single-quoted attribute).
std::string htmlEscape(std::string_view text);

// The lattices with their results, best scores and contributors, and the
// top contributors of the project.
std::string renderIndexPage(ProjectDb& db);
// One lattice: the best score over time and every result's score (a chart),
// the best genomes and the top contributors. None for a lattice not served.
std::optional<std::string> renderLatticePage(ProjectDb& db, std::string_view name);
