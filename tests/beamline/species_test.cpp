#include "beamline/species.hpp"

#include <gtest/gtest.h>

#include "beamline/particle.hpp"
#include "support/test_support.hpp"

namespace {

struct Lookup {
    const char* text;
    bool contains;
    int32_t species;
    bool warns;
};

}  // namespace

TEST(Species, NamesFindSpeciesInAliasThenReverseTableOrder) {
    const Lookup cases[] = {
        {"PIONS", false, -1, true},  // no alias and no name equals it
        {"PIONS", true, -1, true},   // the substring test is case-sensitive
        {"Pions", true, PiPlus, false},
        {"MU-", false, MuMinus, false},
        {"muon", false, MuPlus, false},
        {"electron", false, Electron, false},
        {"e+", false, Positron, false},
        {"pbar", false, AntiProton, false},
        {"Na11+", false, Sodium11, false},
        {"h-", false, HMinus, false},
        // Substrings are tried from the end of the table, so the neutron's
        // one-letter name catches every text with an "n" in it.
        {"nu_mubar", true, Neutron, false},
        {"mu+ beam", true, MuPlus, false},
        {"a K- beam", true, KMinus, false},
        {"", false, -1, false},
        {"", true, -1, false},
    };
    for (const Lookup& c : cases) {
        MessageRecorder messages;
        messages.keys = {'y'};
        EXPECT_EQ(speciesByName(c.text, c.contains), c.species) << c.text << " " << c.contains;
        bool warned = messages.output.find("[WARNING] Unrecognised particle species '" +
                                           std::string(c.text) + "'") != std::string::npos;
        EXPECT_EQ(warned, c.warns) << c.text << messages.output;
    }
}

TEST(Species, IdentifiersFindSpeciesByColumn) {
    EXPECT_EQ(speciesByPid(3, PidMars), PiPlus);
    EXPECT_EQ(speciesByPid(18, PidMars), NuMu);
    EXPECT_EQ(speciesByPid(-13, PidPdg), MuPlus);
    EXPECT_EQ(speciesByPid(2112, PidPdg), Neutron);
    EXPECT_EQ(speciesByPid(-2, PidFamily), MuMinus);
    MessageRecorder messages;
    messages.keys = {'y', 'y'};
    EXPECT_EQ(speciesByPid(0, PidMars), -1);  // the ions have no MARS id
    EXPECT_EQ(speciesByPid(211, 7), -1);
    EXPECT_NE(messages.output.find("[WARNING] Unrecognised MARS PID 0"), std::string::npos);
    EXPECT_NE(messages.output.find("[WARNING] Unrecognised invalid type PID 211"),
              std::string::npos);
}

TEST(Species, RestEnergiesMassesAndKineticEnergy) {
    // The muon's rest energy of 105.6583568 MeV in joules, and m = E / c^2.
    EXPECT_DOUBLE_EQ(restEnergy(MuPlus), 105.6583568e6 * 1.602176462e-19);
    EXPECT_DOUBLE_EQ(mass(MuPlus) * 299792458.0 * 299792458.0, restEnergy(MuPlus));
    EXPECT_EQ(mass(NuMu), 0);
    EXPECT_LT(charge(PiMinus), 0);
    EXPECT_EQ(charge(PiZero), 0);
    EXPECT_DOUBLE_EQ(charge(Sodium11), 11 * 1.602176462e-19);

    // gamma = 2 at |u| = sqrt(3) c: the kinetic energy equals the rest energy.
    Particle p;
    p.species = Proton;
    p.u = {0, 0, std::sqrt(3.0) * 299792458.0};
    EXPECT_NEAR(kineticEnergy(p) / restEnergy(Proton), 1.0, 1e-14);
}

TEST(Species, ChannelsAreResolvedInDeclarationOrder) {
    speciesInit();
    speciesInit();  // a second call must not add the channels again
    const SpeciesRecord& kaon = speciesRecord(KPlus);
    ASSERT_EQ(kaon.channels.size(), 6u);
    EXPECT_EQ(kaon.channels.back().products, (std::vector<int32_t>{PiPlus, PiPlus, PiMinus}));
    const SpeciesRecord& pi0 = speciesRecord(PiZero);
    ASSERT_EQ(pi0.channels.size(), 2u);
    EXPECT_TRUE(pi0.channels[0].products.empty());
    EXPECT_EQ(speciesRecord(MuMinus).channels[0].products,
              (std::vector<int32_t>{Electron, NuEBar, NuMu}));
    double sum = 0;
    for (const DecayChannel& c : kaon.channels) sum += c.ratio;
    EXPECT_NEAR(sum, 1.0, 1e-4);  // the published ratios as the table rounds them
    EXPECT_STREQ(stateName(StateWrongEnergy), "WrongEnergy");
    EXPECT_STREQ(stateName(2), "");
}
