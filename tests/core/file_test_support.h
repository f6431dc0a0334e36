#pragma once
// Helpers for the data file tests: a private directory per test and a
// little-endian byte builder that is independent of the program's encoder.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends. path() ends in '/'.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "sonrake-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    dir_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string path() const { return dir_ + "/"; }
  std::string file(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// Bytes of a hand-made file, laid out by offset.
struct Bytes {
  std::vector<uint8_t> b;

  explicit Bytes(size_t size) : b(size, 0) {}
  void put(size_t offset, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b.at(offset + i) = static_cast<uint8_t>(v >> (8 * i));
  }
  void i16(size_t offset, int16_t v) { put(offset, static_cast<uint16_t>(v), 2); }
  void i32(size_t offset, int32_t v) { put(offset, static_cast<uint32_t>(v), 4); }
  void f64(size_t offset, double v) { put(offset, std::bit_cast<uint64_t>(v), 8); }
  uint64_t get(size_t offset, int n) const {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(b.at(offset + i)) << (8 * i);
    return v;
  }
  double getF64(size_t offset) const { return std::bit_cast<double>(get(offset, 8)); }
};

inline void writeBytes(const std::string& path, const std::vector<uint8_t>& b, size_t length) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(length));
}

inline void writeText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::vector<uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A FIFO at path for a reader that must never wait on it. Should a reader
// block all the same, a writer opens the FIFO every two seconds and lets it
// go on, and done() says so.
class FifoWatch {
 public:
  explicit FifoWatch(std::string path) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo failed";
    rescue_ = std::thread([this] {
      for (int i = 1; !done_; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (i % 200 != 0) continue;
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
          rescued_ = true;  // only a blocked reader lets a writer open it
          ::close(fd);
        }
      }
    });
  }
  ~FifoWatch() { done(); }
  FifoWatch(const FifoWatch&) = delete;
  FifoWatch& operator=(const FifoWatch&) = delete;

  // Ends the watch; true when a reader had to be let go.
  bool done() {
    done_ = true;
    if (rescue_.joinable()) rescue_.join();
    return rescued_;
  }

 private:
  std::string path_;
  std::atomic<bool> done_{false};
  std::atomic<bool> rescued_{false};
  std::thread rescue_;
};
