// The bytes read from one client that nobody has taken yet: a request head being
// assembled, then the body bytes and pipelined requests that arrived with it. Fixed
// capacity, allocated once per connection and reused for every request on it.
//
// Thread: used by whichever side holds the connection (its I/O strand, or the worker
// serving its request); the hand-over between them orders the accesses.
#ifndef ISAPIHOST_HTTP_READ_BUFFER_H
#define ISAPIHOST_HTTP_READ_BUFFER_H

#include <cstddef>
#include <cstring>
#include <memory>

namespace isapihost {

class ReadBuffer {
  public:
    explicit ReadBuffer(size_t capacity) : storage_(new char[capacity]), capacity_(capacity) {}
    ReadBuffer(const ReadBuffer&) = delete;
    ReadBuffer& operator=(const ReadBuffer&) = delete;

    const char* data() const { return storage_.get() + begin_; }
    size_t size() const { return end_ - begin_; }
    bool empty() const { return begin_ == end_; }
    size_t capacity() const { return capacity_; }

    // REQUIRES: n <= size()
    void consume(size_t n) {
        begin_ += n;
        if (begin_ == end_) {
            begin_ = end_ = 0;
        }
    }

    // Free room after the data, moving the data to the front first when the tail is short.
    char* space() {
        if (begin_ > 0 && capacity_ - end_ < capacity_ / 4) {
            memmove(storage_.get(), storage_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        return storage_.get() + end_;
    }
    size_t spaceSize() const { return capacity_ - end_; }

    // REQUIRES: n <= spaceSize(), the bytes written at space()
    void commit(size_t n) { end_ += n; }

    // Moves up to `size` bytes out to `out`; returns the count.
    size_t take(void* out, size_t size) {
        size_t n = size < this->size() ? size : this->size();
        memcpy(out, data(), n);
        consume(n);
        return n;
    }

    void clear() { begin_ = end_ = 0; }

  private:
    std::unique_ptr<char[]> storage_;
    size_t capacity_;
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_READ_BUFFER_H
