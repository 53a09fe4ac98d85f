#pragma once

#include <cstdio>
#include <string>

// The client's trace file: every line sent and received, each as the local time "hh:nn:ss",
// then " SENT: " or " RCVD: " and the line, or " ** FAILED **" after a send that failed. Lines
// end with CR LF. Each write is flushed, so the file is complete when the program stops.
class TTraceFile {
 public:
  explicit TTraceFile(std::string path) : path_(std::move(path)) {}
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
  std::string path_;
  std::FILE* file_ = nullptr;
};
