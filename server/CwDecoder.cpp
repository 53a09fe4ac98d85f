#include "server/CwDecoder.h"

#include <limits>

#include "common/Utils.h"
#include "platform/MessageWindow.h"
#include "platform/Paths.h"
#include "platform/Tick.h"

namespace {

constexpr platform::WPARAM kCheckTimer = 1;
constexpr unsigned kCheckInterval = 500;

// The folder of a file name, without its trailing separator ("/" stays "/").
std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

TCwDecoder::TCwDecoder(std::string iniPath, LineSink sendLine, LogSink log)
    : iniPath_(std::move(iniPath)), sendLine_(std::move(sendLine)), log_(std::move(log)) {
  timer_ = std::make_unique<platform::MessageWindow>(
      [this](unsigned msg, platform::WPARAM id, platform::LPARAM) -> platform::LRESULT {
        if (msg == platform::WM_TIMER && id == kCheckTimer) CheckStart();
        return 0;
      });
}

TCwDecoder::~TCwDecoder() {
  EndStart();
  UnloadCwDecoder();
}

bool TCwDecoder::Setup() {
  available_ = LoadCwDecoder();
  if (available_) {
    enabled_ = ReadIniString(iniPath_, kSection, kEnableKey, "") == "1";
    path_ = ReadIniString(iniPath_, kSection, kPathKey, "");
  } else {
    enabled_ = false;
  }
  return available_;
}

bool TCwDecoder::LoadCwDecoder() {
  if (library_ != nullptr) return false;
  std::string error;
  library_ = platform::LoadLibrary(kLibraryName, &error);
  if (library_ == nullptr) {
    // Without the library the feature is simply off; only a library that is there and broken
    // deserves a line.
    if (!error.empty()) Log("CW decoder library not loaded: " + error);
    return false;
  }
  init_ = reinterpret_cast<InitProc>(platform::GetProcAddress(library_, kInitSymbol));
  read_ = reinterpret_cast<ReadProc>(platform::GetProcAddress(library_, kReadSymbol));
  if (init_ == nullptr || read_ == nullptr) {
    Log("CW decoder library " + platform::LibraryPath(library_) + " lacks " +
        (init_ == nullptr ? kInitSymbol : kReadSymbol));
    init_ = nullptr;
    read_ = nullptr;
    return false;
  }
  return true;
}

void TCwDecoder::UnloadCwDecoder() {
  EndStart();
  running_ = false;
  init_ = nullptr;
  read_ = nullptr;
  if (library_ != nullptr) platform::FreeLibrary(library_);
  library_ = nullptr;
}

void TCwDecoder::StartCwDecoder() {
  EndStart();
  running_ = false;
  if (init_ == nullptr || read_ == nullptr) return;
  if (!platform::FileExists(path_)) {
    Log("CW decoder program not found: " + path_);
    return;
  }
  starting_ = true;
  launched_ = false;
  startTick_ = platform::GetTickCount();
  CheckStart();
  if (starting_) timer_->SetTimer(kCheckTimer, kCheckInterval);
}

void TCwDecoder::CheckStart() {
  if (!starting_) return;
  if (init_ == nullptr || read_ == nullptr) {
    EndStart();
    return;
  }
  const bool closingGone = ClosingWindowGone();
  for (const auto& window : platform::FindProgramWindows(kWindowClass, process_)) {
    if (closingValid_ && window == closing_) continue;
    EndStart();
    windowless_ = false;
    StartExchange();
    return;
  }
  // One program per start, and none while an earlier decoder is still on its way out.
  if (!launched_ && closingGone && !platform::ProcessRunning(process_)) {
    launched_ = true;
    std::string error;
    platform::ProcessId started = platform::StartProgram(path_, FolderOf(path_), &error);
    if (!started) {
      Log("CW decoder program not started: " + error);
      EndStart();
      return;
    }
    process_ = started;
    windowless_ = true;
    return;
  }
  if (platform::GetTickCount() - startTick_ >= startTimeout_) {
    Log("CW decoder window did not appear within " + std::to_string((startTimeout_ + 999) / 1000) +
        " s; the decoder is off");
    EndStart();
  }
}

void TCwDecoder::EndStart() {
  starting_ = false;
  if (timer_) timer_->KillTimer(kCheckTimer);
}

void TCwDecoder::StartExchange() {
  running_ = init_(1) != 0;
  if (!running_) Log("CW decoder exchange did not start");
}

bool TCwDecoder::ClosingWindowGone() {
  if (!closingValid_) return true;
  if (platform::ProgramWindowExists(closing_)) return false;
  closingValid_ = false;
  return true;
}

void TCwDecoder::StopCwDecoder() {
  EndStart();
  running_ = false;
  ClosingWindowGone();
  const bool windowless = windowless_;
  windowless_ = false;
  for (const auto& window : platform::FindProgramWindows(kWindowClass, process_)) {
    if (closingValid_ && window == closing_) continue;
    if (platform::CloseProgramWindow(window)) {
      closing_ = window;
      closingValid_ = true;
    }
    return;
  }
  // A program this started that has not shown its window yet would otherwise stay behind.
  if (windowless) platform::TerminateProcess(process_);
}

std::string TCwDecoder::CollectDecodedText() {
  std::string text;
  if (!running_ || read_ == nullptr) return text;
  for (int call = 0; call < kReadsPerTick; ++call) {
    std::int32_t symbol = read_();
    if (symbol < 0) break;
    if (symbol == 0) continue;
    auto c = static_cast<unsigned char>(symbol & 0xFF);
    // A control character in an "RXT" line could end the line or garble the client's window.
    if (c < 32 || c == 127) continue;
    if (c == ' ' || c == 'e' || c == 't') {
      if (runLength_ < std::numeric_limits<std::int32_t>::max()) ++runLength_;
    } else {
      runLength_ = 0;
    }
    if (runLength_ < 4) text += static_cast<char>(c);
  }
  return text;
}

void TCwDecoder::ForwardDecodedText() {
  std::string text = CollectDecodedText();
  if (!text.empty() && sendLine_) sendLine_("RXT " + text + "\r\n");
}

void TCwDecoder::Log(const std::string& message) const {
  if (log_) log_(message);
}
