#pragma once

#include <functional>
#include <string>

#include "logbook/AdifRecord.h"

// The receive window's copy rules without its widgets: a word of the received text goes into a
// field of the contact window, by a double click (the field is chosen from the word) or by the
// pop-up menu (the operator chooses).

enum class TContactField { Call, Name, RstRcvd, SerialRcvd, Qth, Grid, Comment };

// The rules read and write the contact window's fields (TContactFields of the contact log).

// The contact window as the receive window reaches it.
class IContactFields {
 public:
  // While the contact window is showing: lets edit change its fields (nullptr only asks) and
  // returns true. Otherwise returns false and does not call edit.
  virtual bool EditContactFields(const std::function<void(TContactFields&)>& edit) = 0;

 protected:
  ~IContactFields() = default;  // never owned through this path
};

// Which menu items are enabled when the pop-up menu opens.
struct TCopyMenuState {
  bool Call = false, Name = false, RstRcvd = false, SerialRcvd = false, Qth = false, Grid = false,
       Comment = false;
};

// The word last taken from the received text; one per window.
class TRxWord {
 public:
  // Three characters, each a digit, "N" or "T".
  static bool IsReport(const std::string& upper);
  // "N" becomes "9", "T" becomes "0": "5NN" gives "599".
  static std::string ReportForm(const std::string& upper);
  // 4 or 6 characters with digits as the 3rd and 4th.
  static bool LooksLikeGrid(const std::string& word);

  // The double click on a selected word: fills the field that the word suits. Nothing when the
  // word is blank, rxOnly is set or fields is nullptr (the contact window is not showing).
  void SmartCopy(const std::string& selection, bool rxOnly, TContactFields* fields);
  // The menu opening: takes the selection without any blanks and tells which items apply.
  TCopyMenuState MenuOpened(const std::string& selection, bool rxOnly, bool contactShowing);
  // A menu item: copies the word taken at MenuOpened into the field.
  void CopyTo(TContactField field, TContactFields& fields) const;

  const std::string& Lower() const { return lower_; }
  const std::string& Upper() const { return upper_; }
  const std::string& Report() const { return report_; }

 private:
  void Take(std::string lower);
  // The first character of the upper-case word, then at most n characters of the lower-case word
  // from its second one on: "alex" gives "Alex".
  std::string Cap(std::size_t n) const;
  std::string GridForm() const;
  bool HasDigit() const;

  std::string lower_, upper_, report_;
};
