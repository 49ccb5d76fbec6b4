// The final beam of a run in forms a person or a script can compare: totals
// per particle state, and every particle as a CSV line. Both take the
// particles in one canonical order, so that runs that end with the same
// particles give the same bytes whatever order the tracking left them in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "beamline/beam.hpp"

struct StateTotal {
    int32_t state = 0;
    int64_t count = 0;
    double weight = 0;
};

// The canonical order: by id, species, state, then the remaining numbers.
// The particles that `keep` accepts, in that order.
std::vector<const Particle*> canonicalOrder(const Beam& beam, bool (*keep)(const Particle&));
// Every particle in that order, holding about a sixteenth of the beam's
// order at a time rather than a pointer to every particle.
void canonicalWalk(const Beam& beam, const std::function<void(const Particle&)>& visit);

// One entry per state present, in ascending state code.
std::vector<StateTotal> beamStateTotals(const Beam& beam);

// "Active" for a named state, the code itself otherwise.
std::string stateLabel(int32_t state);

inline constexpr const char* kBeamDumpHeader =
    "id,species,state,weight,x,y,z,ux,uy,uz,t,properTime";
// The header and one line per particle (active and inactive), numbers with
// %.17g, lines ending in LF.
std::string beamDumpCsv(const Beam& beam);
// The same a line at a time, so that the dump of a large beam (about 200
// bytes a particle) never has to be held whole.
void beamDumpCsv(const Beam& beam, const std::function<void(std::string_view)>& write);
