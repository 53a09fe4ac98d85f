#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Cuts the bytes a client sends into lines ended by CR (an LF right after a CR, also at the start
// of the next read, is skipped) and splits each line at its first space into a word and a value,
// both trimmed of blanks and control characters; a line without a space is the word alone.
//
// Lines are dispatched one at a time and in order: bytes fed while a line is being dispatched
// (the dispatch may pause and so receive more) are queued and framed after it. A dispatch that
// returns false ends the connection's input: what is still queued is dropped. Reset() starts a
// new connection; nothing fed before it is dispatched after it.
class TLineFramer {
 public:
  enum class TResult { Ok, Stopped, Overflow };
  using TDispatch = std::function<bool(const std::string& word, const std::string& value)>;

  static constexpr std::size_t kMaxLine = 64 * 1024;
  // What may wait while a line is being dispatched; past it the input is refused (Overflow).
  static constexpr std::size_t kMaxPending = 64 * 1024;

  explicit TLineFramer(TDispatch dispatch) : dispatch_(std::move(dispatch)) {}

  // Frames data and dispatches every complete line. Overflow: a line grew beyond kMaxLine
  // without a CR, or more than kMaxPending bytes arrived while a line was being dispatched; the
  // buffers are dropped and the caller should close the connection.
  TResult Feed(const char* data, std::size_t count);

  void Reset();

  const std::string& LineBuffer() const { return line_; }
  void ClearLineBuffer() { line_.clear(); }

  static void SplitLine(const std::string& line, std::string& word, std::string& value);

 private:
  // Ends the connection's input: drops what is buffered and refuses further bytes.
  TResult Refuse(TResult result);

  TDispatch dispatch_;
  std::string line_;     // the line not yet ended by a CR
  std::string pending_;  // bytes that arrived while a line was being dispatched
  bool afterCr_ = false;
  bool dispatching_ = false;
  bool stopped_ = false;
  std::uint32_t generation_ = 0;
};
