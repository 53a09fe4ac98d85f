#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/DateTime.h"

// ADIF records of the contacts the operator saves: the field syntax, the band table and the
// record the contact window writes to the ADIF files and sends to the server. Qt-free.

// Appends "<NAME:length>value" to record; an empty value adds nothing. The length counts the
// bytes of the 8-bit text, as an ADIF reader counts them.
void AddAdifField(std::string& record, std::string_view name, std::string_view value);

// The band of a frequency in kHz ("40m", "2m", ...), both ends of a band included; "unknown"
// outside every band.
std::string BandOf(double kHz);

// A frequency in kHz as ADIF's FREQ in MHz with six decimals and "." whatever the locale
// ("7.025500").
std::string AdifFreq(double kHz);

// "CW", "SSB" or "PSK31" for the mode groups 1, 2 and 3; empty for any other group.
std::string AdifMode(std::uint8_t modeGroup);

// Field text made safe for one record line: every control character becomes a blank.
std::string AdifText(std::string_view text);

// The call as logged: upper case, without blanks or control characters anywhere, so that it is
// always one word of the "LOG" line.
std::string ContactCall(std::string_view text);

// The serial number sent, after a saved contact: a text of 3 or more characters that is an
// integer becomes that integer plus 1 with at least 3 digits ("001" -> "002"); any other text
// stays as it is.
std::string NextSerial(const std::string& text);

// The texts of the contact window's fields.
struct TContactFields {
  std::string Call, Name, RstSent, SerSent, RstRcvd, SerRcvd, Qth, Grid, Comment;
};

// A contact as saved: the fields, the times in UTC (0: not set), the mode group and the
// frequency (kHz) captured for it.
struct TContact {
  TContactFields Fields;
  TDateTime Start = 0;
  TDateTime End = 0;
  std::uint8_t ModeGroup = 0;
  double FreqKhz = 0;
};

// The record for the client's own ADIF file: CALL, QSO_DATE, TIME_ON, TIME_OFF, FREQ, BAND,
// MODE, RST_RCVD, RST_SENT, SRX, STX, NAME (left out when it is "OM"), QTH, GRIDSQUARE and
// COMMENT, then "<EOR>".
std::string LocalRecord(const TContact& contact);

// The same record for the server's log, its COMMENT being "Op: <own call>. <comment>", trimmed.
std::string ServerRecord(const TContact& contact, const std::string& ownCall);

// "yyyymmdd" and "hhnnss" of a UTC time.
std::string AdifDate(TDateTime utc);
std::string AdifTime(TDateTime utc);
