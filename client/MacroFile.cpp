#include "client/MacroFile.h"

#include <cstdio>

#include "common/Utils.h"
#include "platform/Paths.h"

namespace {

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

}  // namespace

bool TMacro::Bold() const {
  return Text.find("^t") != std::string::npos || Text.find("^T") != std::string::npos;
}

std::string TMacroSet::SectionName(int number) {
  char name[16];
  std::snprintf(name, sizeof name, "Macro%2.2d", number);
  return name;
}

std::string TMacroSet::FromFileValue(const std::string& value) {
  std::string text = value;
  ReplaceAll(text, "||", "\r\n");
  return text;
}

std::string TMacroSet::ToFileValue(const std::string& text) {
  std::string value = text;
  ReplaceAll(value, "\r\n", "||");
  ReplaceAll(value, "\r", "||");
  ReplaceAll(value, "\n", "||");
  return value;
}

const TMacro& TMacroSet::Macro(int number) const {
  static const TMacro kNone;
  if (number < 1 || number > kCount) return kNone;
  return macros_[static_cast<std::size_t>(number - 1)];
}

void TMacroSet::Edit(int number, TMacro macro) {
  if (number < 1 || number > kCount) return;
  macros_[static_cast<std::size_t>(number - 1)] = std::move(macro);
  edited_ = true;
}

bool TMacroSet::Load(const std::string& path) {
  if (!platform::FileExists(path)) return false;
  for (int n = 1; n <= kCount; ++n) {
    const std::string section = SectionName(n);
    TMacro& m = macros_[static_cast<std::size_t>(n - 1)];
    m.Caption = ReadIniString(path, section, "Caption", "");
    m.Hint = ReadIniString(path, section, "Hint", "");
    m.Text = FromFileValue(ReadIniString(path, section, "Macro", ""));
  }
  edited_ = false;
  return true;
}

bool TMacroSet::Save(const std::string& path) {
  bool written = true;
  for (int n = 1; n <= kCount && written; ++n) {
    const std::string section = SectionName(n);
    const TMacro& m = macros_[static_cast<std::size_t>(n - 1)];
    written = WriteIniString(path, section, "Caption", m.Caption) &&
              WriteIniString(path, section, "Hint", m.Hint) &&
              WriteIniString(path, section, "Macro", ToFileValue(m.Text));
  }
  if (written) edited_ = false;
  return written;
}

bool TMacroSet::Reload(const std::string& path) {
  if (edited_) return false;
  return Load(path);
}
