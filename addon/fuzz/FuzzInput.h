// Reads a fuzz input as a stream of small values; once it runs dry every read gives zeros.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool empty() const { return size_ == 0; }

  uint8_t Byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }

  int32_t Int32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return static_cast<int32_t>(value);
  }

  // A length byte, then that many bytes (fewer when the input ends).
  std::string Bytes() {
    size_t length = Byte();
    if (length > size_) length = size_;
    std::string bytes(reinterpret_cast<const char*>(data_), length);
    data_ += length;
    size_ -= length;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};
