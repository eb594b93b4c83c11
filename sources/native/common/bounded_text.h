// A text built in a fixed buffer that the caller owns: every append is cut at the buffer's
// end, the text always ends with a NUL, and its length is known without a scan. Used for the
// fixed-size buffers whose sizes the connectors' contracts give (descriptor, blocks, pages).
//
// One object belongs to one thread; it keeps no state beyond the buffer it was given.
#ifndef BREVANT_COMMON_BOUNDED_TEXT_H
#define BREVANT_COMMON_BOUNDED_TEXT_H

#include <cstddef>
#include <cstring>
#include <string_view>

namespace brevant::common {

class BoundedText {
  public:
    // REQUIRES: capacity > 0; `buffer` outlives the object.
    BoundedText(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
        buffer_[0] = '\0';
    }
    BoundedText(const BoundedText&) = delete;
    BoundedText& operator=(const BoundedText&) = delete;

    void append(std::string_view text) {
        size_t room = capacity_ - 1 - length_;
        size_t count = text.size() < room ? text.size() : room;
        std::memcpy(buffer_ + length_, text.data(), count);
        length_ += count;
        buffer_[length_] = '\0';
    }

    const char* data() const { return buffer_; }
    size_t length() const { return length_; }
    std::string_view view() const { return std::string_view(buffer_, length_); }

  private:
    char* buffer_;
    size_t capacity_;
    size_t length_ = 0;
};

}  // namespace brevant::common

#endif  // BREVANT_COMMON_BOUNDED_TEXT_H
