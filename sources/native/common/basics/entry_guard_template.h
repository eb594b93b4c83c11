// The guard around an entry point that IIS calls: IIS must never see an exception. Each
// connector gives the entry point's two texts and where they go (the adapter writes to the
// debugger output, the in-process connector to its native log). Any thread.
#ifndef BREVANT_COMMON_ENTRY_GUARD_TEMPLATE_H
#define BREVANT_COMMON_ENTRY_GUARD_TEMPLATE_H

#include <exception>

namespace brevant {

struct CaughtMessages {
    const char* exception;  // followed by the exception's own text
    const char* unknown;    // for anything thrown that is no std::exception
};

// Answers body(), or `failed` when it throws; what it threw is reported through
// report(text). A report that throws in turn is given up: it must not reach IIS either.
template <typename Result, typename Report, typename Body>
Result guardEntryPoint(Result failed, const CaughtMessages& messages, Report report,
                       Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        try {
            report(messages.exception);
            report(e.what());
        } catch (...) {
        }
    } catch (...) {
        try {
            report(messages.unknown);
        } catch (...) {
        }
    }
    return failed;
}

}  // namespace brevant

#endif  // BREVANT_COMMON_ENTRY_GUARD_TEMPLATE_H
