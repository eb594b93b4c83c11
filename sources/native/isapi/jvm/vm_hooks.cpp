#include "native/isapi/jvm/vm_hooks.h"

#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "native/isapi/jvm/vm_log.h"

namespace brevant::isapi {

using jvmhost::formatText;
using jvmhost::logLine;

namespace {

constexpr size_t kMessageBufferSize = 262144;

// The VM ends most lines with a line feed; the log ends every entry with CR LF itself.
std::string logEntryFor(std::string_view text) {
    if (text.size() > 1 && text.back() == '\n' && text[text.size() - 2] != '\r') {
        text.remove_suffix(1);
    }
    std::string entry = "Java VM message: ";
    entry.reserve(entry.size() + text.size() + 16);
    for (char c : text) {
        if (c == '\n') {
            entry += '\r';
        }
        entry += c;
    }
    return entry;
}

// A va_copy that ends itself on every path.
class CopiedArguments {
  public:
    explicit CopiedArguments(va_list arguments) { va_copy(copy_, arguments); }
    ~CopiedArguments() { va_end(copy_); }
    CopiedArguments(const CopiedArguments&) = delete;
    CopiedArguments& operator=(const CopiedArguments&) = delete;
    va_list& get() { return copy_; }

  private:
    va_list copy_;
};

}  // namespace

jint JNICALL vmMessage(FILE*, const char* format, va_list arguments) {
    try {
        if (format == nullptr) {
            return 0;
        }
        CopiedArguments again(arguments);
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[kMessageBufferSize]);
        if (!buffer) {
            logLine("vmMessage:  Failed to allocate memory.");
            return 0;
        }
        int length = std::vsnprintf(buffer.get(), kMessageBufferSize, format, arguments);
        if (length < 0) {
            return length;  // the VM's format is broken: report it as vfprintf would
        }
        if (static_cast<size_t>(length) >= kMessageBufferSize) {
            // Longer texts are logged whole: a class list or a heap dump is read in full.
            buffer.reset(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
            if (!buffer) {
                logLine("vmMessage:  Failed to allocate memory.");
                return 0;
            }
            std::vsnprintf(buffer.get(), static_cast<size_t>(length) + 1, format, again.get());
        }
        logLine(logEntryFor(std::string_view(buffer.get(), static_cast<size_t>(length))));
        return length;
    } catch (...) {
        return 0;  // nothing may unwind into the VM
    }
}

void JNICALL vmExit(jint code) {
    try {
        logLine(formatText("Java VM exit code = %ld", static_cast<long>(code)));
    } catch (...) {
    }
}

void JNICALL vmAbort(void) {
    try {
        logLine("Java VM aborted.");
    } catch (...) {
    }
}

}  // namespace brevant::isapi
