#pragma once
// What every fuzz target shares: checks that abort with a message (so that
// libFuzzer keeps the input as a finding, and the corpus test fails), a
// private directory for the file readers, and little-endian field access of
// the fuzz input independent of the program's codec.

#include <stdlib.h>
#include <unistd.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace fuzz {

// A directory of this process, in memory where the machine has /dev/shm,
// removed at exit. path() ends in '/'.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/sonrake-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    dir_ = pattern + "/";
  }
  ~ScratchDir() {
    for (const std::string& name : written_) ::unlink((dir_ + name).c_str());
    ::rmdir(dir_.c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return dir_; }

  // Replaces the file `name` with exactly `size` bytes of data.
  void write(const std::string& name, const void* data, size_t size) {
    const std::string file = dir_ + name;
    std::FILE* f = std::fopen(file.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
    remember(name);
  }
  void remove(const std::string& name) { ::unlink((dir_ + name).c_str()); }
  void remember(const std::string& name) {
    for (const std::string& n : written_)
      if (n == name) return;
    written_.push_back(name);
  }

 private:
  std::string dir_;
  std::vector<std::string> written_;  // removed at exit
};

// Little-endian fields of a byte string, read by offset; 0 past the end.
inline uint64_t le(const uint8_t* data, size_t size, size_t offset, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i)
    if (offset + i < size) v |= static_cast<uint64_t>(data[offset + i]) << (8 * i);
  return v;
}
inline int16_t leI16(const uint8_t* d, size_t size, size_t off) {
  return static_cast<int16_t>(le(d, size, off, 2));
}
inline int32_t leI32(const uint8_t* d, size_t size, size_t off) {
  return static_cast<int32_t>(le(d, size, off, 4));
}
inline double leF64(const uint8_t* d, size_t size, size_t off) {
  return std::bit_cast<double>(le(d, size, off, 8));
}

// Takes values off the front of the fuzz input, then zeros once it is used up.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t bits(int bytes) {
    const uint64_t v = le(data_, size_, pos_, bytes);
    pos_ += static_cast<size_t>(bytes);
    return v;
  }
  uint8_t u8() { return static_cast<uint8_t>(bits(1)); }
  double f64() { return std::bit_cast<double>(bits(8)); }
  size_t used() const { return pos_ < size_ ? pos_ : size_; }
  const uint8_t* rest() const { return data_ + used(); }
  size_t restSize() const { return size_ - used(); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace fuzz
