// Reading one request head off a client connection into the connection's read buffer: the
// loop of the connection's I/O strand between one request and the next, without the waits
// and time-outs, which stay with the connection (connection.cpp).
//
// Thread: one thread at a time, whichever holds the connection.
#ifndef ISAPIHOST_HTTP_HEAD_READING_H
#define ISAPIHOST_HTTP_HEAD_READING_H

#include <cstddef>

#include "stand-ins/isapihost/http/head_parser.h"
#include "stand-ins/isapihost/http/read_buffer.h"
#include "stand-ins/isapihost/http/transport.h"

namespace isapihost {

enum class HeadReading {
    Complete,   // the parser has the head: headBytes() of the buffer are its bytes
    Malformed,  // 400
    TooLarge,   // 400: beyond the head limit, or more than the buffer holds
    Chunked,    // 411
    WantRead,   // the transport has to wait; call again when it may go on
    WantWrite,
    Closed,  // the client closed the connection, or it failed: nothing to answer
};

// A connection's read buffer: a whole head and some of what follows it.
size_t readBufferCapacity(size_t maxHeadBytes);

// Skips the empty lines before a request line (some clients send CR LF after a POST body),
// offers the buffered bytes to `parser` (reset for this head) and reads more from
// `transport` while it needs more. `started` becomes true with the head's first byte; it
// starts false for each head and keeps its value between the calls for one head.
HeadReading readRequestHead(Transport& transport, ReadBuffer& buffer, HeadParser& parser,
                            bool& started);

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_HEAD_READING_H
