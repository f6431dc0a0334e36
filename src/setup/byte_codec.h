#pragma once
// Field-by-field little-endian encoding of the data files, independent of the
// host's byte order and of any struct layout: integers two's complement,
// doubles IEEE 754 binary64, booleans one byte 0 or 1, Complex as re then im.

#include <bit>
#include <cstddef>
#include <cstdint>

#include "base/complex.h"

// Writes into a caller-owned buffer of fixed size. A write that does not fit
// writes nothing and clears ok(), so an encoder whose layout disagrees with
// its buffer size is caught instead of overrunning.
class ByteWriter {
 public:
  ByteWriter(uint8_t* data, size_t size) : data_(data), size_(size) {}

  void u8(uint8_t v) { put(v, 1); }
  void boolean(bool v) { put(v ? 1u : 0u, 1); }
  void i16(int16_t v) { put(static_cast<uint16_t>(v), 2); }
  void i32(int32_t v) { put(static_cast<uint32_t>(v), 4); }
  void f64(double v) { put(std::bit_cast<uint64_t>(v), 8); }
  void complex(const Complex& c) {
    f64(c.re);
    f64(c.im);
  }

  size_t position() const { return pos_; }
  bool ok() const { return ok_; }

 private:
  void put(uint64_t v, size_t n) {
    if (n > size_ - pos_) {
      ok_ = false;
      return;
    }
    for (size_t i = 0; i < n; ++i) data_[pos_ + i] = static_cast<uint8_t>(v >> (8 * i));
    pos_ += n;
  }

  uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Reads from a byte range. Each read returns false, and consumes nothing,
// when fewer bytes remain than the value needs; it never reads past the end.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool u8(uint8_t& v) {
    uint64_t x;
    if (!get(x, 1)) return false;
    v = static_cast<uint8_t>(x);
    return true;
  }
  // Accepts only the bytes 0 and 1; any other byte fails like a short read,
  // because the program never writes one.
  bool boolean(bool& v) {
    if (remaining() < 1 || data_[pos_] > 1) return false;
    v = data_[pos_++] == 1;
    return true;
  }
  bool i16(int16_t& v) {
    uint64_t x;
    if (!get(x, 2)) return false;
    v = static_cast<int16_t>(static_cast<uint16_t>(x));
    return true;
  }
  bool i32(int32_t& v) {
    uint64_t x;
    if (!get(x, 4)) return false;
    v = static_cast<int32_t>(static_cast<uint32_t>(x));
    return true;
  }
  bool f64(double& v) {
    uint64_t x;
    if (!get(x, 8)) return false;
    v = std::bit_cast<double>(x);
    return true;
  }
  bool complex(Complex& c) {
    if (remaining() < 16) return false;
    f64(c.re);
    f64(c.im);
    return true;
  }
  // Hands out the next n bytes without decoding them; nullptr when short.
  const uint8_t* bytes(size_t n) {
    if (n > remaining()) return nullptr;
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }

  size_t remaining() const { return size_ - pos_; }
  size_t position() const { return pos_; }

 private:
  bool get(uint64_t& v, size_t n) {
    if (n > remaining()) return false;
    v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
    pos_ += n;
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};
