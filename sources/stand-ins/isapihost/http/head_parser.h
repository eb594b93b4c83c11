// Turns the bytes of one request head into a RequestHead, with Boost Beast's HTTP parser
// doing the parsing. The caller keeps the head's bytes together in one buffer and offers
// them again, longer, after each NeedMore; the parser remembers how far it got.
//
// Thread: one thread at a time (the connection's I/O strand).
#ifndef ISAPIHOST_HTTP_HEAD_PARSER_H
#define ISAPIHOST_HTTP_HEAD_PARSER_H

#include <cstddef>
#include <memory>

#include "stand-ins/isapihost/http/exchange.h"

namespace isapihost {

enum class HeadStatus {
    NeedMore,   // the head is not complete yet
    Complete,   // the RequestHead is filled; headBytes() tells where the body starts
    Malformed,  // a bad request line or header: 400
    TooLarge,   // more than the head limit: 400
    Chunked,    // a chunked request body, which the server does not take: 411
};

class HeadParser {
  public:
    explicit HeadParser(size_t maxHeadBytes);
    ~HeadParser();
    HeadParser(const HeadParser&) = delete;
    HeadParser& operator=(const HeadParser&) = delete;

    // Starts a new head that parse() fills into *head (cleared here).
    void reset(RequestHead* head);

    // `data` holds the head's bytes from its first byte on. After NeedMore the caller calls
    // again with the same bytes and more.
    HeadStatus parse(const char* data, size_t size);

    // REQUIRES: parse() returned Complete
    size_t headBytes() const;
    bool expectsContinue() const;  // "Expect: 100-continue" on a request with a body

  private:
    class BeastParser;
    std::unique_ptr<BeastParser> parser_;
    size_t maxHeadBytes_;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_HEAD_PARSER_H
