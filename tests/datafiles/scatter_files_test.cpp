// The scattering-table reader on made-up and malformed files, and the demo
// tables read back and checked against the physics they come from.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "beamline/datafiles/scatter_format.hpp"
#include "common/text.hpp"
#include "datafiles/demo_files.hpp"
#include "support/test_support.hpp"

namespace {

std::string record(float rate, float loss, float kick, int8_t process) {
    std::string bytes;
    for (float f : {rate, loss, kick}) {
        uint32_t bits = std::bit_cast<uint32_t>(f);
        for (int k = 0; k < 4; k++) bytes += static_cast<char>((bits >> (8 * k)) & 0xff);
    }
    bytes += static_cast<char>(process);
    return bytes;
}

TEST(ScatterFormat, RecordsAreLittleEndianFloatsAndASignedByte) {
    std::vector<ScatterRecord> records;
    std::string error;
    ASSERT_TRUE(
        parseScatterRecords(record(2.5f, -1.25f, 3, 2) + record(0, 7, 0, -2), records, error))
        << error;
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].rate, 2.5f);
    EXPECT_EQ(records[0].loss, -1.25f);
    EXPECT_EQ(records[0].kick, 3.0f);
    EXPECT_EQ(records[0].process, 2);
    EXPECT_EQ(records[1].loss, 7.0f);
    EXPECT_EQ(records[1].process, -2);
}

TEST(ScatterFormat, BadRowFilesAreRefused) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string good = record(1, 1, 1, 2);
    const std::string bad[] = {
        "",                                       // no records
        good + "x",                               // a torn record
        good.substr(0, 12),                       // less than one record
        good + record(-1, 0, 0, 2),               // negative rate
        good + record(nan, 0, 0, 2),              // rate not a number
        good + record(1, inf, 0, 2),              // infinite loss
        good + record(1, 0, nan, 2),              // kick not a number
        record(0, 1, 1, 2) + record(0, 2, 2, 1),  // no events at all
    };
    for (const std::string& bytes : bad) {
        std::vector<ScatterRecord> records;
        std::string error;
        EXPECT_FALSE(parseScatterRecords(bytes, records, error)) << bytes.size();
        EXPECT_TRUE(records.empty());
        EXPECT_FALSE(error.empty());
    }
}

TEST(ScatterFormat, CoefficientLines) {
    std::vector<ScatterCoefficients> rows;
    std::string error;
    ASSERT_TRUE(parseScatterCoefficients("40\t100\t2\t3\n\n50 90 2.5 3.5\r\n", 2, rows, error))
        << error;
    EXPECT_EQ(rows[1].momentum, 50);
    EXPECT_EQ(rows[1].meanLoss, 90);
    EXPECT_EQ(rows[1].lossVariance, 2.5);
    EXPECT_EQ(rows[1].transverseVariance, 3.5);

    const char* bad[] = {
        "40\t100\t2\t3\n",                            // a line short
        "40\t100\t2\t3\n50\t1\t1\t1\n60\t1\t1\t1\n",  // a line too many
        "40\t100\t2\n50\t1\t1\t1\n",                  // three numbers
        "50\t100\t2\t3\n50\t1\t1\t1\n",               // not ascending
        "0\t100\t2\t3\n50\t1\t1\t1\n",                // zero momentum
        "40\t100\t-2\t3\n50\t1\t1\t1\n",              // negative variance
        "40\t100\t2\t3\n50\t1\t1\tx\n",               // not a number
    };
    for (const char* text : bad) {
        EXPECT_FALSE(parseScatterCoefficients(text, 2, rows, error)) << text;
        EXPECT_TRUE(rows.empty());
    }
}

TEST(ScatterFormat, PatternsAndNames) {
    EXPECT_TRUE(isScatterPattern("ta_mu_%d.dat"));
    EXPECT_TRUE(isScatterPattern("%d"));
    EXPECT_FALSE(isScatterPattern("ta.dat"));
    EXPECT_FALSE(isScatterPattern("ta_%d_%d.dat"));
    EXPECT_FALSE(isScatterPattern("%s_%d.dat"));
    EXPECT_FALSE(isScatterPattern("ta_%d%%.dat"));
    EXPECT_EQ(scatterFileName("x_%d.dat", 12), "x_12.dat");
    EXPECT_STREQ(scatterProcessName(2), "Hard electron");
    EXPECT_STREQ(scatterProcessName(6), "Cherenkov");
    EXPECT_STREQ(scatterProcessName(-1), "None");
}

