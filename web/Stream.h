#pragma once

#include <cstdint>
#include <string>

// A byte stream with a position, as the HTTP client reads a request body from and writes a reply
// body to. The caller owns the streams it hands over.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual std::int64_t Size() const = 0;
  virtual std::int64_t Position() const = 0;
  // Moves to an absolute position (clamped to 0 .. Size()).
  virtual void Seek(std::int64_t position) = 0;
  // Reads up to count bytes from the position; the number read.
  virtual std::int32_t Read(void* buffer, std::int32_t count) = 0;
  // Writes at the position, growing the stream; the number written.
  virtual std::int32_t Write(const void* buffer, std::int32_t count) = 0;
  // Cuts or extends the stream; the position stays within it.
  virtual void SetSize(std::int64_t size) = 0;
};

// A stream held in memory.
class TMemoryStream : public TStream {
 public:
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  std::int64_t Position() const override { return position_; }
  void Seek(std::int64_t position) override;
  std::int32_t Read(void* buffer, std::int32_t count) override;
  std::int32_t Write(const void* buffer, std::int32_t count) override;
  void SetSize(std::int64_t size) override;

  const std::string& Data() const { return data_; }
  // Replaces the content; the position goes to the start.
  void SetData(const std::string& data) {
    data_ = data;
    position_ = 0;
  }

 private:
  std::string data_;
  std::int64_t position_ = 0;
};
