#pragma once

#include <string>

#include "client/ServerLines.h"

// The narrow paths from the client's session to its windows. The front panel binds them to its
// widgets and tool windows; tests bind recorders. Every path may be left unbound (nullptr). The
// session never owns what is behind a path.

// What the front panel and its tool windows do when the session changes state. The panel reads
// the details (StationName, AccessLevel, RxOnly, ModeGroup) from the session.
enum class TPanelChange {
  PowerOn,          // a connect succeeded: "Power Off" caption, display "ELECRAFT", controls
                    // enabled, AF gain 0
  ShowToolWindows,  // the frequency window when [Frequency Window] Visible, the contact window
                    // unless RxOnly; the "RX Only" item disabled
  StartTimer,       // start the 1-second timer
  StopTimers,       // stop the dial timer and the 1-second timer
  AccessKnown,      // enable the keyer and power knobs only when AccessLevel > 0
  StationShown,     // show StationName on the station label
  HideTxWindows,    // access level 0: hide the contact window, and the microphone window in voice
  RxOnlyLocked,     // check the "RX Only" item as RxOnly says and disable it
  StopAudio,        // close capture, playback and converters; AF gain 0
  PowerOff,         // the connection ended: everything back to idle
};

class IPanelView {
 public:
  virtual void PanelChanged(TPanelChange change) = 0;

 protected:
  ~IPanelView() = default;  // never owned through this path
};

// A status line for the display, the meter, the knobs or the receive audio (DISPLAY, SMETER,
// FREQ after the session took its frequency, KSPEED, PWR, RIT, SQUELCH, AUDIO).
class IStatusView {
 public:
  virtual void ShowStatus(TServerWord word, const std::string& value) = 0;

 protected:
  ~IStatusView() = default;  // never owned through this path
};

// A window that shows received text lines (chat, decoded Morse); it shows itself as needed.
class ITextView {
 public:
  virtual void AddText(const std::string& text) = 0;

 protected:
  ~ITextView() = default;  // never owned through this path
};

// A message box for the user.
class INoticeView {
 public:
  virtual void ShowNotice(const std::string& text, const std::string& caption) = 0;

 protected:
  ~INoticeView() = default;  // never owned through this path
};

struct TClientViews {
  IPanelView* Panel = nullptr;
  IStatusView* Status = nullptr;
  ITextView* Chat = nullptr;
  ITextView* Receive = nullptr;
  INoticeView* Notice = nullptr;
};
