// A client of isapihost's HTTP core without a socket, for the tests and the fuzz target of
// head reading: its bytes come in the pieces given, each piece in reads as long as the
// reader asks for, then the client closes in order. Optionally it makes the reader wait
// (WantRead) before each piece but the first, as a socket with nothing yet would. What the
// server writes is kept.
#ifndef TESTS_SUPPORT_SCRIPTED_TRANSPORT_H
#define TESTS_SUPPORT_SCRIPTED_TRANSPORT_H

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "stand-ins/isapihost/http/transport.h"

namespace testsupport {

class ScriptedTransport final : public isapihost::Transport {
  public:
    explicit ScriptedTransport(std::vector<std::string_view> pieces, bool waitBeforePieces = false)
        : Transport(-1), pieces_(std::move(pieces)), waitBeforePieces_(waitBeforePieces) {}

    isapihost::IoResult tryRead(void* buffer, size_t size) override {
        while (next_ < pieces_.size() && pieces_[next_].empty()) {
            ++next_;
        }
        if (next_ == pieces_.size()) {
            return {isapihost::IoStatus::Closed, 0};
        }
        if (waitBeforePieces_ && next_ > 0 && !waited_) {
            waited_ = true;
            return {isapihost::IoStatus::WantRead, 0};
        }
        std::string_view& piece = pieces_[next_];
        size_t count = std::min(size, piece.size());
        std::memcpy(buffer, piece.data(), count);
        piece.remove_prefix(count);
        if (piece.empty()) {
            ++next_;
            waited_ = false;
        }
        return {isapihost::IoStatus::Done, count};
    }

    isapihost::IoResult tryWrite(const void* data, size_t size) override {
        written.append(static_cast<const char*>(data), size);
        return {isapihost::IoStatus::Done, size};
    }

    std::string written;

  private:
    std::vector<std::string_view> pieces_;
    size_t next_ = 0;
    bool waitBeforePieces_;
    bool waited_ = false;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_SCRIPTED_TRANSPORT_H
