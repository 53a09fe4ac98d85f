#include "logbook/WorkedBefore.h"

#include "common/TextFile.h"
#include "text/Text.h"

void TWorkedBefore::Load() {
  lines_ = ReadLines(path_);
}

bool TWorkedBefore::Add(const std::string& line) {
  lines_.push_back(line);
  return AppendLine(path_, line);
}

std::string TWorkedBefore::LineOf(const std::string& call, const std::string& band,
                                  TDateTime start) {
  return UpperAscii(call) + '\t' + band + '\t' + FormatDateTime("t ddddd", start);
}

std::optional<std::string> TWorkedBefore::Find(const std::string& call,
                                               const std::string& band) const {
  const std::string key = call + '\t' + band + '\t';
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it)
    if (it->size() >= key.size() && SameTextAscii(std::string_view(*it).substr(0, key.size()), key))
      return it->substr(key.size());
  return std::nullopt;
}

std::string TWorkedBefore::Message(const std::string& call, const std::string& band,
                                   const std::string& when) {
  return "Worked " + call + " before on " + band + " at " + when;
}
