// Particle species and states. The species are fixed: their names, rest
// energies, lifetimes, charges and external identifiers live in one table
// (species.cpp); the decay channels are declared as text and resolved by name
// once at start-up.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

struct Particle;

// Joules per electron-volt; also the elementary charge in coulombs.
inline constexpr double kElectronVolt = 1.602176462e-19;

enum Species : int32_t {
    PiPlus = 0,
    MuPlus = 1,
    PiMinus = 2,
    MuMinus = 3,
    Proton = 4,
    AntiProton = 5,
    KPlus = 6,
    KMinus = 7,
    Positron = 8,
    Electron = 9,
    NuE = 10,
    NuEBar = 11,
    NuMu = 12,
    NuMuBar = 13,
    PiZero = 14,
    Neutron = 15,
    HMinus = 16,
    Boron5 = 17,
    Oxygen8 = 18,
    Sodium11 = 19,
};
inline constexpr int32_t kSpeciesCount = 20;
inline constexpr int32_t kNoSpecies = -1;

// The fate of a particle. Only Active particles are tracked; Decayed ones
// are removed from the beam after the step.
enum ParticleState : int32_t {
    StateFinished = -1,  // reached the end of the machine
    StateActive = 0,
    StateStopped = 1,  // hit a wall or bore, or absorbed
    StateReimpact = 3,
    StateWrongEnergy = 4,  // outside an aperture's energy window
    StateBelowTable = 5,   // momentum below the scattering table
    StateAboveTable = 6,   // momentum above the scattering table
    StateDecayed = 10,     // all decay samples used
};

struct SpeciesInfo {
    const char* name;
    double restEnergyMeV;
    double lifetime;  // proper lifetime, seconds; 0 = stable
    int32_t charge;   // in units of the elementary charge
    int32_t marsId;   // 0 = none
    int32_t pdgId;    // 0 = none
    int32_t family;   // signed family code; 0 = none
};

struct DecayChannel {
    double ratio = 0;
    std::vector<int32_t> products;  // species indices; empty: nothing tracked after
};

struct SpeciesRecord {
    double lifetime = 0;
    std::vector<DecayChannel> channels;  // in declaration order
};

// The constant columns of species `s` (0 <= s < kSpeciesCount).
const SpeciesInfo& speciesInfo(int32_t s);
// Builds the decay channels; called once before any lattice is read. Later
// calls do nothing.
void speciesInit();
// The record of species `s`, channels included (speciesInit must have run).
const SpeciesRecord& speciesRecord(int32_t s);

// The species named by `text`, or -1 (with a warning unless the text is
// empty). Exact mode compares ignoring case; with `contains` a candidate
// matches when it occurs in the text, case-sensitively. Candidates: the
// words Pion, Muon, Proton, Neutron, Electron, Positron, then the table names
// from the last to the first.
int32_t speciesByName(std::string_view text, bool contains);

enum PidKind : int32_t { PidMars = 1, PidPdg = 2, PidFamily = 3 };
// The species with that identifier in the MARS, PDG or family column, or -1
// with a warning.
int32_t speciesByPid(int32_t id, int32_t kind);

// "Finished", "Active", ...; empty for codes without a name.
const char* stateName(int32_t state);

double restEnergy(int32_t species);  // joules
double mass(int32_t species);        // kilograms
double charge(int32_t species);      // coulombs
// (gamma - 1) x rest energy, joules.
double kineticEnergy(const Particle& particle);
