// The guard around an entry point that IIS or the JVM calls: neither must ever see an
// exception. Each connector gives the entry point's texts and where they go (the adapter
// writes to the debugger output, the in-process connector to its native log, the engine's
// natives to the debugger output). Any thread.
#ifndef BREVANT_COMMON_ENTRY_GUARD_TEMPLATE_H
#define BREVANT_COMMON_ENTRY_GUARD_TEMPLATE_H

#include <exception>
#include <utility>

namespace brevant {

struct CaughtMessages {
    const char* exception;                     // followed by the exception's own text
    const char* unknown;                       // for anything thrown that is no std::exception
    const char* afterExceptionText = nullptr;  // when set, reported after the exception's text
};

// What a guarded entry point answers when its body throws: a JNI native tells the engine
// whether it was a std::exception or anything else.
template <typename Result>
struct FailedAnswers {
    Result exception;
    Result unknown;
};

// Answers body(), or the failed answer when it throws; what it threw is reported through
// report(text). A report that throws in turn is given up: it must not reach the caller either.
template <typename Result, typename Report, typename Body>
Result guardEntryPoint(FailedAnswers<Result> failed, const CaughtMessages& messages, Report report,
                       Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        try {
            report(messages.exception);
            report(e.what());
            if (messages.afterExceptionText != nullptr) {
                report(messages.afterExceptionText);
            }
        } catch (...) {
        }
        return failed.exception;
    } catch (...) {
        try {
            report(messages.unknown);
        } catch (...) {
        }
        return failed.unknown;
    }
}

// The same, with one answer for whatever was thrown.
template <typename Result, typename Report, typename Body>
Result guardEntryPoint(Result failed, const CaughtMessages& messages, Report report,
                       Body&& body) noexcept {
    return guardEntryPoint(FailedAnswers<Result>{failed, failed}, messages, report,
                           std::forward<Body>(body));
}

}  // namespace brevant

#endif  // BREVANT_COMMON_ENTRY_GUARD_TEMPLATE_H
