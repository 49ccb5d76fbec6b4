#include "model/units.hpp"

#include <gtest/gtest.h>

#include <optional>

#include <cmath>

#include "support/test_support.hpp"

namespace {

constexpr double kDegree = 0.017453292519943295;
constexpr double kElectronVolt = 1.602176462e-19;

TEST(Units, ValueWithUnitStopsAtComma) {
    MessageRecorder messages;
    size_t end = 0;
    EXPECT_DOUBLE_EQ(unitvalue("20cm,30cm", &end), 0.2);
    EXPECT_EQ(end, 4u);
    EXPECT_EQ(messages.output, "");
}

TEST(Units, DefaultUnitOnlyWithoutOwnUnit) {
    MessageRecorder messages;
    size_t end = 0;
    EXPECT_DOUBLE_EQ(unitvalue("3", &end, "mm"), 0.003);
    EXPECT_EQ(end, 1u);
    EXPECT_DOUBLE_EQ(unitvalue("3", &end), 3);
    EXPECT_DOUBLE_EQ(unitvalue("2T", &end, "Gauss"), 2);
    EXPECT_DOUBLE_EQ(unitvalue("1.5", &end, "kGauss"), 0.15);
}

TEST(Units, NumberForms) {
    MessageRecorder messages;
    size_t end = 0;
    EXPECT_DOUBLE_EQ(unitvalue("  -2.5e3mm]", &end), -2.5);
    EXPECT_EQ(end, 10u);
    EXPECT_DOUBLE_EQ(unitvalue(".5m", &end), 0.5);
    EXPECT_DOUBLE_EQ(unitvalue("200MeV", &end), 200 * 1e6 * kElectronVolt);
    // A space ends the unit: 5 cm is 5 with no unit.
    EXPECT_DOUBLE_EQ(unitvalue("5 cm", &end), 5);
    EXPECT_EQ(end, 1u);
    // No number: 0, and the unit starts at the beginning.
    EXPECT_DOUBLE_EQ(unitvalue("cm", &end), 0);
    EXPECT_EQ(end, 2u);
    EXPECT_EQ(messages.output, "");
}

TEST(Units, DegreeAndPerMilleBytes) {
    MessageRecorder messages;
    size_t end = 0;
    EXPECT_DOUBLE_EQ(unitvalue("90\xB0", &end), 90 * kDegree);
    EXPECT_EQ(end, 3u);
    EXPECT_DOUBLE_EQ(unitvalue("5\x89", &end), 0.005);
    EXPECT_DOUBLE_EQ(unitvalue("12%", &end), 0.12);
    // The same signs in a file saved as UTF-8.
    EXPECT_DOUBLE_EQ(unitvalue("90\xC2\xB0", &end), 90 * kDegree);
    EXPECT_EQ(end, 4u);
    EXPECT_DOUBLE_EQ(unitvalue("5\xE2\x80\xB0", &end), 0.005);
    EXPECT_EQ(messages.output, "");
}

TEST(Units, TableNamesAndCase) {
    MessageRecorder messages;
    EXPECT_EQ(unit("c"), 299792458);
    EXPECT_EQ(unit("C"), 1);
    EXPECT_EQ(unitlookup("M"), 1);  // metre: only one name matches ignoring case
    EXPECT_EQ(unitlookup("KG"), 1);
    EXPECT_EQ(unitlookup("gauss"), 1e-4);
    EXPECT_EQ(unitlookup("G"), 0.001);
    EXPECT_EQ(unitlookup("deg"), 0);
    EXPECT_EQ(unitlookup("m_p"), 1.67262158e-27);
    EXPECT_EQ(unit("kg"), 1);  // a table entry, not kilo times gram
    EXPECT_EQ(messages.output, "");
}

TEST(Units, Prefixes) {
    EXPECT_EQ(unitprefix('.'), 0);
    EXPECT_EQ(unitprefix('x'), 0);
    EXPECT_EQ(unitprefix('k'), 1e3);
    EXPECT_EQ(unitprefix('K'), 1e3);
    EXPECT_EQ(unitprefix('C'), 1e-2);
    EXPECT_EQ(unitprefix('g'), 1e9);
    EXPECT_EQ(unitprefix('e'), 1e18);
    EXPECT_EQ(unitprefix('a'), 1e-18);
    EXPECT_EQ(unitprefix('u'), 1e-6);
    // Told apart by case.
    EXPECT_EQ(unitprefix('p'), 1e-12);
    EXPECT_EQ(unitprefix('P'), 1e15);
    EXPECT_EQ(unitprefix('m'), 1e-3);
    EXPECT_EQ(unitprefix('M'), 1e6);
    EXPECT_EQ(unitprefix('d'), 1e-1);
    EXPECT_EQ(unitprefix('D'), 1e1);
}

TEST(Units, PrefixedAndCompoundUnits) {
    MessageRecorder messages;
    EXPECT_EQ(unit("Mm"), 1e6);
    EXPECT_EQ(unit("mm"), 0.001);
    EXPECT_EQ(unit("Km"), 1000);
    EXPECT_DOUBLE_EQ(unit("MeV"), 1.602176462e-13);
    EXPECT_DOUBLE_EQ(unit("kGauss"), 0.1);
    EXPECT_EQ(unit("mrad"), 1e-3);
    EXPECT_EQ(unit("MHz"), 1e6);
    EXPECT_DOUBLE_EQ(unit("mg"), 1e-6);
    EXPECT_EQ(unit("m/s"), 1);
    // a/b/c is a/(b/c).
    EXPECT_DOUBLE_EQ(unit("m/s/ms"), 0.001);
    EXPECT_EQ(messages.output, "");
}

TEST(Units, UnknownUnitsWarn) {
    MessageRecorder messages;
    messages.keys = {'y', 'y', 'y'};
    // A known unit behind a byte that is no prefix is silently 0.
    EXPECT_EQ(unit("xm"), 0);
    EXPECT_EQ(messages.output, "");

    EXPECT_EQ(unit("xyz"), 1);
    EXPECT_NE(messages.output.find("[WARNING] Unknown unit 'xyz', assuming unity"),
              std::string::npos);

    messages.output.clear();
    EXPECT_EQ(unit("deg"), 1);
    EXPECT_NE(messages.output.find("Unknown unit 'deg'"), std::string::npos);

    messages.output.clear();
    EXPECT_TRUE(std::isinf(unit("m/")));
    EXPECT_NE(
        messages.output.find("[WARNING] Called unit(\"\") with empty string, returning zero!"),
        std::string::npos);
}

// Command-line values: a number with a known unit, or nothing at all.
TEST(Units, StrictValuesTakeKnownUnitsOrNothing) {
    MessageRecorder messages;
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"5ns", 5e-9},
        {"2T", 2},
        {"10cm", 0.1},
        {"0.5", 0.5},
        {"-3e-2", -3e-2},
        {"200MeV", 200e6 * 1.602176462e-19},
        {"3m/s", 3},
        {"5xs", std::nullopt},  // no such prefix
        {"15cn", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"5ns ", std::nullopt},
        {"5 ns", std::nullopt},
        {"1,5", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<double> got = unitvalueStrict(c.text);
        ASSERT_EQ(got.has_value(), c.value.has_value());
        if (got) {
            EXPECT_NEAR(*got, *c.value, 1e-12 * std::fabs(*c.value));
        }
    }
    EXPECT_EQ(messages.output, "");  // a refusal is the caller's to report
}

TEST(Units, WarningRefusedEndsTheProcess) {
    MessageRecorder messages;
    messages.keys = {'n'};
    try {
        unit("furlong");
        FAIL() << "a refused warning must end the process";
    } catch (const ProcessExit& exit) {
        EXPECT_EQ(exit.status, kExitRefused);
    }
}

}  // namespace
