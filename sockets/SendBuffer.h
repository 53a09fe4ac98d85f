#pragma once

#include <cstdint>
#include <memory>
#include <utility>

// One chunk of a socket's send chain: an owned block of Size() bytes of which the bytes from the
// read count to the write count are still to be sent (0 <= read <= write <= size).
class TBuffer {
 public:
  explicit TBuffer(std::int32_t size);

  std::int32_t Size() const { return size_; }
  // n <= 0 means 1514. Keeps the unsent bytes; a size below the write count is never asked for.
  void SetSize(std::int32_t n);

  // Copies as many bytes as fit behind the written ones; returns how many.
  std::int32_t Write(const void* data, std::int32_t length);
  // The first unsent byte and the number of unsent bytes ({nullptr, 0} when none).
  std::pair<const char*, std::int32_t> Peek() const;
  // Drops up to length unsent bytes from the front; an emptied chunk starts over at its start.
  std::int32_t Remove(std::int32_t length);

  std::int32_t WriteCount() const { return wrCount_; }
  std::int32_t ReadCount() const { return rdCount_; }

 private:
  std::unique_ptr<char[]> data_;
  std::int32_t size_ = 0;
  std::int32_t wrCount_ = 0;
  std::int32_t rdCount_ = 0;
};
