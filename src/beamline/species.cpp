#include "beamline/species.hpp"

#include <array>
#include <cstring>

#include "beamline/particle.hpp"
#include "common/report.hpp"
#include "common/text.hpp"
#include "model/relativity.hpp"

namespace {

// clang-format off
constexpr SpeciesInfo kSpecies[kSpeciesCount] = {
    // name       rest energy MeV  lifetime s   charge MARS  PDG    family
    {"pi+",       139.5702,        2.6033e-08,   1,     3,    211,   3},
    {"mu+",       105.6583568,     2.19703e-06,  1,     7,    -13,   2},
    {"pi-",       139.5702,        2.6033e-08,  -1,     4,   -211,  -3},
    {"mu-",       105.6583568,     2.19703e-06, -1,     8,     13,  -2},
    {"p",         938.272029,      0,            1,     1,   2212,   5},
    {"pbar",      938.272029,      0,           -1,    12,  -2212,  -5},
    {"K+",        493.677,         1.2385e-08,   1,     5,    321,   4},
    {"K-",        493.677,         1.2385e-08,  -1,     6,   -321,  -4},
    {"e+",        0.510998918,     0,            1,    11,    -11,   1},
    {"e-",        0.510998918,     0,           -1,    10,     11,  -1},
    {"nu_e",      0,               0,            0,    20,     12,   0},
    {"nu_ebar",   0,               0,            0,    21,    -12,   0},
    {"nu_mu",     0,               0,            0,    18,     14,   0},
    {"nu_mubar",  0,               0,            0,    19,    -14,   0},
    {"pi0",       134.9766,        8.4e-17,      0,    13,    111,   0},
    {"n",         939.56536,       0,            0,     2,   2112,   0},
    {"H-",        939.293976,      0,           -1,     0,      0,   0},
    {"B5+",       10329,           0,            5,     0,      0,   0},
    {"O8+",       15024,           0,            8,     0,      0,   0},
    {"Na11+",     21597,           0,           11,     0,      0,   0},
};

// Declaration order matters: the channel choice walks them from the last.
constexpr struct { const char* text; double ratio; } kChannels[] = {
    {"pi+ --> mu+ nu_mu",        0.999877},
    {"pi+ --> e+ nu_e",          0.000123},
    {"pi- --> mu- nu_mubar",     0.999877},
    {"pi- --> e- nu_ebar",       0.000123},
    {"mu+ --> e+ nu_e nu_mubar", 1},
    {"mu- --> e- nu_ebar nu_mu", 1},
    {"K+ --> mu+ nu_mu",         0.6339},
    {"K+ --> pi0 e+ nu_e",       0.0493},
    {"K+ --> pi0 mu+ nu_mu",     0.033},
    {"K+ --> pi+ pi0",           0.2103},
    {"K+ --> pi+ pi0 pi0",       0.01757},
    {"K+ --> pi+ pi+ pi-",       0.0559},
    {"K- --> mu- nu_mubar",      0.6339},
    {"K- --> pi0 e- nu_ebar",    0.0493},
    {"K- --> pi0 mu- nu_mubar",  0.033},
    {"K- --> pi- pi0",           0.2103},
    {"K- --> pi- pi0 pi0",       0.01757},
    {"K- --> pi- pi- pi+",       0.0559},
    {"pi0 --> ",                 0.98798},  // photons: nothing tracked
    {"pi0 --> e+ e-",            0.01198},
};
// clang-format on

// Rest energies and masses are asked for on every integration step.
struct Derived {
    double restEnergy[kSpeciesCount];
    double mass[kSpeciesCount];
    double charge[kSpeciesCount];
};
constexpr Derived derive() {
    Derived d{};
    for (int32_t s = 0; s < kSpeciesCount; s++) {
        d.restEnergy[s] = kSpecies[s].restEnergyMeV * 1e6 * kElectronVolt;
        d.mass[s] = d.restEnergy[s] / kSpeedOfLight2;
        d.charge[s] = kSpecies[s].charge * kElectronVolt;
    }
    return d;
}
constexpr Derived kDerived = derive();

struct Alias {
    const char* word;
    int32_t species;
};
constexpr Alias kAliases[] = {{"Pion", PiPlus},     {"Muon", MuPlus},       {"Proton", Proton},
                              {"Neutron", Neutron}, {"Electron", Electron}, {"Positron", Positron}};

std::array<SpeciesRecord, kSpeciesCount> records;
bool initialised = false;

bool matches(std::string_view text, const char* candidate, bool contains) {
    if (contains) return text.find(candidate) != std::string_view::npos;
    return equalNoCase(text, candidate);
}

int32_t exactSpecies(std::string_view name) {
    for (int32_t s = kSpeciesCount; s-- > 0;) {
        if (equalNoCase(name, kSpecies[s].name)) return s;
    }
    return -1;
}

// "parent --> a b c": the parent and the products, resolved by exact name.
void addChannel(std::string_view text, double ratio) {
    size_t arrow = text.find(" --> ");
    int32_t parent = exactSpecies(text.substr(0, arrow));
    if (parent < 0) return;
    DecayChannel channel;
    channel.ratio = ratio;
    std::string_view rest = text.substr(arrow + 5);
    while (!rest.empty()) {
        size_t blank = rest.find(' ');
        std::string_view word = rest.substr(0, blank);
        if (!word.empty()) channel.products.push_back(exactSpecies(word));
        if (blank == std::string_view::npos) break;
        rest.remove_prefix(blank + 1);
    }
    records[parent].channels.push_back(std::move(channel));
}

}  // namespace

