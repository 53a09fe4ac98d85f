#include "client/RxCopy.h"

#include <algorithm>

#include "text/Text.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool TRxWord::IsReport(const std::string& upper) {
  return upper.size() == 3 && std::all_of(upper.begin(), upper.end(), [](char c) {
           return IsDigit(c) || c == 'N' || c == 'T';
         });
}

std::string TRxWord::ReportForm(const std::string& upper) {
  std::string report = upper;
  for (char& c : report) {
    if (c == 'N') c = '9';
    if (c == 'T') c = '0';
  }
  return report;
}

bool TRxWord::LooksLikeGrid(const std::string& word) {
  return (word.size() == 4 || word.size() == 6) && IsDigit(word[2]) && IsDigit(word[3]);
}

void TRxWord::Take(std::string lower) {
  lower_ = std::move(lower);
  upper_ = UpperAscii(lower_);
  // The report form stays from an earlier word when this one is no report.
  if (IsReport(upper_)) report_ = ReportForm(upper_);
}

std::string TRxWord::Cap(std::size_t n) const {
  if (upper_.empty()) return "";
  return upper_.substr(0, 1) + lower_.substr(1, n);
}

std::string TRxWord::GridForm() const {
  return upper_.substr(0, 2) + lower_.substr(2, 4);
}

bool TRxWord::HasDigit() const {
  return std::any_of(lower_.begin(), lower_.end(), IsDigit);
}

void TRxWord::SmartCopy(const std::string& selection, bool rxOnly, TContactFields* fields) {
  std::string lower = LowerAscii(Trim(selection));
  if (lower.empty() || rxOnly || !fields) return;
  Take(std::move(lower));
  TContactFields& f = *fields;
  if (!HasDigit()) {
    if (f.Name.empty() || f.Name == "OM")
      f.Name = Cap(15);
    else if (f.Qth.empty())
      f.Qth = Cap(15);
    else
      f.Comment += Cap(15);
  } else if (IsReport(upper_)) {
    (f.RstRcvd.empty() ? f.RstRcvd : f.SerRcvd) = report_;
  } else if (f.Call.empty()) {
    f.Call = upper_;
  } else if (LooksLikeGrid(lower_)) {
    f.Grid = GridForm();
  } else if (f.Qth.empty()) {
    f.Qth = Cap(31);
  } else {
    f.Comment = Trim(f.Comment + " " + Cap(31));
  }
}

TCopyMenuState TRxWord::MenuOpened(const std::string& selection, bool rxOnly, bool contactShowing) {
  std::string lower;
  for (char c : selection)
    if (!IsBlank(c)) lower += LowerAscii(c);
  Take(std::move(lower));
  TCopyMenuState menu;
  if (rxOnly || !contactShowing || lower_.empty()) return menu;
  bool report = IsReport(upper_);
  menu.Call = HasDigit();
  menu.Name = !HasDigit();
  menu.RstRcvd = report;
  menu.Grid = LooksLikeGrid(lower_);
  menu.Qth = menu.Comment = menu.SerialRcvd = true;
  return menu;
}

void TRxWord::CopyTo(TContactField field, TContactFields& f) const {
  switch (field) {
    case TContactField::Call:
      f.Call = upper_;
      return;
    case TContactField::Name:
      f.Name = Cap(31);
      return;
    case TContactField::RstRcvd:
      f.RstRcvd = report_;
      return;
    case TContactField::SerialRcvd:
      // A serial number that is no report form (more or fewer than three characters) is copied
      // as it was received.
      f.SerRcvd = IsReport(upper_) ? report_ : upper_;
      return;
    case TContactField::Qth:
      f.Qth = Cap(31);
      return;
    case TContactField::Grid:
      f.Grid = GridForm();
      return;
    case TContactField::Comment:
      f.Comment += Cap(15);
      return;
  }
}
