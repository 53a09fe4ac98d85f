#include "logbook/AdifRecord.h"

#include <charconv>
#include <cstdio>

#include "common/ModeGroup.h"
#include "text/Text.h"

namespace {

struct TBand {
  const char* Name;
  double FromMhz, ToMhz;
};

constexpr TBand kBands[] = {
    {"2190m", 0.136, 0.137}, {"160m", 1.8, 2.0},   {"80m", 3.5, 4.0},    {"60m", 5.25, 5.4},
    {"40m", 7.0, 7.3},       {"30m", 10.0, 10.15}, {"20m", 14.0, 14.35}, {"17m", 18.0, 18.168},
    {"15m", 21.0, 21.45},    {"12m", 24.0, 24.99}, {"10m", 28.0, 29.7},  {"6m", 50, 54},
    {"4m", 70, 71},          {"2m", 144, 148},     {"1.25m", 222, 225},  {"70cm", 420, 450},
    {"23cm", 1240, 1300},
};

// Fields 1 to 14, the part both records share.
std::string SharedFields(const TContact& c) {
  const TContactFields& f = c.Fields;
  std::string r;
  AddAdifField(r, "CALL", ContactCall(f.Call));
  AddAdifField(r, "QSO_DATE", AdifDate(c.Start));
  AddAdifField(r, "TIME_ON", AdifTime(c.Start));
  AddAdifField(r, "TIME_OFF", AdifTime(c.End));
  AddAdifField(r, "FREQ", AdifFreq(c.FreqKhz));
  AddAdifField(r, "BAND", BandOf(c.FreqKhz));
  AddAdifField(r, "MODE", AdifMode(c.ModeGroup));
  AddAdifField(r, "RST_RCVD", AdifText(f.RstRcvd));
  AddAdifField(r, "RST_SENT", AdifText(f.RstSent));
  AddAdifField(r, "SRX", AdifText(f.SerRcvd));
  AddAdifField(r, "STX", AdifText(f.SerSent));
  if (f.Name != "OM") AddAdifField(r, "NAME", AdifText(f.Name));
  AddAdifField(r, "QTH", AdifText(f.Qth));
  AddAdifField(r, "GRIDSQUARE", AdifText(f.Grid));
  return r;
}

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v % 100);
  return buf;
}

}  // namespace

void AddAdifField(std::string& record, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  record += '<';
  record += name;
  record += ':';
  record += std::to_string(value.size());
  record += '>';
  record += value;
}

std::string BandOf(double kHz) {
  const double mhz = kHz / 1000;
  for (const TBand& b : kBands)
    if (mhz >= b.FromMhz && mhz <= b.ToMhz) return b.Name;
  return "unknown";
}

std::string AdifFreq(double kHz) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, kHz / 1000, std::chars_format::fixed, 6);
  if (res.ec != std::errc()) return "0.000000";
  return std::string(buf, res.ptr);
}

std::string AdifMode(std::uint8_t modeGroup) {
  switch (modeGroup) {
    case kModeGroupMorse:
      return "CW";
    case kModeGroupVoice:
      return "SSB";
    case kModeGroupData:
      return "PSK31";
    default:
      return "";
  }
}

std::string AdifText(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  return out;
}

std::string ContactCall(std::string_view text) {
  std::string call;
  for (char c : text)
    if (!IsBlank(c) && c != 127) call += UpperAscii(c);
  return call;
}

std::string NextSerial(const std::string& text) {
  if (text.size() <= 2) return text;
  std::optional<std::int32_t> value = ParseInt32(text);
  if (!value || *value == INT32_MAX) return text;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3.3d", *value + 1);
  return buf;
}

std::string AdifDate(TDateTime utc) {
  DateTimeParts p = DecodeDateTime(utc);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.Year % 10000, p.Month, p.Day);
  return buf;
}

std::string AdifTime(TDateTime utc) {
  DateTimeParts p = DecodeDateTime(utc);
  return TwoDigits(p.Hour) + TwoDigits(p.Minute) + TwoDigits(p.Second);
}

std::string LocalRecord(const TContact& contact) {
  std::string r = SharedFields(contact);
  AddAdifField(r, "COMMENT", AdifText(contact.Fields.Comment));
  return r + "<EOR>";
}

std::string ServerRecord(const TContact& contact, const std::string& ownCall) {
  std::string r = SharedFields(contact);
  AddAdifField(r, "COMMENT", Trim(AdifText("Op: " + ownCall + ". " + contact.Fields.Comment)));
  return r + "<EOR>";
}
