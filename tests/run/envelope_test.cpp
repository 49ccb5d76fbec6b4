// The envelope recorder: what reaches each plane along the beamline, and the
// beam's sizes there, against beams whose answer is known in closed form.
#include "run/envelope.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/text.hpp"
#include "run/run.hpp"
#include "support/test_support.hpp"

namespace {

struct Launch {
    const char* species;
    double x, y;  // direction (x, y, 1)
};

// Particles leaving the line's start in the given directions with a kinetic
// energy of 200 MeV, then a drift; `settings` are simulation parameters.
std::string lattice(const std::vector<Launch>& beam, double length, const std::string& bore,
                    const std::string& settings) {
    std::string text = settings + "\n{Drift(D) Length(m) Bore(m)}\n" +
                       "{particle(P) species Energy(MeV) Vx Vy Vz}\n";
    std::string line = "LINE: ";
    for (size_t i = 0; i < beam.size(); i++) {
        text += format("P%zu '%s' 200 %.17g %.17g 1\n", i, beam[i].species, beam[i].x, beam[i].y);
        line += format("P%zu, ", i);
    }
    text += format("D1 %.17g %s\n", length, bore.c_str());
    return text + line + "D1;\nLINE\n";
}

struct Envelope : ::testing::Test {
    InFolder here;
    MessageRecorder messages{DisplayBackground};
    void SetUp() override { speciesInit(); }

    EnvelopeRecorder record(const std::string& text, double every) {
        SetupRequest request;
        request.latticeName = "envelope";
        request.latticeText = text;
        request.seed = 7;
        request.verbose = false;
        Genome genome = genomeFromText("", true);
        EnvelopeRecorder recorder;
        recorder.every = every;
        bool started = false;
        RunOutcome out = runLattice(
            request, genome, RunSettings{},
            [&](Simulation& s) {
                envelopeRecord(recorder, s);
                return true;
            },
            [&](Simulation& s) { started = envelopeStart(recorder, s); });
        EXPECT_TRUE(out.simulation.root) << messages.output;
        EXPECT_TRUE(started);
        EXPECT_TRUE(out.finished);
        return recorder;
    }
};

// In a drift every particle keeps its direction, so from a point source
// x(s) = s ux/uz exactly: the rms size grows linearly with s, and since the
// angle follows the position the emittance is zero. The planes are carried
// back from where the step left each particle, so the only error is
// rounding (tolerance 1e-9 of the size).
TEST_F(Envelope, FreeDriftGrowsTheBeamLinearlyFromAPointSource) {
    std::vector<Launch> beam;
    for (double sx : {-1.0, 1.0}) {
        for (double sy : {-1.0, 1.0}) beam.push_back({"p", 0.01 * sx, 0.02 * sy});
    }
    EnvelopeRecorder r = record(lattice(beam, 2, "0", "t_max=20ns"), 0.25);
    ASSERT_EQ(r.planes.size(), 9u);  // 0, 0.25, ..., 2
    // A 200 MeV proton: p = sqrt(T^2 + 2 T m c^2).
    const double momentum = std::sqrt(200.0 * 200.0 + 2 * 200.0 * 938.272029);
    for (const EnvelopePlane& plane : r.planes) {
        EnvelopeRow row = envelopeRow(r, plane);
        SCOPED_TRACE(plane.s);
        EXPECT_NEAR(row.transmission, 1, 1e-12);
        EXPECT_NEAR(row.bySpecies[Proton], 1, 1e-12);
        EXPECT_NEAR(row.xRms, 1e3 * 0.01 * plane.s, 1e-9 * (1 + row.xRms));
        EXPECT_NEAR(row.yRms, 1e3 * 0.02 * plane.s, 1e-9 * (1 + row.yRms));
        EXPECT_NEAR(row.enx, 0, 1e-6);
        EXPECT_NEAR(row.eny, 0, 1e-6);
        EXPECT_NEAR(row.pMean, momentum, 1e-6 * momentum);
    }
}

// What reaches a plane is what the beam had, less what was lost before it:
// the share starts at 1 and never rises, also while pions decay into muons
// (the muons' share rises as the pions' falls).
TEST_F(Envelope, TransmissionStartsAtOneAndNeverRises) {
    struct Case {
        const char* what;
        std::vector<Launch> beam;
        double length;
        const char* bore;
        const char* settings;
        double endShare;  // of the whole beam at the last plane
    };
    // Protons at 0, 5 and 20 mrad in a bore of 1 cm: the widest leaves it at
    // s = 0.5 m, so 2 of 3 reach the end.
    const Case cases[] = {
        {"losses",
         {{"p", 0, 0}, {"p", 0.005, 0}, {"p", 0.02, 0}},
         2,
         "0.01",
         "t_max=20ns",
         2.0 / 3},
        {"decays",
         {{"pi+", 0, 0}, {"pi+", 0.001, 0}, {"pi+", 0, -0.001}, {"pi+", 0.002, 0.002}},
         20,
         "0",
         "t_max=150ns\nn_decays=50",
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EnvelopeRecorder r = record(lattice(c.beam, c.length, c.bore, c.settings), 0.1);
        ASSERT_GT(r.planes.size(), 10u);
        EXPECT_NEAR(envelopeRow(r, r.planes[0]).transmission, 1, 1e-12);
        double muons = 0;
        for (size_t k = 1; k < r.planes.size(); k++) {
            EnvelopeRow before = envelopeRow(r, r.planes[k - 1]), row = envelopeRow(r, r.planes[k]);
            EXPECT_LE(row.transmission, before.transmission + 1e-12) << "at " << row.s;
            muons = row.bySpecies[MuPlus];
        }
        EnvelopeRow last = envelopeRow(r, r.planes.back());
        if (c.endShare >= 0) {
            EXPECT_NEAR(last.transmission, c.endShare, 1e-12);
            // The loss happens at the bore: 0.01 / 0.02 = 0.5 m.
            EXPECT_NEAR(envelopeRow(r, r.planes[4]).transmission, 1, 1e-12);
            EXPECT_NEAR(envelopeRow(r, r.planes[6]).transmission, c.endShare, 1e-12);
        } else {
            // Nothing is lost in a drift without a bore, but a few of the
            // muons decay in turn (about 2 % in 100 ns at gamma 2) into
            // positrons that may turn back. Of the pions' weight a good part
            // arrives as muons: gamma beta c tau is 17.3 m, so 1 - exp(-20 /
            // 17.3) = 0.69 of it, less the sampling noise of 4 x 50 decays.
            EXPECT_GT(last.transmission, 0.97);
            EXPECT_GT(muons, 0.5);
            EXPECT_GT(last.bySpecies[PiPlus], 0.15);
        }
    }
}

}  // namespace