TEST(ScatterFormat, LoadsRowsUntilTheFirstGap) {
    ScratchFolder scratch;
    scratch.write("t_1.dat", record(2, 0.5f, 1, 2) + record(3, 1, 2, 1));
    scratch.write("T_2.DAT", record(4, 0.25f, 1, 2));  // found ignoring case
    scratch.write("t_4.dat", record(4, 0.25f, 1, 2));  // after a gap: not a row
    scratch.write("t_0.dat", "40\t100\t2\t3\n50\t90\t2\t3\n");
    ScatterTable table;
    std::string error;
    ASSERT_TRUE(loadScatterTable(scratch.file("t_%d.dat"), table, error)) << error;
    ASSERT_EQ(table.rows.size(), 2u);
    const ScatterRow& row = table.rows[0];
    ASSERT_EQ(row.cumulative.size(), 2u);
    EXPECT_DOUBLE_EQ(row.cumulative[0], 2);
    EXPECT_DOUBLE_EQ(row.totalRate(), 5);
    EXPECT_DOUBLE_EQ(row.eventLoss, 2 * 0.5 + 3 * 1);
    EXPECT_DOUBLE_EQ(row.totalLoss, 100 + 4);
    EXPECT_DOUBLE_EQ(table.rows[1].totalLoss, 90 + 1);
    EXPECT_EQ(table.processRecords[ScatterHardElectron], 2);
    EXPECT_EQ(table.processRecords[ScatterNuclear], 1);

    // The coefficient file must match the rows found.
    scratch.write("t_3.dat", record(1, 1, 1, 2));
    EXPECT_FALSE(loadScatterTable(scratch.file("t_%d.dat"), table, error));
    EXPECT_NE(error.find("t_0.dat"), std::string::npos) << error;
    EXPECT_TRUE(table.rows.empty());
    scratch.write("t_3.dat", "torn");
    EXPECT_FALSE(loadScatterTable(scratch.file("t_%d.dat"), table, error));
    EXPECT_NE(error.find("t_3.dat"), std::string::npos) << error;
    EXPECT_FALSE(loadScatterTable(scratch.file("none_%d.dat"), table, error));
    EXPECT_FALSE(loadScatterTable(scratch.file("t_%s.dat"), table, error));
    scratch.write("u_1.dat", record(1, 1, 1, 2));
    EXPECT_FALSE(loadScatterTable(scratch.file("u_%d.dat"), table, error));  // no file 0
}

// ---- The demo tables ----------------------------------------------------

// PDG "Atomic and nuclear properties of materials": density (g/cm3), Z/A,
// radiation length and nuclear collision and interaction lengths (g/cm2),
// and the minimum of the mean energy loss (MeV cm2/g). Tantalum is not in
// the PDG's summary table: its minimum, 1.15, is the PDG's per-element value
// as we recall it (neighbouring tungsten has 1.145; the 5 % margin dwarfs any
// doubt in the last digit), and its nuclear lengths are tungsten's scaled by
// (A_Ta/A_W)^(1/3), as the generator does.
struct Material {
    const char* name;
    double density, zOverA, x0, lambdaT, lambdaI, minimumLoss;
    double referenceThickness;  // m: where the tables evaluate Highland's log term
};
const double kTaScale = std::cbrt(180.94788 / 183.84);
const Material kMaterials[] = {
    {"lh2", 0.0708, 0.99212, 63.04, 42.8, 52.0, 4.034, 0.35},
    {"be", 1.848, 0.44384, 65.19, 55.3, 77.8, 1.595, 0.01},
    {"ta", 16.654, 73 / 180.94788, 6.82, 110.4 * kTaScale, 191.9 * kTaScale, 1.15, 0.01},
};
constexpr double kBetheK = 0.307075;  // MeV cm2/mol

// Highland's projected scattering angle (radians) for momentum p (MeV/c),
// speed beta and thickness x in radiation lengths.
double highland(double p, double beta, double x) {
    return 13.6 / (beta * p) * std::sqrt(x) * (1 + 0.038 * std::log(x / (beta * beta)));
}

