#include "client/DisplayReport.h"

#include <algorithm>

#include "common/ModeGroup.h"

namespace {

constexpr std::size_t kReportLength = 10;
constexpr unsigned char kPointBit = 0x80;
constexpr char kBlankPlace = '@';  // a place the display leaves dark

bool Bit(unsigned value, int n) {
  return (value >> n) & 1U;
}

// The annunciators from byte A and the blink flags of byte B. The blink flags of bits 0 and 1
// count only where the annunciator itself is on; bit 2 of A picks one of the two marks of its
// pair (5 when clear, 6 when set) and bit 2 of B blinks whichever of them is lit.
void DecodeAnnunciators(unsigned a, unsigned b, TDisplayReport& report) {
  const unsigned blink = b & (0xFCU | (a & 3U));
  const bool vfoB = Bit(a, 2), pairBlinks = Bit(b, 2);
  report.Lit = {Bit(a, 6), Bit(a, 5), Bit(a, 4), Bit(a, 3), !vfoB, vfoB, Bit(a, 1), Bit(a, 0)};
  report.Blink = {Bit(a, 6) != Bit(blink, 6),
                  Bit(a, 5),
                  Bit(a, 4),
                  Bit(a, 3),
                  !vfoB && !pairBlinks,
                  vfoB && !pairBlinks,
                  Bit(a, 1) != Bit(blink, 1),
                  Bit(a, 0) != Bit(blink, 0)};
}

}  // namespace

std::uint8_t ModeGroupOf(char mode) {
  switch (mode) {
    case 'X':
    case 'Z':
      return kModeGroupMorse;
    case '<':
    case 'V':
      return kModeGroupVoice;
    case 'R':
    case '[':
      return kModeGroupData;
    default:
      return kModeGroupNone;
  }
}

bool IsStartupText(const std::string& value) {
  return !value.empty() && value[0] >= 'A' && value[0] <= 'Z';
}

bool DecodeDisplayReport(const std::string& value, TDisplayReport& report) {
  if (value.size() != kReportLength) return false;
  report = {};
  report.Text = value.substr(0, 8);
  DecodeAnnunciators(static_cast<unsigned char>(value[8]), static_cast<unsigned char>(value[9]),
                     report);

  std::string places = report.Text;
  std::size_t point = 0;
  while (point < 7 && !(static_cast<unsigned char>(places[point]) & kPointBit)) ++point;
  if (point == 7) return true;
  places[point] = static_cast<char>(static_cast<unsigned char>(places[point]) & ~kPointBit);
  // The digits after the point, up to a dark place or the mode character in place 8.
  int digits = 0;
  for (std::size_t i = point; i < 7 && places[i] != kBlankPlace; ++i) ++digits;
  report.HasPoint = true;
  // More than three digits after the point is no reading of the radio's; it counts as the
  // finest resolution rather than as a step the dial does not have.
  report.ResolutionIndex = std::max(0, 3 - digits);
  report.ModeGroup = ModeGroupOf(value[7]);
  return true;
}
