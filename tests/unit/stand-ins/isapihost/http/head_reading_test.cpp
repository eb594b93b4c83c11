// Reading a request head from a client's pieces, without a socket: what each turn comes to,
// and what stays in the buffer for the body and the next request.
#include <gtest/gtest.h>

#include "scripted_transport.h"
#include "stand-ins/isapihost/http/head_reading.h"

namespace isapihost {
namespace {

class HeadReadingTest : public testing::Test {
  protected:
    // Reads one head from `pieces`, waiting before each piece but the first when `waits`;
    // answers the last turn's outcome and records, in waitsSeen_, the turns that waited.
    HeadReading Read(std::vector<std::string_view> pieces, bool waits = false) {
        testsupport::ScriptedTransport transport(std::move(pieces), waits);
        parser_.reset(&head_);
        started_ = false;
        HeadReading reading;
        while ((reading = readRequestHead(transport, buffer_, parser_, started_)) ==
               HeadReading::WantRead) {
            waitsSeen_.push_back(started_);
        }
        return reading;
    }
    std::string_view Rest() const {
        return std::string_view(buffer_.data(), buffer_.size()).substr(parser_.headBytes());
    }

    ReadBuffer buffer_{readBufferCapacity(kMaxHead)};
    static constexpr size_t kMaxHead = 16384;
    HeadParser parser_{kMaxHead};
    RequestHead head_;
    bool started_ = false;
    std::vector<bool> waitsSeen_;  // whether the head had started, at each wait
};

TEST_F(HeadReadingTest, EmptyLinesBeforeTheRequestLineAreDropped) {
    EXPECT_EQ(Read({"\r\n\n\r", "\nGET /a HTTP/1.1\r\n\r\nnext"}), HeadReading::Complete);
    EXPECT_EQ(head_.target, "/a");
    EXPECT_EQ(Rest(), "next");
}

TEST_F(HeadReadingTest, TheHeadStartsWithItsFirstByteNotWithAnEmptyLine) {
    EXPECT_EQ(Read({"\r\n", "GET", " /b HTTP/1.1\r\n", "\r\nbody"}, true), HeadReading::Complete);
    EXPECT_EQ(waitsSeen_, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(Rest(), "body");
}

TEST_F(HeadReadingTest, EachEndOfAHeadHasItsOutcome) {
    const std::string tooLong = "GET / HTTP/1.1\r\nX: " + std::string(kMaxHead, 'x');
    const std::pair<std::string_view, HeadReading> kCases[] = {
        {"GET / HTTP/1.1\r\nHost", HeadReading::Closed},
        {"\r\n\r\n", HeadReading::Closed},
        {"GARBAGE\r\n\r\n", HeadReading::Malformed},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", HeadReading::Chunked},
        {tooLong, HeadReading::TooLarge}};
    for (const auto& [bytes, outcome] : kCases) {
        buffer_.clear();
        EXPECT_EQ(Read({bytes}), outcome) << bytes.substr(0, 40);
    }
}

}  // namespace
}  // namespace isapihost
