#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "audio/ACMConvertor.h"
#include "audio/ACMIn.h"
#include "audio/ACMOut.h"
#include "common/AudioThinning.h"
#include "common/FrameClock.h"
#include "relay/RelayLinks.h"

// The server's audio, both ways, for the one client session.
//
// Receive: the sound card is captured in blocks of one eighth of a second of 16-bit PCM (8000
// samples per second, mono). A block passes the squelch when its average absolute value exceeds
// SquelchLevel, or its peak exceeds twice the level, or the block before it was loud (so one
// quiet block follows the sound as a tail). Each block that passes is compressed to MPEG
// Layer-3 and sent as "AU " + frame (see common/AudioFrame.h); a block that yields no compressed
// bytes yet sends nothing. On a link slower than the audio, blocks are skipped in the same way
// while the path to the client is behind (what waits would arrive late: common/LinkState.h), and
// for a while after that only one block in two goes out (common/AudioThinning.h); the event log
// says when that begins and when the audio is whole again.
//
// Transmit: "AU DATA " + frame lines are played on the sound card in the compressed format (the
// device decodes). A frame that arrives 250 ms or more later than the client's clock says is
// dropped, but for the first frame after a skip in the client's stamps that finds the card
// running short, and for a lasting step in the delay, taken afresh after 2 s
// (common/FrameClock.h). At most about 2 s of audio wait for the sound card; frames beyond that
// are dropped. The event log's lines about the client's audio carry its address.
//
// Commands ("AUDIO " + value; the sub-word in any case):
//   ON            opens capture and playback (a device that cannot be opened is logged and the
//                 client told with a "#" line; the other direction and the session go on)
//   OFF           closes both
//   DATA <frame>  plays the frame; needs TX/RX (below it the frame would reach the transmitter
//                 through the radio's VOX) and is ignored otherwise
//   FORMAT <hex>  sets the compressed format: needs Full, audio off, at most 129 bytes of
//                 upper- or lower-case hexadecimal digits, and a record the codec and the sound
//                 card both take
// Anything else, DATA with 32 characters or fewer and FORMAT without an argument are answered
// '# Invalid command "AUDIO <sub-word>"'.
//
// Meters: RxAudio() is the length of the last frame sent (0 under the squelch), TxAudio() the
// payload length of the last frame played, both at most 2000. The TX value is held for two
// capture blocks after the last "AU DATA" line and then falls to 0; while nothing is captured it
// keeps its value. OnMeterChange reports every change.
//
// Main thread only. Device and codec failures never leave a handler: they are logged, the client
// is told, and the direction that failed is closed.
class TAudioStream {
 public:
  static constexpr std::int32_t kMeterMax = 2000;
  static constexpr std::uint32_t kQueueMs = 2000;
  static constexpr std::int32_t kTxMeterHold = 2;
  // A captured block, sent as one "AU" line stamped when it is captured.
  static constexpr std::uint32_t kBlockMs = 125;
  // A slow link takes the receive audio one block in two, so that every frame it carries follows
  // a skip of 250 ms in the stamps, which the client's clock sees (common/AudioThinning.h).
  static constexpr std::uint32_t kThinRunBlocks = 1;
  static constexpr std::uint32_t kThinSkipBlocks = 1;
  // The next block sent after a skip is stamped skip + 1 blocks after the last one sent.
  static_assert((kThinSkipBlocks + 1) * kBlockMs >= TFrameClock::kGapMs,
                "a thinning skip must leave the client's clock a gap in the stamps it sees");
  // 129 bytes as hexadecimal digits.
  static constexpr std::size_t kMaxFormatHex = 2 * sizeof(TACMWaveFormat);

  using TLogEvent = std::function<void(const std::string& message)>;
  using TMeterEvent = std::function<void(TAudioStream& sender)>;

  // client carries the "AU" and "#" lines; log writes the event log. Both must outlive this.
  TAudioStream(IClientLink& client, TLogEvent log);
  ~TAudioStream();
  TAudioStream(const TAudioStream&) = delete;
  TAudioStream& operator=(const TAudioStream&) = delete;

  // --- Components ----------------------------------------------------------------------------
  TACMConvertor ACMConv;   // receive: PCM to MPEG Layer-3
  TACMConvertor ACMConv2;  // transmit formats; its input format is the compressed format
  TACMIn ACMIn;
  TACMOut ACMOut;

