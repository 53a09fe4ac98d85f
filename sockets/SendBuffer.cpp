#include "sockets/SendBuffer.h"

#include <algorithm>
#include <cstring>

TBuffer::TBuffer(std::int32_t size) {
  SetSize(size);
}

void TBuffer::SetSize(std::int32_t n) {
  if (n <= 0) n = 1514;
  if (n == size_) return;
  auto block = std::make_unique<char[]>(static_cast<size_t>(n));
  if (wrCount_ != rdCount_) {
    std::memcpy(block.get(), data_.get(), static_cast<size_t>(std::min(wrCount_, n)));
  }
  data_ = std::move(block);
  size_ = n;
}

std::int32_t TBuffer::Write(const void* data, std::int32_t length) {
  std::int32_t free = size_ - wrCount_;
  if (free <= 0 || length <= 0) return 0;
  std::int32_t n = std::min(length, free);
  std::memcpy(data_.get() + wrCount_, data, static_cast<size_t>(n));
  wrCount_ += n;
  return n;
}

std::pair<const char*, std::int32_t> TBuffer::Peek() const {
  std::int32_t n = wrCount_ - rdCount_;
  if (n <= 0) return {nullptr, 0};
  return {data_.get() + rdCount_, n};
}

std::int32_t TBuffer::Remove(std::int32_t length) {
  std::int32_t unsent = wrCount_ - rdCount_;
  if (unsent <= 0 || length <= 0) return 0;
  std::int32_t n = std::min(length, unsent);
  rdCount_ += n;
  if (rdCount_ == wrCount_) rdCount_ = wrCount_ = 0;
  return n;
}
