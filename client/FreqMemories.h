#pragma once

#include <optional>
#include <string>
#include <vector>

// The frequency window without its widgets: the typed frequency as the "FREQ" command takes it,
// the step of each step button, and the memories kept in frequency order.

// The kilohertz text with three decimals for a typed frequency ("." decimals; below 1500 it is
// taken as megahertz): "14.06" gives "14060.000". nullopt for a text that is no positive number.
std::optional<std::string> FreqCommandText(const std::string& typed);

// The step in kHz of a step button's tag: 1 .. 5 give 0.01, 0.1, 1, 10, 100, negative tags the
// negative steps, any other tag 0.
double FreqStepOfTag(int tag);

class TFreqMemories {
 public:
  // Replaces the list by these texts, kept in frequency order.
  void Load(const std::vector<std::string>& freqs);
  // Adds the text unless the list holds it already; true when added.
  bool Add(const std::string& freq);
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};
