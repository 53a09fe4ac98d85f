#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Library.h"
#include "platform/ProgramWindow.h"

namespace platform {
class MessageWindow;
}

// The link to the outside Morse decoder: the decoder program runs beside the server, decodes the
// receive audio, and hands its characters over through its exchange library, which this loads at
// run time. The server window owns one TCwDecoder for the whole run and drives it:
//
//   Setup()                 at first showing: loads the library, reads [CW Decoder] from the INI
//   StartCwDecoder()        from the relay when the radio enters a Morse mode
//   StopCwDecoder()         from the relay when it leaves them, and at session end
//   ForwardDecodedText()    each 500 ms timer tick while a session runs
//   SetCwRunLength(0)       at every accepted connection
//   UnloadCwDecoder()       at program end (the destructor does it too)
//
// Nothing here blocks: starting the decoder program and waiting for its window (at most
// StartTimeout(), 10 s) run on a timer of the calling thread, whose messages must be dispatched.
// Main thread only.
class TCwDecoder {
 public:
  // Receives one complete protocol line for the client, ending with CR LF.
  using LineSink = std::function<void(const std::string& line)>;
  // Receives one line for the event log.
  using LogSink = std::function<void(const std::string& message)>;

  static constexpr const char* kLibraryName = "DXSOFTEX.DLL";
  static constexpr const char* kInitSymbol = "_DxsoftExchangeInit";
  static constexpr const char* kReadSymbol = "_DxsoftGetSymFromRxBuffer";
  static constexpr const char* kWindowClass = "TRxForm";
  static constexpr const char* kSection = "CW Decoder";
  static constexpr const char* kEnableKey = "Enable CW Decoder";
  static constexpr const char* kPathKey = "CWGet Path";
  // Calls of the library's read function per timer tick: characters beyond wait for the next tick.
  static constexpr int kReadsPerTick = 512;

  TCwDecoder(std::string iniPath, LineSink sendLine, LogSink log);
  ~TCwDecoder();
  TCwDecoder(const TCwDecoder&) = delete;
  TCwDecoder& operator=(const TCwDecoder&) = delete;

  // The first-showing step: CwDecoderAvailable() = LoadCwDecoder(); when available,
  // CwDecoderEnabled() = [CW Decoder] Enable CW Decoder is "1" and DecoderPath() =
  // [CW Decoder] CWGet Path; otherwise the decoder stays disabled. Returns CwDecoderAvailable().
  bool Setup();

  // Loads the exchange library; true only when it loaded now and has both functions (it stays
  // loaded either way). False, changing nothing, when a library is loaded already.
  bool LoadCwDecoder();
  // Frees the library; the decoder counts as not running from then on.
  void UnloadCwDecoder();

  // Makes sure the decoder runs: adopts a decoder window that is open already (and starts the
  // exchange at once), or starts the decoder program detached in its own folder and starts the
  // exchange as soon as its window appears. Returns at once in every case. Does nothing without
  // the library or when no file exists at DecoderPath().
  void StartCwDecoder();
  // Stops forwarding text and asks the decoder's window to close (a decoder program started by
  // this and still without its window is asked to end). Returns at once.
  void StopCwDecoder();

  // Reads what the decoder has decoded (at most kReadsPerTick calls), through the run filter:
  // of a run of blanks, "e" and "t" only the first three pass. Control characters (below 32)
  // and DEL are dropped and leave the run alone. Empty when the decoder is not running.
  std::string CollectDecodedText();
  // The timer's step: collects, and sends "RXT " + text + CR LF when there is any text.
  void ForwardDecodedText();

  bool CwDecoderAvailable() const { return available_; }
  bool CwDecoderEnabled() const { return enabled_; }
  void SetCwDecoderEnabled(bool value) { enabled_ = value; }
  const std::string& DecoderPath() const { return path_; }
  void SetDecoderPath(const std::string& value) { path_ = value; }
  bool CwDecoderRunning() const { return running_; }
  std::int32_t CwRunLength() const { return runLength_; }
  void SetCwRunLength(std::int32_t value) { runLength_ = value; }
  const std::string& IniPath() const { return iniPath_; }

  // True from StartCwDecoder until the decoder's window was found or the wait gave up.
  bool Starting() const { return starting_; }
  std::uint32_t StartTimeout() const { return startTimeout_; }
  void SetStartTimeout(std::uint32_t ms) { startTimeout_ = ms; }

 private:
  using InitProc = std::uint8_t (*)(std::int32_t);
  using ReadProc = std::int32_t (*)();

  void CheckStart();
  void EndStart();
  void StartExchange();
  bool ClosingWindowGone();
  void Log(const std::string& message) const;

  std::string iniPath_;
  LineSink sendLine_;
  LogSink log_;

  platform::LibraryHandle library_ = nullptr;
  InitProc init_ = nullptr;
  ReadProc read_ = nullptr;

  bool available_ = false;
  bool enabled_ = false;
  std::string path_;
  bool running_ = false;
  std::int32_t runLength_ = 0;

  // The start in progress.
  bool starting_ = false;
  bool launched_ = false;
  std::uint32_t startTick_ = 0;
  std::uint32_t startTimeout_ = 10000;
  // The decoder program this started last, and the window this last asked to close, which does
  // not count as a running decoder while it is still on its way out.
  platform::ProcessId process_;
  bool windowless_ = false;  // process_ has not shown a window yet
  platform::ProgramWindow closing_;
  bool closingValid_ = false;

  std::unique_ptr<platform::MessageWindow> timer_;
};
