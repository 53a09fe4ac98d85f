#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "audio/ACMWaveFormat.h"
#include "platform/AudioCompression.h"

class EACMConvertor : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Stored properties of a window description: name -> stored bytes.
using TPropertyMap = std::map<std::string, std::string>;

// One conversion stream of the compression manager: turns blocks of audio in FormatIn into
// audio in FormatOut, one block per call, on the main thread. The codec's state runs on from
// one block to the next while the stream is open, so a stream of blocks converts like one long
// piece of audio (an MPEG Layer-3 encoder returns only the frames completed so far, possibly
// none for a short block).
//
// Use: set the formats and InputBufferSize, SetActive(true), then per block fill BufferIn() and
// Convert(count) (or Convert(data, count)), take the returned number of bytes from BufferOut();
// finally SetActive(false). Failures raise EACMConvertor with the failing call's name.
class TACMConvertor {
 public:
  TACMConvertor();
  ~TACMConvertor();
  TACMConvertor(const TACMConvertor&) = delete;
  TACMConvertor& operator=(const TACMConvertor&) = delete;

  // Bytes of input per conversion, 2048 at first; cannot change while active.
  std::uint32_t InputBufferSize() const { return inputBufferSize_; }
  void SetInputBufferSize(std::uint32_t value);

  bool Active() const { return active_; }
  // True opens the stream, false closes it; writing the present value does nothing.
  void SetActive(bool value);

  // The formats take effect at the next opening.
  TACMWaveFormat& FormatIn() { return formatIn_; }
  TACMWaveFormat& FormatOut() { return formatOut_; }
  const TACMWaveFormat& FormatIn() const { return formatIn_; }
  const TACMWaveFormat& FormatOut() const { return formatOut_; }
  void SetFormatIn(const TACMWaveFormat& format) { formatIn_ = format; }
  void SetFormatOut(const TACMWaveFormat& format) { formatOut_ = format; }

  // Valid only while active: InputBufferSize() bytes in, OutputBufferSize() bytes out.
  std::uint8_t* BufferIn() { return bufferIn_.get(); }
  const std::uint8_t* BufferOut() const { return bufferOut_.get(); }
  std::uint32_t OutputBufferSize() const { return outputSize_; }

  // Converts the whole input buffer; returns the bytes placed at the start of BufferOut(), the
  // rest of which is zero.
  std::int32_t Convert();
  // Converts exactly the first count bytes of the input buffer; a count above InputBufferSize
  // is refused.
  std::int32_t Convert(std::uint32_t count);
  // Copies count bytes into the input buffer and converts them; a block larger than the input
  // buffer is refused.
  std::int32_t Convert(const void* data, std::uint32_t count);

  // The stored properties "ACMFormatIn" and "ACMFormatOut" (both always written).
  void WriteProperties(TPropertyMap& properties) const;
  void ReadProperties(const TPropertyMap& properties);

 private:
  void Open();
  void Close();
  void CheckBlock(std::uint32_t count) const;
  [[noreturn]] static void Raise(const std::string& prefix, platform::MMRESULT code);

  bool active_ = false;
  std::unique_ptr<std::uint8_t[]> bufferIn_;
  std::unique_ptr<std::uint8_t[]> bufferOut_;
  std::uint32_t inputBufferSize_ = 2048;
  std::uint32_t outputSize_ = 0;
  bool firstConversion_ = false;
  platform::HACMSTREAM stream_ = 0;
  platform::ACMSTREAMHEADER header_{};
  TACMWaveFormat formatIn_;
  TACMWaveFormat formatOut_;
};
