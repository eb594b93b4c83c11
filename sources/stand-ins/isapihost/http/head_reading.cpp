#include "stand-ins/isapihost/http/head_reading.h"

#include <algorithm>

namespace isapihost {

size_t readBufferCapacity(size_t maxHeadBytes) {
    return std::max<size_t>(maxHeadBytes, 4096) + 4096;
}

HeadReading readRequestHead(Transport& transport, ReadBuffer& buffer, HeadParser& parser,
                            bool& started) {
    for (;;) {
        if (!started) {
            while (!buffer.empty() && (buffer.data()[0] == '\r' || buffer.data()[0] == '\n')) {
                buffer.consume(1);
            }
            started = !buffer.empty();
        }
        if (started) {
            switch (parser.parse(buffer.data(), buffer.size())) {
                case HeadStatus::Complete:
                    return HeadReading::Complete;
                case HeadStatus::Malformed:
                    return HeadReading::Malformed;
                case HeadStatus::TooLarge:
                    return HeadReading::TooLarge;
                case HeadStatus::Chunked:
                    return HeadReading::Chunked;
                case HeadStatus::NeedMore:
                    break;
            }
        }
        char* space = buffer.space();
        if (buffer.spaceSize() == 0) {
            return HeadReading::TooLarge;  // cannot happen: the head limit is below the capacity
        }
        IoResult r = transport.tryRead(space, buffer.spaceSize());
        switch (r.status) {
            case IoStatus::Done:
                buffer.commit(r.bytes);
                break;
            case IoStatus::WantRead:
                return HeadReading::WantRead;
            case IoStatus::WantWrite:
                return HeadReading::WantWrite;
            case IoStatus::Closed:
            case IoStatus::Failed:
                return HeadReading::Closed;
        }
    }
}

}  // namespace isapihost
