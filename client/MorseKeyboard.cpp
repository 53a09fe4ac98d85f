#include "client/MorseKeyboard.h"

#include <cstring>

#include "common/ModeGroup.h"
#include "text/Text.h"

namespace {

// Typed characters that go to the keyer as they are (letters aside).
constexpr char kTypedText[] = "\"$'+-/:=_0123456789";
// Characters of a macro text that go to the keyer as they are (letters aside).
constexpr char kMacroText[] = " ,-.:?0123456789";

bool In(const char* set, char c) {
  return c != '\0' && std::strchr(set, c) != nullptr;
}

bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}

bool IsLower(char c) {
  return c >= 'a' && c <= 'z';
}

bool Blank(const std::string& text) {
  return Trim(text, " ").empty();
}

}  // namespace

std::string CutNumbers(std::string text) {
  for (char& c : text) {
    if (c == '9') c = 'N';
    if (c == '0') c = 'T';
  }
  return text;
}

std::string Greeting(int hour) {
  if (hour < 12) return "GM";
  return hour < 18 ? "GA" : "GE";
}

int MacroOfKey(unsigned virtualKey, int modeGroup) {
  if (modeGroup != kModeGroupMorse || virtualKey < 112 || virtualKey > 123) return 0;
  return static_cast<int>(virtualKey) - 111;
}

void TMorseKeyboard::Reset() {
  transmitting_ = false;
  buffer_.clear();
}

void TMorseKeyboard::Pump() {
  if (links_.Pump) links_.Pump();
}

void TMorseKeyboard::SendLine(const std::string& line) {
  if (links_.Trace) links_.Trace(" SENT: " + line);
  if (links_.Send) links_.Send(line);
}

void TMorseKeyboard::Append(const std::string& text) {
  buffer_ += text;
  memo_ += text;
}

void TMorseKeyboard::Flush() {
  if (!transmitting_ || Blank(buffer_)) return;
  SendLine("CW " + buffer_);
  buffer_.clear();
}

void TMorseKeyboard::Backspace() {
  if (buffer_.empty()) return;
  buffer_.pop_back();
  // An empty memo (its text was cleared apart from the buffer) has nothing to take back.
  if (memo_.empty()) return;
  const bool lineEnd = memo_.back() == '\n';
  memo_.pop_back();
  if (lineEnd && !memo_.empty() && memo_.back() == '\r') memo_.pop_back();
}

TKeyEffect TMorseKeyboard::KeyPress(char key, bool upperCase) {
  switch (key) {
    case 1:
      return TKeyEffect::SelectAll;
    case 3:
      return TKeyEffect::Copy;
    case 8:
      Backspace();
      return TKeyEffect::None;
    case 13:
      buffer_ += "  ";
      memo_ += "\r\n";
      Flush();
      return TKeyEffect::None;
    case 22:
      return TKeyEffect::Paste;
    case 27:
      Stop();
      return TKeyEffect::None;
    case ' ':
      Append(" ");
      Flush();
      return TKeyEffect::None;
    case ',':
    case '.':
    case '?':
      buffer_ += std::string(1, key) + " ";
      memo_ += key;
      if (transmitting_) {
        SendLine("CW " + buffer_);
        buffer_.clear();
      }
      return TKeyEffect::None;
    default:
      break;
  }
  if (IsLower(key) && upperCase) key = UpperAscii(key);
  if (IsUpper(key) || IsLower(key) || In(kTypedText, key)) Append(std::string(1, key));
  return TKeyEffect::None;
}

void TMorseKeyboard::Stop() {
  SendLine("CW *");
  transmitting_ = false;
  buffer_.clear();
  memo_.clear();
}

void TMorseKeyboard::SendButton() {
  if (transmitting_) {
    SendLine("CW *");
    transmitting_ = false;
    memo_.clear();
  } else {
    transmitting_ = true;
    SendLine("CW " + buffer_);
  }
  buffer_.clear();
}

void TMorseKeyboard::Clear() {
  if (transmitting_) {
    SendButton();
    Pump();
  }
  buffer_.clear();
  memo_.clear();
}

void TMorseKeyboard::Expand(char code, const TMacroLinks& links) {
  TContactFields& f = *links.Fields;
  std::string text;
  switch (LowerAscii(code)) {
    case 'c':
      if (f.Call.empty() && links.AskCall) {
        f.Call = links.AskCall();
        if (!f.Call.empty() && links.CallEntered) links.CallEntered();
      }
      text = UpperAscii(f.Call);
      break;
    case 'g':
      text = Greeting(links.LocalHour ? links.LocalHour() : 0);
      break;
    case 'm':
      if (links.OwnCall) text = links.OwnCall();
      break;
    case 'n':
      if (f.Name.empty()) f.Name = "OM";
      text = UpperAscii(f.Name);
      break;
    case 'r':
      if (f.RstSent.empty()) f.RstSent = "599";
      text = CutNumbers(f.RstSent);
      break;
    case 's':
      text = CutNumbers(f.SerSent);
      break;
    case 'y':
      if (links.StationName) text = links.StationName();
      break;
    default:
      break;
  }
  Append(text);
}

void TMorseKeyboard::Command(char code, const TMacroLinks& links, TRun& run) {
  switch (LowerAscii(code)) {
    case 'c':
      buffer_.clear();
      memo_.clear();
      Pump();
      break;
    case 's':
      if (links.LogStart) links.LogStart();
      break;
    case 'x':
      if (links.LogEnd) links.LogEnd();
      break;
    case 't':
      run.transmit = true;
      break;
    case 'l':
      run.log = true;
      break;
    case 'r':
      run.receive = true;
      break;
    default:
      break;
  }
}

void TMorseKeyboard::SendMacro(const std::string& text, const TMacroLinks& links) {
  if (text.empty() || links.Fields == nullptr) return;
  TRun run;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      buffer_ += ' ';
      memo_ += c;
    } else if (IsUpper(c) || In(kMacroText, c)) {
      Append(std::string(1, c));
    } else if (IsLower(c)) {
      Append(std::string(1, UpperAscii(c)));
    } else if ((c == '%' || c == '^') && i + 1 < text.size()) {
      // A "%" or "^" at the very end has no code behind it and is dropped.
      const char code = text[++i];
      if (c == '%')
        Expand(code, links);
      else
        Command(code, links, run);
    }
  }
  if (links.ShowMemo) links.ShowMemo();
  if (run.transmit) transmitting_ = true;
  Flush();
  if (run.log && links.SaveContact) links.SaveContact();
  if (run.receive) transmitting_ = false;
}