  // --- Settings (read at the first showing) ------------------------------------------------------
  // -1 the default device, n the n-th sound card.
  std::int32_t SoundCard() const { return soundCard_; }
  void SetSoundCard(std::int32_t value) { soundCard_ = value; }
  // 0 to 100; values outside are taken as the nearest end.
  std::int32_t SquelchLevel() const { return squelchLevel_; }
  void SetSquelchLevel(std::int32_t value);
  // Devices and block sizes from the settings (also while audio runs: a new device is used from
  // the next "AU ON").
  void Setup(std::int32_t soundCard, std::int32_t squelchLevel);

  // --- Session ---------------------------------------------------------------------------------
  // A client is connected: blocks captured without one are ignored.
  bool ClientConnected() const { return clientConnected_; }
  void SetClientConnected(bool value) { clientConnected_ = value; }
  // Samples the path to the client and says what it is (common/LinkState.h), before each block;
  // the audio is never thinned when unset.
  void SetSampleClientLink(std::function<TLinkState()> sample) { sampleLink_ = std::move(sample); }
  // The client's address, which the event log's lines about its link carry.
  void SetClientAddress(std::string address) { clientAddress_ = std::move(address); }
  // A new caller: audio state of the last session forgotten, reference cleared.
  void ResetSession();
  // The session ended: capture and playback close as at "AU OFF".
  void SessionEnded();
  // Clears the transmit reference.
  void ClearTxReference();
  // No session: meters 0 and the transmit reference cleared (at the first showing and when the
  // window is reset after a session).
  void SetIdle();

  // The value of an "AUDIO" line, with the session's access level (0 RX only, 1 TX/RX, 2 Full).
  void AudioCommand(const std::string& value, std::int32_t accessLevel);

  void AudioOn();
  void AudioOff();
  // A frame of an "AU DATA" line (longer than 32 characters) arriving at tick now.
  void PlayFrame(const std::string& frame, std::uint32_t now);
  // OnBufferFull of ACMIn.
  void ACMInBufferFull(const void* data, std::int32_t size);

  bool RxRunning() const { return ACMConv.Active(); }
  bool TxRunning() const { return ACMOut.Active(); }
  bool RxQuiet() const { return rxQuiet_; }
  // 0 when there is no reference.
  std::uint32_t TxRefStamp() const { return txClock_.RefStamp(); }
  std::uint32_t TxRefTick() const { return txClock_.RefTick(); }
  std::int32_t TxMeterHold() const { return txMeterHold_; }

  // --- Meters ------------------------------------------------------------------------------------
  std::int32_t RxAudio() const { return rxAudio_; }
  std::int32_t TxAudio() const { return txAudio_; }
  TMeterEvent OnMeterChange;

 private:
  void SetMeters(std::int32_t rx, std::int32_t tx);
  void SetFormat(const std::string& hex, std::int32_t accessLevel);
  // Compresses one captured block and sends it; the meter value (0 when nothing was sent).
  std::int32_t SendBlock(const std::uint8_t* data, std::size_t size);
  void OpenCapture();
  void OpenPlayback();
  void StopCapture();
  void StopPlayback();
  // Runs open; when it raises, reports the failure and runs undo.
  void Attempt(const char* direction, const std::function<void()>& open,
               void (TAudioStream::*undo)());
  void Deactivate(TACMConvertor& converter, const char* direction);
  void Fail(const std::string& what, const std::string& error);
  // An event log line about this client.
  void Log(const std::string& message);
  void Send(const std::string& line);
  std::uint32_t QueueLimitBytes() const;
  // Whether a block that passed the squelch goes out on the client's link.
  bool LinkTakesBlock();
  void UpdateBufferSizes();

  IClientLink& client_;
  TLogEvent log_;
  std::int32_t soundCard_ = -1;
  std::int32_t squelchLevel_ = 20;
  bool clientConnected_ = false;
  bool rxQuiet_ = false;
  std::function<TLinkState()> sampleLink_;
  std::string clientAddress_;
  TAudioThinning thinning_{kThinRunBlocks, kThinSkipBlocks};
  TFrameClock txClock_;
  std::int32_t txMeterHold_ = 0;
  std::int32_t rxAudio_ = 0;
  std::int32_t txAudio_ = 0;
};
