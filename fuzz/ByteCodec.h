// The byte encoding of structured fuzz inputs: fields are read in order, little-endian, and an
// input that ends early reads as zeros, so every byte string decodes to some input. The writer
// is the exact inverse, used to turn the boards in boards/ into seed inputs.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace boardsim::fuzz {

using Bytes = std::vector<uint8_t>;

class ByteReader {
public:
  ByteReader(const uint8_t *data, size_t size) : data_(data), size_(size) {}

  bool Empty() const { return at_ == size_; }

  template <typename T> T Take() {
    uint64_t value = 0;
    for (size_t i = 0; i < sizeof(T) && at_ < size_; ++i)
      value |= uint64_t{data_[at_++]} << (8 * i);
    return static_cast<T>(value);
  }

  Bytes TakeBytes(size_t count) {
    count = std::min(count, size_ - at_);
    Bytes bytes(data_ + at_, data_ + at_ + count);
    at_ += count;
    return bytes;
  }

  Bytes Rest() { return TakeBytes(size_ - at_); }

private:
  const uint8_t *data_;
  size_t size_;
  size_t at_ = 0;
};

class ByteWriter {
public:
  template <typename T> void Put(T value) {
    for (size_t i = 0; i < sizeof(T); ++i)
      bytes_.push_back(static_cast<uint8_t>(uint64_t{value} >> (8 * i)));
  }
  void PutBytes(const Bytes &bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
  const Bytes &bytes() const { return bytes_; }

private:
  Bytes bytes_;
};

} // namespace boardsim::fuzz