TEST(DemoScatter, HighlandReference) {
    // 1 % of a radiation length at 200 MeV/c for a fast particle: 5.6 mrad.
    EXPECT_NEAR(highland(200, 1, 0.01), 5.6e-3, 0.05e-3);
}

struct Species {
    const char* name;
    double mass;
};
const Species kSpecies[] = {{"mu", kMuonMassMeV}, {"pi", kPionMassMeV}};

void checkTable(const Material& m, const Species& s) {
    std::string pattern = format("%s_%s_%%d.dat", m.name, s.name);
    SCOPED_TRACE(pattern);
    ScatterTable table;
    std::string error;
    ASSERT_TRUE(loadScatterTable(demoDataFile(pattern), table, error)) << error;
    ASSERT_GE(table.rows.size(), 20u);
    // Rows from below 50 MeV/c to beyond 2 GeV/c.
    EXPECT_LE(table.rows.front().coefficients.momentum, 50);
    EXPECT_GE(table.rows.back().coefficients.momentum, 2000);
    const bool pion = std::strcmp(s.name, "pi") == 0;
    EXPECT_GT(table.processRecords[ScatterHardElectron], 0);
    EXPECT_EQ(table.processRecords[ScatterNuclear] > 0, pion);

    const double x0 = m.x0 / m.density / 100;  // m
    double minimumLoss = 1e300;
    for (const ScatterRow& row : table.rows) {
        const double p = row.coefficients.momentum;
        const double energy = std::hypot(p, s.mass);
        const double beta = p / energy, gamma = energy / s.mass;
        const double r = kElectronMassMeV / s.mass;
        const double tMax =
            2 * kElectronMassMeV * (p / s.mass) * (p / s.mass) / (1 + 2 * gamma * r + r * r);
        EXPECT_GT(row.totalRate(), 0);

        // Ionisation: the continuous loss and the delta rays, as energy.
        double loss = beta * row.coefficients.meanLoss;  // MeV per m
        double variance = beta * beta * row.coefficients.lossVariance;
        double absorption = 0, elastic = 0;
        for (const ScatterRecord& e : row.records) {
            double after = std::hypot(p - e.loss, e.kick);
            if (e.process == ScatterHardElectron) {
                double given = energy - std::hypot(after, s.mass);
                EXPECT_GT(given, 0);
                EXPECT_LE(given, tMax * (1 + 1e-5));
                loss += e.rate * given;
                variance += e.rate * given * given;
            } else if (e.loss >= 0.99 * p) {
                absorption += e.rate;
            } else {
                // Elastic nuclear scattering turns the momentum, keeps its size.
                EXPECT_NEAR(after, p, 1e-4 * p);
                elastic += e.rate;
            }
        }
        minimumLoss = std::min(minimumLoss, loss / 100 / m.density);

        // Straggling: the whole variance is Bohr's, to within the binning of
        // the delta rays.
        double bohr = 100 * 0.5 * kBetheK * m.zOverA * m.density * tMax * (1 - beta * beta / 2) /
                      (beta * beta);
        EXPECT_NEAR(variance / bohr, 1, 0.08) << p;

        // Transverse: Highland's angle over the reference thickness.
        double theta0 = std::sqrt(row.coefficients.transverseVariance * m.referenceThickness) / p;
        EXPECT_NEAR(theta0, highland(p, beta, m.referenceThickness / x0), 0.005 * theta0) << p;

        // Pions meet nuclei at the rates of the nuclear lengths.
        if (pion) {
            EXPECT_NEAR(absorption, 100 * m.density / m.lambdaI, 1e-4 * absorption) << p;
            EXPECT_NEAR(elastic, 100 * m.density * (1 / m.lambdaT - 1 / m.lambdaI), 1e-4 * elastic)
                << p;
        }
    }
    EXPECT_NEAR(minimumLoss, m.minimumLoss, 0.05 * m.minimumLoss);
    std::printf("%s_%s: %zu rows, minimum mean dE/dx %.4f MeV cm2/g (PDG %.3f)\n", m.name, s.name,
                table.rows.size(), minimumLoss, m.minimumLoss);
}

TEST(DemoScatter, TablesFollowBetheBlochHighlandAndNuclearLengths) {
    for (const Material& m : kMaterials) {
        for (const Species& s : kSpecies) checkTable(m, s);
    }
}

}  // namespace
