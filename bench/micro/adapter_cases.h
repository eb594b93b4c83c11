// The out-of-process adapter's cases: its filter's preprocessing notification, the request
// head it sends an instance, and the commands it serves from one.
#ifndef BENCH_MICRO_ADAPTER_CASES_H
#define BENCH_MICRO_ADAPTER_CASES_H

namespace bench {

// The group table with one group for "/servlet/", and a filter context.
void setupAdapterFilter();
void adapterFilterServletUrl();
void adapterFilterStaticUrl();
bool adapterFilterRouted();  // marked for group 0 and rewritten to the extension
bool adapterFilterPassed();  // left alone
void teardownAdapterFilter();

// A routed GET into a connection whose far end is drained within the iteration.
void setupAdapterHead();
void adapterHead();
bool adapterHeadSent();  // another head, read back from the far end
void teardownAdapterHead();

// A connection holding one response command, its far end closed: made before each
// iteration, served and closed by it.
void setupAdapterCommands();
void prepareAdapterCommands();
void adapterCommands();
bool adapterCommandsServed();  // the client got the response, its status logged
void teardownAdapterCommands();

}  // namespace bench

#endif  // BENCH_MICRO_ADAPTER_CASES_H
