#pragma once

#include <cstdio>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "sockets/Component.h"

// The debug logger that a socket (or the HTTP client) can be given: it routes each line to an
// event, the debug output and/or a log file, optionally behind a time stamp. The writers decide
// what to log by asking whether a category is in LogOptions; the logger only routes.

enum TLogOption {
  loDestEvent,
  loDestFile,
  loDestOutDebug,
  loAddStamp,
  loWsockErr,
  loWsockInfo,
  loWsockDump,
  loSslErr,
  loSslInfo,
  loSslDump,
  loProtSpecErr,
  loProtSpecInfo,
  loProtSpecDump
};
using TLogOptions = TSet<TLogOption>;

enum TLogFileOption { lfoAppend, lfoOverwrite };

class ELoggerException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TQelLogger : public TComponent {
 public:
  using TQelLogEvent =
      std::function<void(TComponent* sender, TLogOption option, const std::string& msg)>;

  // Local time of day, for the stamp.
  struct TimeOfDay {
    int hour = 0, minute = 0, second = 0, millisecond = 0;
  };

  TQelLogger();
  ~TQelLogger() override;

  TLogOptions LogOptions() const;
  void SetLogOptions(TLogOptions options);
  std::string LogFileName() const;
  // A different name closes the open file; the next file line opens the new one.
  void SetLogFileName(const std::string& name);
  TLogFileOption LogFileOption() const;
  void SetLogFileOption(TLogFileOption option);

  // Writes one line to every destination chosen in LogOptions. Safe from any thread. Raises
  // ELoggerException when the file is chosen but has no name, or cannot be opened or written.
  void WriteLog(TComponent* sender, TLogOption option, const std::string& msg);

  // The local time as "hh:nn:ss:zzz".
  std::string LogTimeStamp();

  TQelLogEvent OnQelLogEvent;

 protected:
  virtual TimeOfDay Now();

 private:
  void WriteToFile(const std::string& text);
  void CloseFile();

  mutable std::recursive_mutex lock_;
  TLogOptions options_;
  std::string fileName_;
  TLogFileOption fileOption_ = lfoAppend;
  std::FILE* file_ = nullptr;
};
