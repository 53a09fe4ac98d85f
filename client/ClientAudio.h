#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "audio/ACMConvertor.h"
#include "audio/ACMIn.h"
#include "audio/ACMOut.h"
#include "common/AudioThinning.h"
#include "common/FrameClock.h"

// What the audio path needs of the session: the connection's state, the receive-audio flag the
// orderly disconnect reads, and the two ways of sending a line.
class IAudioLink {
 public:
  virtual bool Connected() const = 0;
  virtual bool AudioOn() const = 0;
  virtual void SetAudioOn(bool value) = 0;
  // Traced, resets the keep-alive ("AU ON", "AU OFF", "AU DATA").
  virtual void SendCommand(const std::string& line) = 0;
  // Written as it is (push-to-talk "TX" and "RX").
  virtual void SendRaw(const std::string& line) = 0;
  // Samples the path to the server and says what it is (common/LinkState.h).
  virtual TLinkState SampleSendLink() = 0;

 protected:
  ~IAudioLink() = default;  // never owned through this path
};

// The client's audio, both ways, without widgets.
//
// Receive: "AU ON" (AF gain above 0) opens the playback in the compressed format (the device
// decodes) before the line is sent; a device that cannot be opened sends nothing, is reported
// through OnNotice and the caller returns the AF knob to 0. Each "AU" frame is checked and timed
// (common/FrameClock.h: dropped when 250 ms or more late, but for the first frame after a skip
// in the server's stamps that finds the card running short, and a lasting step in the delay,
// taken afresh after 2 s); damaged and late frames are dropped quietly, as are playback errors,
// and so are frames beyond kQueueMs of audio waiting for the card (a server sending ahead of
// time).
//
// Transmit: push-to-talk sends "TX" (not with VOX: the radio keys itself) and, while receive
// audio is on, captures the microphone in 128-byte blocks. A block is sent when its average
// absolute value is above the squelch (0..320) or the block before it was loud, so one quiet
// block follows the speech as a tail; a block that compresses to no bytes yet sends no line. On
// an uplink slower than the audio, blocks are skipped in the same way while the path to the
// server is behind (what waits would arrive late: common/LinkState.h), and for a while after that
// the microphone goes out in runs of two frames (common/AudioThinning.h), so that the radio never
// plays stale microphone audio.
// The level meter shows the block's peak div 2048 (0..16). The next push-to-talk click, the end
// of the connection or the closing of the microphone window ends transmitting ("RX" when the
// connection is still there).
//
// Main thread only; device failures never leave a handler.
class TClientAudio {
 public:
  // At most this much receive audio waits for the sound card.
  static constexpr std::uint32_t kQueueMs = 2000;
  static constexpr std::uint32_t kMicBlockBytes = 128;
  static constexpr std::uint8_t kMicBuffers = 8;
  static constexpr std::int32_t kSquelchMax = 320;
  static constexpr std::int32_t kLevelDivisor = 2048;
  // A slow uplink takes the microphone in runs of two 72 ms frames (18 blocks), each after a skip
  // of 160 ms (20 blocks), so that the frames either side of a skip stand more than 200 ms apart
  // in the stamps, which the server's clock sees (common/AudioThinning.h).
  static constexpr std::uint32_t kThinRunBlocks = 18;
  static constexpr std::uint32_t kThinSkipBlocks = 20;
  // A microphone block, and the frame the encoder makes of every nine blocks it is given; the
  // line goes out with the block that completes a frame, stamped then.
  static constexpr std::uint32_t kMicBlockMs = 8;
  static constexpr std::uint32_t kMicFrameMs = 72;
  // Whatever part of a frame the encoder held at a skip, the next frame needs a whole frame of
  // blocks sent after it.
  static_assert(kThinSkipBlocks * kMicBlockMs + kMicFrameMs >= TFrameClock::kGapMs,
                "a thinning skip must leave the server's clock a gap in the stamps it sees");

  explicit TClientAudio(IAudioLink& link);
  ~TClientAudio();
  TClientAudio(const TClientAudio&) = delete;
  TClientAudio& operator=(const TClientAudio&) = delete;

  TACMConvertor ACMConv;   // its input format (compressed) is the playback's format
  TACMConvertor ACMConv2;  // microphone PCM to the compressed format
  TACMIn ACMIn;
  TACMOut ACMOut;

  // 0..320; values outside are taken as the nearest end.
  std::int32_t MicSquelch() const { return micSquelch_; }
  void SetMicSquelch(std::int32_t value);
  bool UseVox() const { return useVox_; }
  void SetUseVox(bool value) { useVox_ = value; }

  // The AF gain knob moved; false when receive audio could not be switched on (the knob goes
  // back to 0).
  bool AFGainKnobChange(std::int32_t value);
  // The value of an "AU" line arriving at tick now.
  void ReceiveFrame(const std::string& value, std::uint32_t now);
  // The push-to-talk button, before it flips: transmitting says whether its LED is lit.
  void PTTButtonClick(bool transmitting);
  bool Transmitting() const { return transmitting_; }
  // Ends transmitting ("RX" while connected); nothing when not transmitting.
  void StopTransmit();
  // OnBufferFull of ACMIn.
  void ACMInBufferFull(const void* data, std::int32_t size);

  // A connect: audio off, the reference cleared, the previous block counted as quiet.
  void ResetForConnect();
  // The disconnect or the end of the connection: capture, playback and converters closed,
  // receive audio off, not transmitting.
  void Stop();

  bool MicWasQuiet() const { return micWasQuiet_; }
  std::uint32_t RefStamp() const { return clock_.RefStamp(); }
  std::uint32_t RefTick() const { return clock_.RefTick(); }
  std::int32_t Level() const { return level_; }

  // The level meter's position changed.
  std::function<void(std::int32_t level)> OnLevel;
  // Transmitting started or ended without a click (the connection or the window went).
  std::function<void(bool transmitting)> OnTransmitChange;
  // A failure the operator must see.
  std::function<void(const std::string& text)> OnNotice;

 private:
  bool StartReceive();
  void StopReceive();
  void StartCapture();
  void StopCapture();
  void SendBlock(const void* data, std::int32_t size);
  void SetLevel(std::int32_t level);
  void Notice(const std::string& text);

  IAudioLink& link_;
  TFrameClock clock_;
  std::int32_t micSquelch_ = 0;
  bool useVox_ = false;
  bool micWasQuiet_ = true;
  bool transmitting_ = false;
  TAudioThinning thinning_{kThinRunBlocks, kThinSkipBlocks};
  std::int32_t level_ = 0;
};

// Binds any session object with Connected, AudioOn, SetAudioOn, SendCommand and SendRaw.
template <class Session>
class AudioSessionFor final : public IAudioLink {
 public:
  explicit AudioSessionFor(Session& session) : session_(session) {}
  bool Connected() const override { return session_.Connected(); }
  bool AudioOn() const override { return session_.AudioOn(); }
  void SetAudioOn(bool value) override { session_.SetAudioOn(value); }
  void SendCommand(const std::string& line) override { session_.SendCommand(line); }
  void SendRaw(const std::string& line) override { session_.SendRaw(line); }
  TLinkState SampleSendLink() override { return session_.SampleSendLink(); }

 private:
  Session& session_;
};
