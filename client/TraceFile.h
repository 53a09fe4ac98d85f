#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The client's trace file: every line sent and received, each as the local time "hh:nn:ss",
// then " SENT: " or " RCVD: " and the line, or " ** FAILED **" after a send that failed. Lines
// end with CR LF. Each write is flushed, so the file is complete when the program stops.
//
// The file is kept under its bound (kMaxFileBytes unless given): when a line would pass it, the
// file becomes "<name>.1" (replacing the old one) and a new file begins. A file that cannot be
// renamed is emptied instead, with a line that says so; one that can be neither renamed nor
// emptied takes no more lines.
class TTraceFile {
 public:
  static constexpr std::uintmax_t kMaxFileBytes = 10 * 1024 * 1024;

  explicit TTraceFile(std::string path, std::uintmax_t maxBytes = kMaxFileBytes)
      : path_(std::move(path)), maxBytes_(maxBytes) {}
  ~TTraceFile() { Close(); }
  TTraceFile(const TTraceFile&) = delete;
  TTraceFile& operator=(const TTraceFile&) = delete;

  const std::string& Path() const { return path_; }
  bool IsOpen() const { return file_ != nullptr; }

  // Creates the file anew (emptied). False when it cannot be created.
  bool Rewrite();
  // Appends one line after the time; opens the file for appending when it is not open. False
  // when the line could not be written.
  bool WriteLine(const std::string& text);
  void Close();

 private:
  bool Open(const char* mode);
  // The file is full: it makes way for bytes more (see above) and is opened again; false when
  // it could not.
  bool MakeRoom(const std::string& time, std::size_t bytes);

  std::string path_;
  std::uintmax_t maxBytes_;
  std::FILE* file_ = nullptr;
  std::uintmax_t size_ = 0;  // of the open file
};
