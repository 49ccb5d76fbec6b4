// The beam's scales: the bulk of a set of values, the phase-space plots'
// windows when a few particles stray far from the rest, and the legend's
// entries for the particles no longer tracked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/beam_view.hpp"
#include "display/bulk.hpp"
#include "display_fixture.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// `count` copies of the beam's first active particle, placed far upstream
// flying backwards, or beside the channel outside its bore, flying nearly
// across it.
void addStrays(std::vector<DisplayParticle>& beam, int count) {
    DisplayParticle model = beam.front();
    for (int i = 0; i < count; i++) {
        DisplayParticle p = model;
        if (i % 2 == 0) {
            p.position = {0.1 * (i % 20), 0, -25.0 - 0.01 * i};
            p.u = model.u * -1.0;
        } else {
            p.position = {1.0 + 0.01 * i, -0.5, model.position.z};
            p.u = {norm(model.u), 0, 1e-3 * norm(model.u)};
        }
        beam.insert(beam.begin(), p);
    }
}

}  // namespace

TEST(Bulk, CentralShareOfTheValues) {
    struct Case {
        const char* what;
        std::vector<double> values;
        double share;
        bool valid;
        double lo, hi;
    };
    std::vector<double> hundred;
    for (int i = 0; i < 100; i++) hundred.push_back(i);
    std::vector<double> withStray = hundred;
    withStray.back() = 1e9;
    std::reverse(withStray.begin(), withStray.end());
    const std::vector<Case> cases = {
        {"nothing", {}, 0.98, false, 0, 0},
        {"only NaN", {kNaN, kNaN}, 0.98, false, 0, 0},
        {"one value", {3.5}, 0.98, true, 3.5, 3.5},
        {"few values keep their extremes", {5, -2, 9, 1}, 0.98, true, -2, 9},
        {"0..99: one from each end goes", hundred, 0.98, true, 1, 98},
        {"a stray far out is left out", withStray, 0.98, true, 1, 98},
        {"share 0 is the median", {7, 1, 3, 100, 2}, 0.0, true, 3, 3},
        {"NaN and infinities are skipped",
         {kNaN, 4, std::numeric_limits<double>::infinity(), 2, 3},
         1.0,
         true,
         2,
         4},
    };
    for (Case c : cases) {
        BulkSpan span = bulkSpan(c.values, c.share);
        EXPECT_EQ(span.valid, c.valid) << c.what;
        if (!c.valid) continue;
        EXPECT_EQ(span.lo, c.lo) << c.what;
        EXPECT_EQ(span.hi, c.hi) << c.what;
    }
}

TEST(PhaseSpace, StraysDoNotChangeThePlots) {
    CellPtr root = placedDemoLattice("decay_channel", 500);
    ASSERT_TRUE(root);
    ViewSettings view;
    std::vector<DisplayParticle> beam = beamAlong(*root, 2.0, 3000, 400);
    std::array<PlotWindow, 3> clean = phaseSpaceWindows(frameOf(*root, beam, 3e-9), view);
    // Under half a percent of the 2600 active particles, then as many as a
    // target sends out of the channel: a third of them.
    for (int count : {12, 800}) {
        std::vector<DisplayParticle> withStrays = beam;
        addStrays(withStrays, count);
        std::array<PlotWindow, 3> strays =
            phaseSpaceWindows(frameOf(*root, withStrays, 3e-9), view);
        const char* names[3] = {"x-x'", "y-y'", "E-t"};
        for (int k = 0; k < 3; k++) {
            ASSERT_GT(clean[k].points, 1000) << names[k] << " with " << count;
            // The beam is 12 cm wide, 0.1 rad wide in angle, 1 m (3 ns) long and
            // 40 to 300 MeV: windows within a fifth of the clean ones, where the
            // strays are metres away and a thousand times wider in angle.
            EXPECT_NEAR(strays[k].halfA, clean[k].halfA, 0.2 * clean[k].halfA)
                << names[k] << " with " << count;
            EXPECT_NEAR(strays[k].halfB, clean[k].halfB, 0.2 * clean[k].halfB)
                << names[k] << " with " << count;
            EXPECT_NEAR(strays[k].centreA, clean[k].centreA, 0.2 * clean[k].halfA)
                << names[k] << " with " << count;
            EXPECT_NEAR(strays[k].centreB, clean[k].centreB, 0.2 * clean[k].halfB)
                << names[k] << " with " << count;
        }
    }
}

TEST(Legend, LostParticlesHaveAnEntryWhenTheyAreShown) {
    CellPtr root = placedDemoLattice("decay_channel", 500);
    ASSERT_TRUE(root);
    std::vector<DisplayParticle> beam = beamAlong(*root, 2.0, 500, 100);
    DisplayFrame frame = frameOf(*root, beam, 3e-9);
    auto entryFor = [](const std::vector<LegendItem>& items, const std::string& word) {
        return std::find_if(items.begin(), items.end(), [&](const LegendItem& item) {
            return item.text.find(word) != std::string::npos;
        });
    };
    // F4 cycles the lost-particle display: hidden, grey, dimmed colours.
    for (int lost = 0; lost < 3; lost++) {
        for (int colours = 0; colours < 3; colours++) {
            ViewSettings view;
            setShowField(view.showMask, kLostShift, lost);
            setShowField(view.showMask, kColourShift, colours);
            std::vector<LegendItem> items = legendItems(frame, view);
            auto entry = entryFor(items, "lost");
            EXPECT_EQ(entry != items.end(), lost > 0) << lost << " " << colours;
            if (lost == 1 && entry != items.end()) {
                // The grey the particles are drawn in, and the green of those
                // that reached the end.
                EXPECT_EQ(entry->colour, kLostColour);
                auto finished = entryFor(items, "end");
                ASSERT_NE(finished, items.end());
                EXPECT_EQ(finished->colour, kFinishedColour);
            }
            // The beamline's entries are always there.
            EXPECT_NE(entryFor(items, "solenoid"), items.end());
        }
    }
}
