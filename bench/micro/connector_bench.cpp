// connector_bench: the connectors' per-request native path, case by case (case_table.cpp).
//
//   connector_bench [Google Benchmark flags]   times every case
//   connector_bench --list-cases               the case names, one a line
//   connector_bench --list-vm-cases            those of them that start a VM
//   connector_bench --instructions CASE N      CASE's setup and one iteration, then N
//                                              iterations inside brevant_bench_measure, for
//                                              callgrind's --toggle-collect (count_instructions.sh)
//
// The Win32 stand-in's registry and debugger output are files of the run's own, so that the
// bench neither reads nor changes a developer's. A case that writes to the debugger output
// while it is measured is reported on stderr: per-request messages would distort the counts.
#include <stdlib.h>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "bench_case.h"
#include "test_paths.h"

using bench::BenchCase;

// The region callgrind counts is brevant_bench_measure less brevant_bench_unmeasured, the
// preparation before an iteration. Collection flips at each entry and exit of either, so
// neither may be called from anywhere else.
extern "C" __attribute__((noinline, noclone)) void brevant_bench_unmeasured(const BenchCase* c) {
    c->prepare();
}

extern "C" __attribute__((noinline, noclone)) void brevant_bench_measure(const BenchCase* c,
                                                                         long iterations) {
    for (long i = 0; i < iterations; ++i) {
        if (c->prepare != nullptr) {
            brevant_bench_unmeasured(c);
        }
        c->iterate();
    }
}

namespace {

std::set<const BenchCase*> casesSetUp;

std::set<const BenchCase*> casesFailed;

// Sets the case up and serves one request outside the measurements, which leaves first-time
// costs (allocations, lazy binding) out of them. False when the case does not serve its
// request as it should: its numbers would mean nothing.
bool ensureSetUp(const BenchCase& c) {
    if (!casesSetUp.insert(&c).second) {
        return casesFailed.count(&c) == 0;
    }
    c.setup();
    if (c.prepare != nullptr) {
        c.prepare();
    }
    c.iterate();
    if (c.check()) {
        return true;
    }
    std::fprintf(stderr, "connector_bench: %s does not serve its request as it should\n", c.name);
    casesFailed.insert(&c);
    return false;
}

void tearDownAll() {
    for (const BenchCase* c : casesSetUp) {
        if (c->teardown != nullptr) {
            c->teardown();
        }
    }
    casesSetUp.clear();
}

uintmax_t debugOutputSize() {
    const char* path = std::getenv("STANDIN_DEBUG_OUTPUT");
    std::error_code error;
    uintmax_t size = path == nullptr ? 0 : std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

void warnIfLogged(const BenchCase& c, uintmax_t sizeBefore) {
    if (debugOutputSize() != sizeBefore) {
        std::fprintf(stderr, "connector_bench: %s wrote to the debugger output while measured\n",
                     c.name);
    }
}

void runTimed(const BenchCase& c, benchmark::State& state) {
    if (!ensureSetUp(c)) {
        state.SkipWithError("does not serve its request as it should");
        return;
    }
    uintmax_t logged = debugOutputSize();
    for (auto _ : state) {
        if (c.prepare != nullptr) {
            state.PauseTiming();
            c.prepare();
            state.ResumeTiming();
        }
        c.iterate();
    }
    warnIfLogged(c, logged);
}

// The environment's size moves the stack, and with it the alignment of the connectors' stack
// buffers, which changes the paths the string functions take: the counted iterations always
// run at the same offset within a page.
void measureAtFixedStackOffset(const BenchCase* c, long iterations) {
    constexpr uintptr_t kPageSize = 4096;
    uintptr_t offset = reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) % kPageSize;
    void* padding = __builtin_alloca(offset + kPageSize);
    benchmark::DoNotOptimize(padding);
    brevant_bench_measure(c, iterations);
}

int countInstructions(const char* name, const char* count) {
    const BenchCase* c = bench::findCase(name);
    char* end = nullptr;
    long iterations = std::strtol(count, &end, 10);
    if (c == nullptr || *end != '\0' || iterations <= 0) {
        std::fprintf(stderr,
                     "connector_bench: --instructions needs a case of --list-cases and "
                     "a count above 0\n");
        return 2;
    }
    if (!ensureSetUp(*c)) {
        return 1;
    }
    uintmax_t logged = debugOutputSize();
    measureAtFixedStackOffset(c, iterations);
    warnIfLogged(*c, logged);
    return 0;
}

int timeAll(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    for (const BenchCase& c : bench::benchCases()) {
        benchmark::RegisterBenchmark(c.name, [&c](benchmark::State& state) { runTimed(c, state); });
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return casesFailed.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    testsupport::ScratchDir scratch("connector-bench");
    setenv("STANDIN_REGISTRY", scratch.file("registry.reg").c_str(), 1);
    setenv("STANDIN_DEBUG_OUTPUT", scratch.file("debug-output.txt").c_str(), 1);

    int result = 0;
    bool listVmCases = argc == 2 && std::strcmp(argv[1], "--list-vm-cases") == 0;
    if (listVmCases || (argc == 2 && std::strcmp(argv[1], "--list-cases") == 0)) {
        for (const BenchCase& c : bench::benchCases()) {
            if (c.startsVm || !listVmCases) {
                std::printf("%s\n", c.name);
            }
        }
    } else if (argc >= 2 && std::strcmp(argv[1], "--instructions") == 0) {
        if (argc != 4) {
            std::fprintf(stderr, "usage: connector_bench --instructions CASE N\n");
            return 2;
        }
        result = countInstructions(argv[2], argv[3]);
    } else {
        result = timeAll(argc, argv);
    }
    tearDownAll();
    return result;
}
