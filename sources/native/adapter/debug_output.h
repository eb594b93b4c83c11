// Diagnostics of Brevant_Adapter: the Windows debugger output, one message at a time,
// formatted into a bounded buffer (512 bytes, as the adapter's diagnostics always were);
// a longer message is cut, never overrun. Text from a file, a client or an instance is
// passed as an argument, never as the format.
#ifndef BREVANT_ADAPTER_DEBUG_OUTPUT_H
#define BREVANT_ADAPTER_DEBUG_OUTPUT_H

namespace brevant::adapter {

constexpr int kDiagnosticSize = 512;

void debugOut(const char* text);
void debugOutf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_DEBUG_OUTPUT_H
