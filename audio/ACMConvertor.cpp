#include "audio/ACMConvertor.h"

#include <cstring>

using namespace platform;

TACMConvertor::TACMConvertor() : formatIn_(DefaultWaveFormat()), formatOut_(DefaultWaveFormat()) {}

TACMConvertor::~TACMConvertor() {
  try {
    SetActive(false);
  } catch (const EACMConvertor&) {
    // Nothing to tell anyone at destruction; the stream goes with the process.
  }
}

void TACMConvertor::Raise(const std::string& prefix, MMRESULT code) {
  throw EACMConvertor(ACMErrorText(prefix, code, false));
}

void TACMConvertor::SetInputBufferSize(std::uint32_t value) {
  if (active_) throw EACMConvertor("You cannot change the buffer size while active.");
  inputBufferSize_ = value;
}

void TACMConvertor::SetActive(bool value) {
  if (value == active_) return;
  if (value)
    Open();
  else
    Close();
}

void TACMConvertor::Open() {
  firstConversion_ = true;
  HACMSTREAM stream = 0;
  MMRESULT rc = acmStreamOpen(&stream, 0, formatIn_.AsWaveFormat(), formatOut_.AsWaveFormat(),
                              nullptr, 0, 0, 0);
  if (rc) Raise("acmStreamOpen:", rc);
  std::uint32_t outputSize = 0;
  rc = acmStreamSize(stream, inputBufferSize_, &outputSize, ACM_STREAMSIZEF_SOURCE);
  if (rc) {
    acmStreamClose(stream, 0);
    Raise("acmStreamSize:", rc);
  }
  bufferIn_.reset(new std::uint8_t[inputBufferSize_]());
  bufferOut_.reset(new std::uint8_t[outputSize]());
  header_ = {};
  header_.cbStruct = sizeof header_;
  header_.pbSrc = bufferIn_.get();
  header_.cbSrcLength = inputBufferSize_;
  header_.pbDst = bufferOut_.get();
  header_.cbDstLength = outputSize;
  rc = acmStreamPrepareHeader(stream, &header_, 0);
  if (rc) {
    bufferIn_.reset();
    bufferOut_.reset();
    acmStreamClose(stream, 0);
    Raise("acmStreamPrepareHeader:", rc);
  }
  stream_ = stream;
  outputSize_ = outputSize;
  active_ = true;
}

void TACMConvertor::Close() {
  MMRESULT rc = acmStreamUnprepareHeader(stream_, &header_, 0);
  if (rc) Raise("acmStreamUnPrepareHeader:", rc);
  rc = acmStreamClose(stream_, 0);
  if (rc) Raise("acmStreamClose:", rc);
  stream_ = 0;
  bufferIn_.reset();
  bufferOut_.reset();
  outputSize_ = 0;
  active_ = false;
  firstConversion_ = false;
}

std::int32_t TACMConvertor::Convert() {
  return Convert(inputBufferSize_);
}

void TACMConvertor::CheckBlock(std::uint32_t count) const {
  if (!active_) Raise("acmStreamConvert:", MMSYSERR_INVALHANDLE);
  if (count > inputBufferSize_) {
    throw EACMConvertor("acmStreamConvert: a block of " + std::to_string(count) +
                        " bytes does not fit the input buffer of " +
                        std::to_string(inputBufferSize_) + " bytes.");
  }
}

std::int32_t TACMConvertor::Convert(const void* data, std::uint32_t count) {
  CheckBlock(count);
  if (count) std::memcpy(bufferIn_.get(), data, count);
  return Convert(count);
}

std::int32_t TACMConvertor::Convert(std::uint32_t count) {
  CheckBlock(count);
  std::memset(bufferOut_.get(), 0, outputSize_);
  header_.cbSrcLength = count;
  // No reset after the conversion: the codec's state carries on into the next block.
  const std::uint32_t flags =
      ACM_STREAMCONVERTF_BLOCKALIGN | (firstConversion_ ? ACM_STREAMCONVERTF_START : 0);
  MMRESULT rc = acmStreamConvert(stream_, &header_, flags);
  header_.cbSrcLength = inputBufferSize_;
  if (rc) Raise("acmStreamConvert:", rc);
  firstConversion_ = false;
  return static_cast<std::int32_t>(header_.cbDstLengthUsed);
}

void TACMConvertor::WriteProperties(TPropertyMap& properties) const {
  properties["ACMFormatIn"] = StoreWaveFormat(formatIn_);
  properties["ACMFormatOut"] = StoreWaveFormat(formatOut_);
}

void TACMConvertor::ReadProperties(const TPropertyMap& properties) {
  for (auto [name, format] :
       {std::pair{"ACMFormatIn", &formatIn_}, {"ACMFormatOut", &formatOut_}}) {
    auto it = properties.find(name);
    if (it == properties.end()) continue;
    if (LoadWaveFormat(it->second.data(), it->second.size(), *format) == 0)
      throw EACMConvertor(std::string("The stored property ") + name + " is cut short.");
  }
}
