#include "client/ServerLines.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "text/Text.h"

namespace {

struct KeywordAt {
  std::size_t position;  // 1-based, as the keyword string counts
  TServerWord word;
};

constexpr KeywordAt kKeywords[] = {
    {1, TServerWord::Message}, {2, TServerWord::Display},  {9, TServerWord::SMeter},
    {15, TServerWord::Freq},   {19, TServerWord::KSpeed},  {25, TServerWord::Pwr},
    {27, TServerWord::Rit},    {30, TServerWord::Squelch}, {37, TServerWord::Audio},
    {42, TServerWord::Priv},   {46, TServerWord::Chat},    {50, TServerWord::Rxt},
};

bool LineEnd(char c) {
  return c == '\r' || c == '\n';
}

}  // namespace

TServerWord ServerWordOf(const std::string& word) {
  const std::size_t at = KeywordPosition(kServerKeywords, word);
  for (const KeywordAt& k : kKeywords)
    if (k.position == at) return k.word;
  return TServerWord::None;
}

std::string MessageText(const std::string& value) {
  std::string text;
  text.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '|' && i + 1 < value.size() && value[i + 1] == '|') {
      text += '\r';
      ++i;
    } else {
      text += value[i];
    }
  }
  return text;
}

bool ParseKilohertz(const std::string& text, double& khz) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  double value = 0;
  auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::fixed);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return false;
  khz = value;
  return true;
}

bool ParseReportedFrequency(const std::string& text, double& khz) {
  constexpr double kMaxKhz = 100000;
  double value = 0;
  if (!ParseKilohertz(text, value) || !(value > 0 && value < kMaxKhz)) return false;
  khz = value;
  return true;
}

void TServerLineCutter::Append(const char* data, std::size_t count) {
  if (skipping_) {  // the rest of a dropped line goes up to its end
    std::size_t i = 0;
    while (i < count && !LineEnd(data[i])) ++i;
    if (i == count) return;
    skipping_ = false;
    data += i;
    count -= i;
  }
  if (count == 0) return;
  // Moving what is held costs no more than the bytes taken since the last move.
  if (start_ > 0 && start_ >= Held()) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(data, count);
  // Complete lines wait for the reader; only the partial line after them is bounded.
  std::size_t lastEnd = buffer_.size();
  while (lastEnd > start_ && !LineEnd(buffer_[lastEnd - 1])) --lastEnd;
  if (buffer_.size() - lastEnd > kMaxLine) {
    buffer_.resize(lastEnd);
    if (scanned_ > lastEnd - start_) scanned_ = lastEnd - start_;
    skipping_ = true;
    ++dropped_;
  }
}

bool TServerLineCutter::NextLine(std::string& line) {
  for (;;) {
    std::size_t i = start_ + scanned_;
    while (i < buffer_.size() && !LineEnd(buffer_[i])) ++i;
    if (i == buffer_.size()) {
      scanned_ = i - start_;
      return false;
    }
    std::size_t begin = start_;
    start_ = i + 1;
    scanned_ = 0;
    if (i == begin) continue;  // an empty line, or the LF of a CR LF
    line.assign(buffer_, begin, i - begin);
    return true;
  }
}

void TServerLineCutter::Clear() {
  buffer_.clear();
  start_ = scanned_ = 0;
  skipping_ = false;
  dropped_ = 0;
}