const SpeciesInfo& speciesInfo(int32_t s) {
    return kSpecies[s];
}

void speciesInit() {
    if (initialised) return;
    initialised = true;
    for (int32_t s = 0; s < kSpeciesCount; s++) records[s].lifetime = kSpecies[s].lifetime;
    for (const auto& channel : kChannels) addChannel(channel.text, channel.ratio);
}

const SpeciesRecord& speciesRecord(int32_t s) {
    return records[s];
}

int32_t speciesByName(std::string_view text, bool contains) {
    if (text.empty()) return -1;
    for (const Alias& alias : kAliases) {
        if (matches(text, alias.word, contains)) return alias.species;
    }
    for (int32_t s = kSpeciesCount; s-- > 0;) {
        if (matches(text, kSpecies[s].name, contains)) return s;
    }
    report(format("[WARNING] Unrecognised particle species '%.*s'", static_cast<int>(text.size()),
                  text.data()));
    return -1;
}

int32_t speciesByPid(int32_t id, int32_t kind) {
    for (int32_t s = kSpeciesCount; s-- > 0;) {
        const SpeciesInfo& info = kSpecies[s];
        // Species without an identifier of that kind hold 0, which no file uses.
        int32_t column = kind == PidMars ? info.marsId : kind == PidPdg ? info.pdgId : info.family;
        if (kind >= PidMars && kind <= PidFamily && column != 0 && column == id) return s;
    }
    const char* kindName = kind == PidMars ? "MARS" : kind == PidPdg ? "PDG" : "invalid type";
    report(format("[WARNING] Unrecognised %s PID %d", kindName, id));
    return -1;
}

const char* stateName(int32_t state) {
    switch (state) {
        case StateFinished:
            return "Finished";
        case StateActive:
            return "Active";
        case StateStopped:
            return "Stopped";
        case StateReimpact:
            return "Reimpact";
        case StateWrongEnergy:
            return "WrongEnergy";
        case StateDecayed:
            return "Decayed";
        default:
            return "";
    }
}

double restEnergy(int32_t species) {
    return kDerived.restEnergy[species];
}

double mass(int32_t species) {
    return kDerived.mass[species];
}

double charge(int32_t species) {
    return kDerived.charge[species];
}

double kineticEnergy(const Particle& particle) {
    return (gammaFromProperVelocity2(norm2(particle.u)) - 1) * restEnergy(particle.species);
}
