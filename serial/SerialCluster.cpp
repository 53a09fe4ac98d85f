#include "serial/SerialCluster.h"

#include <cstring>

TSerialCluster::TSerialCluster(const char* data, std::uint32_t count, std::uint32_t errorFlags)
    : count_(count), errorFlags_(errorFlags) {
  if (count_ > 0) {
    data_ = std::make_unique<char[]>(count_);
    std::memcpy(data_.get(), data, count_);
  }
}

TSerialCluster::~TSerialCluster() = default;

std::string TSerialCluster::Text() const {
  return count_ == 0 ? std::string() : std::string(data_.get(), count_);
}
