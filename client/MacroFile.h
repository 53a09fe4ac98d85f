#pragma once

#include <array>
#include <string>

// The sixteen text macros of the Morse keyboard and the macro files ("*.mac") that keep them:
// INI files with one section per button, "Macro01" to "Macro16", each with the keys "Caption",
// "Hint" and "Macro"; a line break of a macro text is written "||".

struct TMacro {
  std::string Caption;  // the button's text
  std::string Hint;     // its tool tip
  std::string Text;     // the macro text; lines end with CR LF
  // A macro that starts transmitting ("^t" or "^T") is shown in bold.
  bool Bold() const;
};

class TMacroSet {
 public:
  static constexpr int kCount = 16;
  static constexpr const char* kExtension = ".mac";

  // "Macro01" to "Macro16": the button's name and the file's section.
  static std::string SectionName(int number);
  // "||" in a file value becomes CR LF, and back; a lone CR or LF is also written "||", since a
  // value is one line.
  static std::string FromFileValue(const std::string& value);
  static std::string ToFileValue(const std::string& text);

  // number: 1 to 16.
  const TMacro& Macro(int number) const;
  // The operator changed a macro: it stays unsaved until Save.
  void Edit(int number, TMacro macro);
  bool Edited() const { return edited_; }

  // Reads all sixteen macros; a missing section or key gives an empty text. A file that does not
  // exist changes nothing: false.
  bool Load(const std::string& path);
  // Writes all sixteen; false, with the edits kept unsaved, when the file cannot be written.
  bool Save(const std::string& path);
  // The contact window is shown: the remembered file is read again, unless it is missing or
  // macros were edited and not saved (they are kept). True when it was read.
  bool Reload(const std::string& path);

 private:
  std::array<TMacro, kCount> macros_;
  bool edited_ = false;
};
