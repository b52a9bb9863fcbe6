// Shared pieces of the fuzz targets: a private machine-state prefix for the process, and the
// fragment-size reader that turns leading input bytes into a list of chunk lengths.
// Call UsePrivatePrefix once, before any thread uses the platform.
#pragma once

#include <cstddef>
#include <cstdint>

// A property the target checks on every input; on failure it names the check and aborts, so
// the fuzzer reports the input as a crash.
#define KIVFUZZ_CHECK(cond) ((cond) ? void(0) : ::kivfuzz::Fail(#cond, __FILE__, __LINE__))

namespace kivfuzz {

[[noreturn]] void Fail(const char* what, const char* file, int line);

// Points KIV_PREFIX at a fresh temporary folder holding drive_c/temp, removed at exit, so that
// a target's registry and log files never touch the user's own state.
void UsePrivatePrefix();

// Reads bytes from the front of an input, returning 0 once it is used up.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
  const uint8_t* Rest() const { return data_ + pos_; }
  size_t RestSize() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace kivfuzz
