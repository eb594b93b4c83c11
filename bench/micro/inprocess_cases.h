// The in-process connector's cases: its filter's routing and the request text it builds
// for the engine. The engine bridge is one whose start failed (no Java installation is
// named): servlet URLs are decided before any call into Java, and the request text reads
// only the control block, so neither needs a VM.
#ifndef BENCH_MICRO_INPROCESS_CASES_H
#define BENCH_MICRO_INPROCESS_CASES_H

namespace bench {

// The process-wide engine bridge, and a filter context.
void setupInprocessFilter();
void inprocessFilterServletUrl();
bool inprocessFilterRouted();  // marked and rewritten to the extension
void teardownInprocessFilter();

// The engine bridge, and a control block of a GET with a query and a browser's headers.
void setupInprocessRequestText();
void inprocessRequestText();
bool inprocessRequestTextBuilt();  // the request line and the headers, once more
void teardownInprocessRequestText();

}  // namespace bench

#endif  // BENCH_MICRO_INPROCESS_CASES_H
