#include "client/FreqMemories.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "client/ServerLines.h"
#include "text/Text.h"

namespace {

// Frequencies in numeric order; texts that are no number after them, in text order.
bool FreqBefore(const std::string& a, const std::string& b) {
  double x = 0, y = 0;
  bool numA = ParseKilohertz(Trim(a), x), numB = ParseKilohertz(Trim(b), y);
  if (numA != numB) return numA;
  if (numA && x != y) return x < y;
  return a < b;
}

}  // namespace

std::optional<std::string> FreqCommandText(const std::string& typed) {
  double x = 0;
  if (!ParseKilohertz(Trim(typed), x) || !(x > 0)) return std::nullopt;
  if (x < 1500) x *= 1000;
  if (x >= 1e12) return std::nullopt;  // no radio tunes there; keeps the text short
  char text[64];
  std::snprintf(text, sizeof text, "%5.3f", x);
  return Trim(text);
}

double FreqStepOfTag(int tag) {
  static const double kSteps[] = {0, 0.01, 0.1, 1, 10, 100};
  if (tag < -5 || tag > 5) return 0;
  return tag < 0 ? -kSteps[-tag] : kSteps[tag];
}

void TFreqMemories::Load(const std::vector<std::string>& freqs) {
  items_.clear();
  for (const std::string& freq : freqs) Add(freq);
}

bool TFreqMemories::Add(const std::string& freq) {
  if (std::find(items_.begin(), items_.end(), freq) != items_.end()) return false;
  items_.insert(std::upper_bound(items_.begin(), items_.end(), freq, FreqBefore), freq);
  return true;
}
