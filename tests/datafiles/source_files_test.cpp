// The particle-list readers on hand-made and malformed files, and the demo
// pion lists read back and compared with the production model they claim.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "beamline/datafiles/sourcefile_format.hpp"
#include "datafiles/demo_files.hpp"
#include "support/test_support.hpp"

namespace {

RodSourceFile rodOk(const std::string& text) {
    RodSourceFile file;
    std::string error;
    EXPECT_TRUE(parseRodSource(text, file, error)) << error;
    return file;
}

std::string rodError(const std::string& text) {
    RodSourceFile file;
    std::string error;
    EXPECT_FALSE(parseRodSource(text, file, error)) << text;
    EXPECT_TRUE(file.lines.empty());
    return error;
}

TEST(RodSourceFormat, HeaderLetterChoosesTheForm) {
    RodSourceFile nine = rodOk("kinetic\n150,0.5,0.001,-0.002,0.1,0,0.6,0.8,2e-10\n");
    ASSERT_EQ(nine.form, RodSourceForm::NineColumns);
    ASSERT_EQ(nine.lines.size(), 1u);
    const RodSourceLine& a = nine.lines[0];
    EXPECT_EQ(a.kineticMeV, 150);
    EXPECT_EQ(a.weight, 0.5);
    EXPECT_EQ(a.position.x, 0.001);
    EXPECT_EQ(a.position.y, -0.002);
    EXPECT_EQ(a.position.z, 0.1);
    EXPECT_EQ(a.direction.y, 0.6);
    EXPECT_EQ(a.direction.z, 0.8);
    EXPECT_EQ(a.time, 2e-10);

    // Eight columns: direction first, positions in centimetres, no time.
    RodSourceFile eight = rodOk("T (MeV)\n150,1,0,0.6,0.8,1,-2,3\n");
    ASSERT_EQ(eight.form, RodSourceForm::EightColumns);
    const RodSourceLine& b = eight.lines[0];
    EXPECT_EQ(b.direction.y, 0.6);
    EXPECT_DOUBLE_EQ(b.position.x, 0.01);
    EXPECT_DOUBLE_EQ(b.position.y, -0.02);
    EXPECT_DOUBLE_EQ(b.position.z, 0.03);
    EXPECT_EQ(b.time, 0);

    // Only a lower-case k announces nine columns.
    EXPECT_EQ(rodOk("Kinetic\n150,1,0,0,1,0,0,0\n").form, RodSourceForm::EightColumns);
}

TEST(RodSourceFormat, LineEndsAndBlankLines) {
    RodSourceFile f =
        rodOk("k\r\n1,1,0,0,0,0,0,1,0\r\n\r\n  \t\r\n+2,1,0,0,0,0,0,1,1e-9\r3,1,0,0,0,0,0,1,0");
    ASSERT_EQ(f.lines.size(), 3u);
    EXPECT_EQ(f.lines[1].kineticMeV, 2);
    EXPECT_EQ(f.lines[2].kineticMeV, 3);
    // An empty file, or a header alone, holds no particles.
    EXPECT_TRUE(rodOk("").lines.empty());
    EXPECT_TRUE(rodOk("k\n").lines.empty());
}

TEST(RodSourceFormat, MalformedLinesRefuseTheFile) {
    const std::string good = "1,1,0,0,0,0,0,1,0\n";
    EXPECT_NE(rodError("k\n" + good + "1,1,0,0,0,0,0,1\n").find("line 3"), std::string::npos);
    rodError("k\n1,1,0,0,0,0,0,1,0,7\n");    // one too many
    rodError("k\n1,1,0,0,0,0,0,1,abc\n");    // not a number
    rodError("k\n1,1,0,0,0,0,0,1,2x\n");     // half a number
    rodError("k\n1,1,0,0,nan,0,0,1,0\n");    // not finite
    rodError("k\n1,1,0,0,1e999,0,0,1,0\n");  // overflows
    rodError("k\n1,,0,0,0,0,0,1,0\n");       // empty field
    rodError("k\n-1,1,0,0,0,0,0,1,0\n");     // negative energy
    rodError("k\n1,-1,0,0,0,0,0,1,0\n");     // negative weight
    rodError("T\n" + good);                  // nine numbers in the eight-column form
}

TEST(RodSourceFormat, MissingFileIsAnError) {
    ScratchFolder scratch;
    RodSourceFile file;
    std::string error;
    EXPECT_FALSE(readRodSource(scratch.file("none.csv"), file, error));
    EXPECT_NE(error.find("none.csv"), std::string::npos);
    scratch.write("bad.csv", "k\n1,2\n");
    EXPECT_FALSE(readRodSource(scratch.file("bad.csv"), file, error));
    EXPECT_NE(error.find("bad.csv"), std::string::npos);
}

TEST(MarsSourceFormat, HeaderCountedButNeverRead) {
    MarsSourceFile f;
    parseMarsSource(
        "1 3 0.2 1 0 0 0 0 0 1 0\n"           // the header, even when it looks like data
        "1 3 0.2 0.5 1 2 3 0 0.6 0.8 1e-9\n"  // index 0
        "\n"                                  // blank: neither counted nor indexed
        "2 4 0.3 1 0 0 0 0 0 1\n"             // index 1: ten fields, skipped
        "3 3.0 0.3 1 0 0 0 0 0 1 0\n"         // index 2: id not an integer, skipped
        "4 4 -0.3 1 0 0 0 0 0 1 0\n"          // index 3: negative energy, skipped
        "5 4 0.3 1 0 0 0 0 0 1 0 9\n"         // index 4: twelve fields, skipped
        "6 4 0.4 1 0 0 -5 0 0 -1 2e-9\r\n",   // index 5
        f);
    EXPECT_EQ(f.countedLines, 7);
    EXPECT_EQ(f.skippedLines, 4);
    ASSERT_EQ(f.lines.size(), 2u);
    const MarsSourceLine& a = f.lines[0];
    EXPECT_EQ(a.index, 0);
    EXPECT_EQ(a.sequence, 1);
    EXPECT_EQ(a.marsId, 3);
    EXPECT_EQ(a.kineticGeV, 0.2);
    EXPECT_EQ(a.weight, 0.5);
    EXPECT_DOUBLE_EQ(a.position.x, 0.01);
    EXPECT_DOUBLE_EQ(a.position.z, 0.03);
    EXPECT_EQ(a.direction.z, 0.8);
    EXPECT_EQ(a.time, 1e-9);
    EXPECT_EQ(f.lines[1].index, 5);
    EXPECT_EQ(f.lines[1].marsId, 4);
    EXPECT_DOUBLE_EQ(f.lines[1].position.z, -0.05);

    parseMarsSource("", f);
    EXPECT_EQ(f.countedLines, 0);
    EXPECT_TRUE(f.lines.empty());
}

// ---- The demo pion lists --------------------------------------------------

// Sanford-Wang d2N/dp dOmega for p + Be at 8.89 GeV/c (HARP fit, MiniBooNE
// flux paper, Phys. Rev. D 79, 072002 (2009)); p in GeV/c.
struct SanfordWang {
    double c[9];
};
constexpr SanfordWang kPiPlus{{220.7, 1.080, 1.000, 1.978, 1.32, 5.572, 0.0868, 9.686, 1.0}};
constexpr SanfordWang kPiMinus{{213.7, 0.9379, 5.454, 1.210, 1.284, 4.781, 0.07338, 8.329, 1.0}};
constexpr double kBeamMomentum = 8.8889;  // GeV/c: 8 GeV kinetic energy
constexpr double kThetaMax = std::numbers::pi / 2;
constexpr double kPMin = 0.05, kPMax = 2.0;  // GeV/c written to the files
// Nuclear interaction length of tantalum (PDG tungsten value scaled by
// (A_Ta/A_W)^(1/3), over the density 16.654 g/cm3).
constexpr double kLambdaTa = 0.1146;
constexpr double kRodLength = 0.2, kRodRadius = 0.01;

double sanfordWang(const SanfordWang& s, double p, double theta) {
    const double* c = s.c;
    double falloff = 1 - p / (kBeamMomentum - c[8]);
    if (p <= 0 || falloff <= 0) return 0;
    double e = -c[2] * std::pow(p, c[3]) / std::pow(kBeamMomentum, c[4]) -
               c[5] * theta * (p - c[6] * kBeamMomentum * std::pow(std::cos(theta), c[7]));
    return c[0] * std::pow(p, c[1]) * falloff * std::exp(e);
}

double spectrum(const SanfordWang& s, double p) {
    const int steps = 200;
    double sum = 0, h = kThetaMax / steps;
    for (int k = 0; k < steps; k++) {
        double theta = (k + 0.5) * h;
        sum += sanfordWang(s, p, theta) * std::sin(theta);
    }
    return sum * 2 * std::numbers::pi * h;
}

double pionMomentumGeV(double kineticMeV) {
    return std::sqrt(kineticMeV * (kineticMeV + 2 * kPionMassMeV)) / 1000;
}

// The shift of the model spectrum (GeV/c) that fits the momenta best, and
// the chi-square per bin at that shift; bins of 50 MeV/c over the file range.
struct SpectrumFit {
    double shift;
    double chi2PerBin;
};

SpectrumFit fitSpectrum(const SanfordWang& s, const std::vector<double>& momenta) {
    const double width = 0.05;
    const int bins = static_cast<int>((kPMax - kPMin) / width + 0.5);
    std::vector<double> counts(bins, 0);
    for (double p : momenta) {
        int k = static_cast<int>((p - kPMin) / width);
        if (k >= 0 && k < bins) counts[k]++;
    }
    SpectrumFit best{0, 1e300};
    for (int step = -20; step <= 20; step++) {
        double shift = 0.005 * step;
        std::vector<double> model(bins, 0);
        double total = 0;
        for (int k = 0; k < bins; k++) {
            for (int q = 0; q < 5; q++) {
                double p = kPMin + width * (k + (q + 0.5) / 5) - shift;
                model[k] += spectrum(s, std::max(p, 1e-6));
            }
            total += model[k];
        }
        double chi2 = 0;
        for (int k = 0; k < bins; k++) {
            double expected = model[k] / total * static_cast<double>(momenta.size());
            if (expected > 0) chi2 += (counts[k] - expected) * (counts[k] - expected) / expected;
        }
        if (chi2 < best.chi2PerBin) best = {shift, chi2};
    }
    best.chi2PerBin /= bins;
    return best;
}

void expectInsideRod(const Vec3& p) {
    EXPECT_LT(p.x * p.x + p.y * p.y, kRodRadius * kRodRadius);
    EXPECT_GE(p.z, 0);
    EXPECT_LE(p.z, kRodLength);
}

// Mean production depth for an exponential of
// length lambda cut off at the rod length.
double meanDepth() {
    double e = std::exp(-kRodLength / kLambdaTa);
    return kLambdaTa - kRodLength * e / (1 - e);
}

void checkRodFile(const std::string& name, RodSourceForm form, const SanfordWang& model) {
    SCOPED_TRACE(name);
    RodSourceFile file;
    std::string error;
    ASSERT_TRUE(readRodSource(demoDataFile(name), file, error)) << error;
    EXPECT_EQ(file.form, form);
    ASSERT_GE(file.lines.size(), 2000u);
    ASSERT_LE(file.lines.size(), 10000u);

    const double protonBeta = kBeamMomentum / std::hypot(kBeamMomentum, 0.938272029);
    std::vector<double> momenta;
    double depthSum = 0;
    int forward = 0;
    for (const RodSourceLine& line : file.lines) {
        EXPECT_EQ(line.weight, 1);
        EXPECT_NEAR(norm(line.direction), 1, 2e-6);
        EXPECT_GE(line.direction.z, -1e-6);  // forward hemisphere
        expectInsideRod(line.position);
        if (form == RodSourceForm::NineColumns) {
            // The pion starts when the proton reaches the interaction point.
            EXPECT_NEAR(line.time, line.position.z / (protonBeta * 299792458.0), 1e-14);
        }
        double p = pionMomentumGeV(line.kineticMeV);
        EXPECT_GE(p, kPMin - 1e-4);
        EXPECT_LE(p, kPMax + 1e-4);
        momenta.push_back(p);
        depthSum += line.position.z;
        if (line.direction.z > std::cos(0.3)) forward++;
    }
    const double n = static_cast<double>(file.lines.size());

    // The spectrum peaks where the parametrisation puts it: the best shift of
    // the model is within the statistics of a few thousand pions, and the
    // shape agrees.
    SpectrumFit fit = fitSpectrum(model, momenta);
    EXPECT_LE(std::fabs(fit.shift), 0.04) << "model shifted by " << fit.shift << " GeV/c";
    EXPECT_LT(fit.chi2PerBin, 1.8);
    double peak = kPMin;
    for (double p = kPMin; p < kPMax; p += 0.005) {
        if (spectrum(model, p) > spectrum(model, peak)) peak = p;
    }
    std::printf(
        "%s: %zu pions, model peak %.3f GeV/c, best shift of the model %+.3f GeV/c, "
        "chi2 per bin %.2f, mean depth %.4f m (model %.4f m)\n",
        name.c_str(), file.lines.size(), peak, fit.shift, fit.chi2PerBin, depthSum / n,
        meanDepth());

    // Production depths follow the attenuation of the protons.
    double depthSpread = std::sqrt(kLambdaTa * kLambdaTa / n);  // at most the exponential's
    EXPECT_NEAR(depthSum / n, meanDepth(), 4 * depthSpread);

    // Share of pions within 0.3 rad of the beam, against the model.
    double inside = 0, all = 0;
    for (int i = 0; i < 200; i++) {
        double p = kPMin + (kPMax - kPMin) * (i + 0.5) / 200;
        for (int k = 0; k < 300; k++) {
            double theta = kThetaMax * (k + 0.5) / 300;
            double w = sanfordWang(model, p, theta) * std::sin(theta);
            all += w;
            if (theta < 0.3) inside += w;
        }
    }
    double share = inside / all;
    EXPECT_NEAR(forward / n, share, 4 * std::sqrt(share * (1 - share) / n));
}

double totalYield(const SanfordWang& s) {
    double sum = 0;
    for (int i = 0; i < 200; i++) sum += spectrum(s, kPMin + (kPMax - kPMin) * (i + 0.5) / 200);
    return sum;
}

TEST(DemoSources, RodListsFollowTheProductionModel) {
    checkRodFile("rod_piplus.csv", RodSourceForm::NineColumns, kPiPlus);
    checkRodFile("rod_piminus.csv", RodSourceForm::NineColumns, kPiMinus);
    checkRodFile("rod_piplus_cm.csv", RodSourceForm::EightColumns, kPiPlus);
}

TEST(DemoSources, MarsListHoldsBothPionsInTheirRatio) {
    MarsSourceFile file;
    std::string error;
    ASSERT_TRUE(readMarsSource(demoDataFile("ta_target_mars.txt"), file, error)) << error;
    EXPECT_EQ(file.skippedLines, 0);
    ASSERT_GE(file.lines.size(), 2000u);
    EXPECT_EQ(file.countedLines, static_cast<int32_t>(file.lines.size()) + 1);
    std::vector<double> plus, minus;
    for (size_t i = 0; i < file.lines.size(); i++) {
        const MarsSourceLine& line = file.lines[i];
        EXPECT_EQ(line.index, static_cast<int32_t>(i));
        EXPECT_EQ(line.sequence, static_cast<int32_t>(i + 1));
        ASSERT_TRUE(line.marsId == 3 || line.marsId == 4) << line.marsId;  // pi+, pi-
        EXPECT_EQ(line.weight, 1);
        EXPECT_NEAR(norm(line.direction), 1, 2e-6);
        expectInsideRod(line.position);
        double p = pionMomentumGeV(1000 * line.kineticGeV);
        (line.marsId == 3 ? plus : minus).push_back(p);
    }
    double n = static_cast<double>(file.lines.size());
    double share = totalYield(kPiPlus) / (totalYield(kPiPlus) + totalYield(kPiMinus));
    EXPECT_NEAR(plus.size() / n, share, 4 * std::sqrt(share * (1 - share) / n));
    EXPECT_LE(std::fabs(fitSpectrum(kPiPlus, plus).shift), 0.05);
    EXPECT_LE(std::fabs(fitSpectrum(kPiMinus, minus).shift), 0.05);
}

}  // namespace
