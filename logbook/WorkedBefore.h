#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/DateTime.h"

// The worked-before list "qso.log": one line per saved contact, "call TAB band TAB time", in the
// order saved. Loaded once; every new line is appended to the file, which is never rewritten.
class TWorkedBefore {
 public:
  explicit TWorkedBefore(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  const std::vector<std::string>& Lines() const { return lines_; }

  // Reads the file's lines (CR LF or LF); a missing file gives an empty list.
  void Load();
  // Keeps the line and appends it to the file with CR LF. False when the file could not be
  // written; the line stays in the list.
  bool Add(const std::string& line);

  // The line of a contact: upper-cased call, band, and the start time (UTC) in the locale's
  // short time and short date.
  static std::string LineOf(const std::string& call, const std::string& band, TDateTime start);

  // The latest line for call on band (ASCII case ignored; a line matches only a call of its
  // own length): the text behind "call TAB band TAB", or nullopt.
  std::optional<std::string> Find(const std::string& call, const std::string& band) const;

  // "Worked <call> before on <band> at <when>".
  static std::string Message(const std::string& call, const std::string& band,
                             const std::string& when);

 private:
  std::string path_;
  std::vector<std::string> lines_;
};
