// The in-process connector with a started VM and the reference engine: the filter's routing
// of a URL that only the engine can decide, which every static file pays in-process.
//
// One VM per process, and the failed-start bridge of inprocess_cases.h must be made before
// the registry names a Java installation: these cases come last in the table.
#ifndef BENCH_MICRO_INPROCESS_ENGINE_CASES_H
#define BENCH_MICRO_INPROCESS_ENGINE_CASES_H

namespace bench {

// An install home whose class path is the reference engine, the JDK in the registry, the
// engine bridge with the VM and the engine started, and a filter context.
void setupInprocessEngine();
void inprocessFilterStaticUrl();
bool inprocessFilterPassed();  // the engine did not claim the URL: left alone
void teardownInprocessEngine();

}  // namespace bench

#endif  // BENCH_MICRO_INPROCESS_ENGINE_CASES_H
