#include "web/Stream.h"

#include <algorithm>
#include <cstring>

void TMemoryStream::Seek(std::int64_t position) {
  position_ = std::clamp<std::int64_t>(position, 0, Size());
}

std::int32_t TMemoryStream::Read(void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  std::int64_t n = std::min<std::int64_t>(count, Size() - position_);
  if (n <= 0) return 0;
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return static_cast<std::int32_t>(n);
}

std::int32_t TMemoryStream::Write(const void* buffer, std::int32_t count) {
  if (count <= 0) return 0;
  auto pos = static_cast<std::size_t>(position_);
  if (pos + static_cast<std::size_t>(count) > data_.size()) data_.resize(pos + count);
  std::memcpy(data_.data() + pos, buffer, static_cast<std::size_t>(count));
  position_ += count;
  return count;
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
  position_ = std::min(position_, Size());
}
