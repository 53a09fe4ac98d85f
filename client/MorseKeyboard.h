#pragma once

#include <functional>
#include <string>

#include "logbook/AdifRecord.h"

// The contact window's Morse keyboard without its widgets: the send buffer, the text of the
// type-ahead memo (lines end with CR LF), the transmitting flag, the typed keys, the Send, Stop
// and Clear buttons, and the expansion and sending of text macros. Main thread only.
//
// While transmitting, each completed word goes to the server at once as "CW " and the buffer;
// "CW *" stops the radio's keyer. The window shows Memo() and Transmitting() after each call.

// The paths to the connection, the trace file and the event loop; each may stay unbound.
struct TKeyboardLinks {
  // Writes the line with CR LF to the connection, as it is; dropped when the connection is
  // closed. Never raises.
  std::function<void(const std::string& line)> Send;
  // Writes one line to the trace file (after its time) when tracing is on.
  std::function<void(const std::string& text)> Trace;
  // Lets pending window messages run.
  std::function<void()> Pump;
};

// What a macro reaches outside the keyboard: the contact's fields and log, the own call, the
// station and the clock. Fields must be set; each function may stay unbound.
struct TMacroLinks {
  TContactFields* Fields = nullptr;
  // The "Enter call" box; the answer, empty when cancelled.
  std::function<std::string()> AskCall;
  // AskCall's answer was put into the call field.
  std::function<void()> CallEntered;
  std::function<std::string()> OwnCall;
  std::function<std::string()> StationName;  // the connected station
  std::function<int()> LocalHour;            // 0 to 23
  std::function<void()> LogStart;            // ^s
  std::function<void()> LogEnd;              // ^x
  // Shows Memo() with the caret at its end and lets pending window messages run.
  std::function<void()> ShowMemo;
  std::function<void()> SaveContact;  // ^l, after the text was sent
};

// What a typed character asks of the memo widget beyond the text the keyboard keeps.
enum class TKeyEffect { None, SelectAll, Copy, Paste };

// Every "9" becomes "N" and every "0" becomes "T" (the short forms of a report or serial).
std::string CutNumbers(std::string text);

// The greeting for a local hour: "GM" before 12, "GA" before 18, "GE" after.
std::string Greeting(int hour);

// The macro that a released key runs: F1 to F12 (virtual key codes 112 to 123) give 1 to 12
// while the mode group is 1 (Morse); every other key or mode gives 0.
int MacroOfKey(unsigned virtualKey, int modeGroup);

class TMorseKeyboard {
 public:
  explicit TMorseKeyboard(TKeyboardLinks links) : links_(std::move(links)) {}

  const std::string& Buffer() const { return buffer_; }
  const std::string& Memo() const { return memo_; }
  bool Transmitting() const { return transmitting_; }

  // The contact window is shown: not transmitting, nothing waiting; the memo stays.
  void Reset();

  // The memo's typed character (its code after Ctrl: 1 for Ctrl+A). Letters are made upper case
  // when upperCase. What the keyboard keeps changes here; the effect is the widget's part.
  TKeyEffect KeyPress(char key, bool upperCase);

  // Esc: "CW *", not transmitting, buffer and memo empty.
  void Stop();
  // Send/Stop: while transmitting "CW *" and the memo emptied; otherwise transmitting starts and
  // the buffer goes out, also when it is empty. The buffer is empty afterwards.
  void SendButton();
  // Clear: stops first while transmitting; then buffer and memo are empty.
  void Clear();
  // While transmitting: a buffer that is not blank goes out and is emptied.
  void Flush();

  // Expands and sends a macro text (also pasted text): CR and LF give a blank in the buffer,
  // letters are made upper case, blanks "," "-" "." ":" "?" and digits stay, every other
  // character is dropped; "%" codes insert the contact's fields, "^" codes steer the keyboard
  // and the log. An empty text does nothing.
  void SendMacro(const std::string& text, const TMacroLinks& links);

 private:
  struct TRun {
    bool transmit = false, log = false, receive = false;
  };
  void SendLine(const std::string& line);
  void Append(const std::string& text);
  void Backspace();
  void Expand(char code, const TMacroLinks& links);
  void Command(char code, const TMacroLinks& links, TRun& run);
  void Pump();

  TKeyboardLinks links_;
  std::string buffer_;
  std::string memo_;
  bool transmitting_ = false;
};
