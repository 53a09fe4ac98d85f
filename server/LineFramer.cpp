#include "server/LineFramer.h"

#include "text/Text.h"

void TLineFramer::SplitLine(const std::string& line, std::string& word, std::string& value) {
  if (SplitAtFirstSpace(line, word, value)) {
    word = Trim(word);
    value = Trim(value);
  }
}

void TLineFramer::Reset() {
  line_.clear();
  pending_.clear();
  afterCr_ = false;
  stopped_ = false;
  // A dispatch of the old connection may still be on the stack (it paused); it notices the new
  // generation when it returns, and the new connection's bytes are framed by a loop of their own.
  dispatching_ = false;
  ++generation_;
}

TLineFramer::TResult TLineFramer::Refuse(TResult result) {
  line_.clear();
  pending_.clear();
  stopped_ = true;
  dispatching_ = false;
  return result;
}

TLineFramer::TResult TLineFramer::Feed(const char* data, std::size_t count) {
  if (stopped_) return TResult::Stopped;
  if (dispatching_) {
    // The running loop below takes it up in order.
    if (pending_.size() + count > kMaxPending) return Refuse(TResult::Overflow);
    pending_.append(data, count);
    return TResult::Ok;
  }
  pending_.append(data, count);

  dispatching_ = true;
  const std::uint32_t generation = generation_;
  while (!pending_.empty()) {
    std::string input;
    input.swap(pending_);
    std::size_t start = 0;
    if (afterCr_ && input[0] == '\n') start = 1;
    afterCr_ = false;
    while (start < input.size()) {
      std::size_t cr = input.find('\r', start);
      if (cr == std::string::npos) {
        line_.append(input, start, std::string::npos);
        start = input.size();
        if (line_.size() > kMaxLine) return Refuse(TResult::Overflow);
        break;
      }
      line_.append(input, start, cr - start);
      start = cr + 1;
      if (start < input.size()) {
        if (input[start] == '\n') ++start;
      } else {
        afterCr_ = true;
      }
      if (line_.size() > kMaxLine) return Refuse(TResult::Overflow);
      std::string line;
      line.swap(line_);
      std::string word, value;
      SplitLine(line, word, value);
      bool goOn = dispatch_(word, value);
      if (generation != generation_) return TResult::Stopped;  // a new connection began
      if (stopped_) return TResult::Stopped;  // refused while the line was dispatched
      if (!goOn) return Refuse(TResult::Stopped);
    }
  }
  dispatching_ = false;
  return TResult::Ok;
}
