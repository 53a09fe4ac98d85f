#pragma once

#include <cstdint>
#include <memory>
#include <string>

// One received chunk: a copy of the bytes read at once from the serial port, and the line error
// flags (CE_* of SerialPort.h) that the status poll before the read reported.
class TSerialCluster {
 public:
  TSerialCluster(const char* data, std::uint32_t count, std::uint32_t errorFlags);
  ~TSerialCluster();
  TSerialCluster(const TSerialCluster&) = delete;
  TSerialCluster& operator=(const TSerialCluster&) = delete;

  std::uint32_t Size() const { return count_; }
  // The bytes as they came, zero bytes included.
  std::string Text() const;
  std::uint32_t ErrorFlags() const { return errorFlags_; }

 private:
  std::unique_ptr<char[]> data_;  // none when count_ is 0
  std::uint32_t count_;
  std::uint32_t errorFlags_;
};
