// One micro-benchmark case: a request the connectors serve, on fake control blocks. The
// table of all cases is in case_table.cpp; connector_bench.cpp times them with Google
// Benchmark and runs them for the instruction counts.
//
// Single-threaded: a case's state is process-wide, and only one case runs at a time.
#ifndef BENCH_MICRO_BENCH_CASE_H
#define BENCH_MICRO_BENCH_CASE_H

#include <span>
#include <string_view>

namespace bench {

struct BenchCase {
    const char* name;    // short and stable: reports quote it
    void (*setup)();     // before the first iteration; cases sharing state each run it
    void (*prepare)();   // before every iteration, outside the measured region; or null
    void (*iterate)();   // one request
    bool (*check)();     // after an iteration: it served the request as the name says
    void (*teardown)();  // after the last iteration; or null
    // It starts a VM: its instruction counts vary by a few per cent between runs, with when
    // HotSpot's compilers finish.
    bool startsVm = false;
};

std::span<const BenchCase> benchCases();

// The case named `name`, or null.
const BenchCase* findCase(std::string_view name);

}  // namespace bench

#endif  // BENCH_MICRO_BENCH_CASE_H
