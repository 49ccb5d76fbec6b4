// Parsing and running Vesk: a lattice-sized text as the interpreter runs it,
// and synthetic texts of growing length mixing plain text and code stretches
// (the parse must stay linear in the length of the text).
#include <benchmark/benchmark.h>

#include <string>

#include "lattice/vesk.hpp"

namespace {

std::unique_ptr<Vesk> latticeEnvironment(std::string& sink) {
    std::unique_ptr<Vesk> env = Vesk_new();
    Vesk_setdelimiters(*env, "#", "#", VESK_START_IN_TEXT | VESK_NEWLINE_RESETS);
    Vesk_setcallback(*env, [&sink](std::string_view text) {
        sink.append(text);
        return 0;
    });
    // What the interpreter sets from the parameter lines L=[...] and B=[...].
    Vesk_setvariable(*env, "L", Value_number(1.2));
    Vesk_setvariable(*env, "B", Value_number(2));
    return env;
}

// Shaped like the lattices of the project: type declarations, parameters,
// elements whose values come from code, loops that write repeated cells.
std::string typicalLattice() {
    std::string text =
        "!MINVER 4.0\n"
        "{Drift(D) Length(m)}\n"
        "{Solenoid(S) Radius(m) Field(T) Length(m)}\n"
        "{Cavity(RF) Length(m) Frequency(MHz) Gradient(MV/m) Phase(\xB0)}\n"
        "{Aperture(A) Radius(m)}\n"
        "L=[0.1 2]\n"
        "B=[0.5 5]\n"
        "#n = 12; r0 = 0.3; taper = 0.97;#\n"
        "// capture section\n";
    for (int i = 1; i <= 30; i++) {
        std::string k = std::to_string(i);
        text += "D" + k + " #L*" + k + "/30#\n";
        text += "S" + k + " #r0*1.1# [0.5 " + k + "] #1 + 0.1*" + k + "#\n";
        text += "#if (" + k + " % 3 == 0) {#A" + k + " #r0/2#\n#}#\n";
    }
    text +=
        "#for (i = 0; i < n; i++) {#\n"
        "RF#i# 0.5 201.25 #10 + i#MV/m #(i % 2) * 30#\n"
        "#r0 *= taper; }#\n"
        "CELL:D1,S1,D2,S2,D3,S3;\n"
        "#k = 0; while (k < 4) {#CELL,#k++; }#\n"
        "LINE:#for (j = 1; j <= 30; j++) {#D#j#,S#j#,#}#RF0;\n"
        "LINE\n";
    return text;
}

// `lines` lines: plain element lines, lines with inline expressions,
// assignments, and a loop every 50 lines.
std::string syntheticText(int lines) {
    std::string text;
    for (int i = 0; i < lines; i++) {
        std::string k = std::to_string(i);
        switch (i % 5) {
            case 0:
                text += "D" + k + " 0.25 plain text line, with words\n";
                break;
            case 1:
                text += "Q" + k + " #a" + k + " = " + k + " * 0.5 + 1;# 1.5T 20cm\n";
                break;
            case 2:
                text += "S" + k + " #2*a" + std::to_string(i - 1) + " - 3# #x# 1\n";
                break;
            case 3:
                text += "#x = (x + 1) % 7; y[" + std::to_string(i % 9) + "] = x;#\n";
                break;
            default:
                if (i % 50 == 4) {
                    text += "#for (j = 0; j < 3; j++) {#R" + k + " #j*2#,#}#\n";
                } else {
                    text += "#if (x > 3) {#B" + k + " 1 #} else {#B" + k + " 2#}#\n";
                }
        }
    }
    return text;
}

void BM_VeskNew(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<Vesk> env = Vesk_new();
        benchmark::DoNotOptimize(env.get());
    }
}
BENCHMARK(BM_VeskNew);

// What the interpreter does with one lattice file: a fresh environment, one
// run over the whole text.
void runEachIteration(benchmark::State& state, const std::string& text) {
    std::string sink;
    for (auto _ : state) {
        sink.clear();
        std::unique_ptr<Vesk> env = latticeEnvironment(sink);
        Vesk_run(*env, text);
        benchmark::DoNotOptimize(sink.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_VeskTypicalLattice(benchmark::State& state) {
    std::string text = typicalLattice();
    runEachIteration(state, text);
    state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_VeskTypicalLattice)->Unit(benchmark::kMicrosecond);

void BM_VeskSynthetic(benchmark::State& state) {
    runEachIteration(state, syntheticText(static_cast<int>(state.range(0))));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_VeskSynthetic)
    ->RangeMultiplier(2)
    ->Range(1250, 20000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// Parse alone, to tell the reduction loop from the run.
void BM_VeskParseSynthetic(benchmark::State& state) {
    std::string text = syntheticText(static_cast<int>(state.range(0)));
    std::string sink;
    std::unique_ptr<Vesk> env = latticeEnvironment(sink);
    for (auto _ : state) {
        std::unique_ptr<VeskNode> root = Vesk_parse(*env, text);
        benchmark::DoNotOptimize(root.get());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_VeskParseSynthetic)
    ->RangeMultiplier(2)
    ->Range(1250, 20000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
