#include "stand-ins/isapihost/http/head_parser.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/basic_parser.hpp>
#include <boost/beast/http/error.hpp>

namespace isapihost {

namespace http = boost::beast::http;
using boost::beast::string_view;

namespace {

// Beast's parser with callbacks that fill a RequestHead straight from the input, keeping
// header names as the client spelled them and in arrival order. Body callbacks are never
// reached: eager(false) stops the parser at the end of the head.
class HeadCallbacks final : public http::basic_parser<true> {
  public:
    explicit HeadCallbacks(RequestHead* head) : head_(head) {}

    bool expectContinue = false;
    bool transferEncoding = false;

  private:
    void on_request_impl(http::verb, string_view method, string_view target, int version,
                         boost::beast::error_code&) override {
        head_->method.assign(method.data(), method.size());
        head_->target.assign(target.data(), target.size());
        head_->versionMajor = static_cast<unsigned>(version / 10);
        head_->versionMinor = static_cast<unsigned>(version % 10);
    }
    void on_response_impl(int, string_view, int, boost::beast::error_code&) override {}
    void on_field_impl(http::field field, string_view name, string_view value,
                       boost::beast::error_code&) override {
        head_->headers.push_back(
            Header{std::string(name.data(), name.size()), std::string(value.data(), value.size())});
        if (field == http::field::expect) {
            expectContinue = boost::beast::iequals(value, "100-continue");
        } else if (field == http::field::transfer_encoding) {
            transferEncoding = true;
        }
    }
    void on_header_impl(boost::beast::error_code&) override {}
    void on_body_init_impl(const boost::optional<std::uint64_t>&,
                           boost::beast::error_code&) override {}
    size_t on_body_impl(string_view, boost::beast::error_code&) override { return 0; }
    void on_chunk_header_impl(std::uint64_t, string_view, boost::beast::error_code&) override {}
    size_t on_chunk_body_impl(std::uint64_t, string_view, boost::beast::error_code&) override {
        return 0;
    }
    void on_finish_impl(boost::beast::error_code&) override {}

    RequestHead* head_;
};

}  // namespace

// Holds the Beast parser, re-made for each head (Beast parsers cannot be reset), in storage
// allocated once per connection.
class HeadParser::BeastParser {
  public:
    std::optional<HeadCallbacks> callbacks;
    RequestHead* head = nullptr;
    size_t parsed = 0;  // bytes of the head the parser has taken so far
};

HeadParser::HeadParser(size_t maxHeadBytes)
    : parser_(std::make_unique<BeastParser>()), maxHeadBytes_(maxHeadBytes) {}

HeadParser::~HeadParser() = default;

void HeadParser::reset(RequestHead* head) {
    head->method.clear();
    head->target.clear();
    head->versionMajor = 1;
    head->versionMinor = 1;
    head->headers.clear();
    head->rawHeaders.clear();
    head->contentLength = 0;
    head->clientWantsKeepAlive = false;
    parser_->head = head;
    parser_->parsed = 0;
    HeadCallbacks& callbacks = parser_->callbacks.emplace(head);
    callbacks.eager(false);
    callbacks.header_limit(static_cast<std::uint32_t>(
        std::min<size_t>(maxHeadBytes_, std::numeric_limits<std::uint32_t>::max())));
    // The body is the handler's business, however long.
    callbacks.body_limit(std::numeric_limits<std::uint64_t>::max());
}

HeadStatus HeadParser::parse(const char* data, size_t size) {
    HeadCallbacks& callbacks = *parser_->callbacks;
    boost::beast::error_code ec;
    size_t& parsed = parser_->parsed;
    if (size > parsed) {
        parsed += callbacks.put(boost::asio::const_buffer(data + parsed, size - parsed), ec);
    }
    if (!callbacks.is_header_done()) {
        if (ec == http::error::header_limit) {
            return HeadStatus::TooLarge;
        }
        if (ec && ec != http::error::need_more) {
            return HeadStatus::Malformed;
        }
        // Beast parses line by line, so its own limit applies to what is still unparsed;
        // the head as a whole must fit too.
        return size >= maxHeadBytes_ ? HeadStatus::TooLarge : HeadStatus::NeedMore;
    }
    if (ec) {
        return HeadStatus::Malformed;
    }
    if (parsed > maxHeadBytes_) {
        return HeadStatus::TooLarge;
    }
    if (callbacks.chunked()) {
        return HeadStatus::Chunked;
    }
    if (callbacks.transferEncoding) {
        // A coding without a final "chunked" leaves the body's end unknown.
        return HeadStatus::Malformed;
    }
    RequestHead* head = parser_->head;
    auto length = callbacks.content_length();
    head->contentLength = length ? *length : 0;
    head->clientWantsKeepAlive = callbacks.keep_alive();
    // The header lines as sent: after the request line, before the empty line.
    std::string_view bytes(data, parsed);
    size_t firstLineEnd = bytes.find("\r\n");
    if (firstLineEnd != std::string_view::npos && firstLineEnd + 4 <= parsed) {
        head->rawHeaders.assign(data + firstLineEnd + 2, parsed - firstLineEnd - 4);
    }
    return HeadStatus::Complete;
}

size_t HeadParser::headBytes() const {
    return parser_->parsed;
}

bool HeadParser::expectsContinue() const {
    const RequestHead* head = parser_->head;
    return parser_->callbacks->expectContinue && head->contentLength > 0 &&
           (head->versionMajor > 1 || head->versionMinor >= 1);
}

}  // namespace isapihost
