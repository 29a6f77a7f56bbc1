// Random access to a file's bytes, so a parser can walk a file without holding all of it. Pure
// interface; the file behind it is Win32 glue (FileBytes.h), tests and fuzzers use memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velmora::audio {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // Copies up to `count` bytes from `offset`; how many it copied (fewer at the end, or when the
  // file shrank under us).
  virtual size_t ReadAt(uint64_t offset, void* out, size_t count) = 0;
};

// Bytes already in memory; they must outlive the source.
class MemoryBytes final : public ByteSource {
 public:
  MemoryBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* out, size_t count) override {
    if (offset >= size_) return 0;
    const size_t n = count < size_ - offset ? count : static_cast<size_t>(size_ - offset);
    if (n > 0) std::memcpy(out, data_ + offset, n);
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

}  // namespace velmora::audio
