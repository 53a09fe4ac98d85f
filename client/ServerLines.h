#pragma once

#include <cstddef>
#include <string>

// The server's side of the line protocol as the client reads it: cutting received bytes into
// lines and naming a line's word (the text before its first space, see SplitAtFirstSpace in
// text/Text.h). Qt-free.

// The words the client acts on. A received word is looked up by the position of its first
// occurrence inside "#DISPLAYSMETERFREQKSPEEDPWRITSQUELCHAUDIOPRIVCHATRXT" (case matters), so a
// prefix of a keyword selects it: "SM" is SMeter, "KS" KSpeed, "AU" Audio, "RX" Rxt.
enum class TServerWord {
  None,
  Message,  // "#": text for the user
  Display,
  SMeter,
  Freq,
  KSpeed,
  Pwr,
  Rit,
  Squelch,
  Audio,
  Priv,
  Chat,
  Rxt
};

inline constexpr const char* kServerKeywords =
    "#DISPLAYSMETERFREQKSPEEDPWRITSQUELCHAUDIOPRIVCHATRXT";

// The word at its keyword position; None for an empty word, one not found, or one found at a
// position no keyword starts at.
TServerWord ServerWordOf(const std::string& word);

// A "#" message's value as it is shown: every "||" becomes one CR.
std::string MessageText(const std::string& value);

// A kilohertz value with "." as its decimal separator, nothing else around it. False when the
// text is no finite number.
bool ParseKilohertz(const std::string& text, double& khz);

// A frequency the radio can report: ParseKilohertz's number, above 0 and below 100 MHz. False
// (khz untouched) for anything else, so that the dial never steps from an absurd value.
bool ParseReportedFrequency(const std::string& text, double& khz);

// Cuts received bytes into lines. A line ends at CR or at LF, whichever comes, also when the two
// of a CR LF arrive in separate reads; empty lines are skipped. A line that grows beyond kMaxLine
// without an end is dropped up to its end, so a peer that never ends its line cannot make the
// buffer grow without bound. Taken bytes are given back as soon as they are as many as those
// held, so the buffer never holds more than twice Held() and one read, however long the reader
// keeps a backlog.
class TServerLineCutter {
 public:
  static constexpr std::size_t kMaxLine = 64 * 1024;

  void Append(const char* data, std::size_t count);
  // Takes the next complete line (without its end); false when none is complete.
  bool NextLine(std::string& line);
  void Clear();

  // Bytes held: the partial line and complete lines not yet taken.
  std::size_t Held() const { return buffer_.size() - start_; }
  // Bytes the buffer has room for, taken ones included.
  std::size_t Capacity() const { return buffer_.capacity(); }
  // Lines dropped for their length since the last Clear.
  std::size_t Dropped() const { return dropped_; }

 private:
  std::string buffer_;
  std::size_t start_ = 0;    // taken bytes before it are erased in Append
  std::size_t scanned_ = 0;  // bytes from start_ known to hold no line end
  bool skipping_ = false;    // dropping the rest of an over-long line
  std::size_t dropped_ = 0;
};
