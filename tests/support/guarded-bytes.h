#pragma once

#include <cstddef>
#include <string_view>

namespace qv::test {

// A copy of some bytes that ends exactly where an inaccessible page begins, so
// that a reader going past the end crashes the test instead of reading on.
class GuardedBytes {
 public:
  explicit GuardedBytes(std::string_view bytes);
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  ~GuardedBytes();

  const char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void* base_ = nullptr;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace qv::test
