#include "platform/Ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "text/Text.h"

namespace platform {
namespace {

// Names and values in the file are padded with spaces and tabs only.
std::string Trim(const std::string& s) {
  return ::Trim(s, " \t");
}

std::string CutAtNul(const std::string& s) {
  auto p = s.find('\0');
  return p == std::string::npos ? s : s.substr(0, p);
}

// Reads the file as lines; false when it cannot be read. crlf tells the file's line ending.
bool ReadLines(const std::string& file, std::vector<std::string>& lines, bool& crlf) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string data = ss.str();
  crlf = false;
  std::size_t pos = 0;
  bool first = true;
  while (pos < data.size()) {
    std::size_t nl = data.find('\n', pos);
    std::string line = data.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
      if (first && nl != std::string::npos) crlf = true;
    }
    if (nl != std::string::npos) first = false;
    lines.push_back(std::move(line));
    if (nl == std::string::npos) break;
    pos = nl + 1;
  }
  return true;
}

// "[name]" -> true and the name.
bool SectionName(const std::string& line, std::string& name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  auto close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// "key=value" -> true, the key and the raw value.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  auto eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(line.substr(0, eq));
  value = line.substr(eq + 1);
  return true;
}

std::string Unquote(std::string v) {
  v = Trim(v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

bool WriteWhole(const std::string& file, const std::string& data) {
  struct stat st {};
  bool exists = ::stat(file.c_str(), &st) == 0;
  mode_t mode = exists ? (st.st_mode & 07777) : 0600;
  std::string tmp = file + ".XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, mode) == 0 || !exists;
  std::size_t done = 0;
  while (ok && done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(name.data(), file.c_str()) != 0) ok = false;
  if (!ok) ::unlink(name.data());
  return ok;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& file,
                                    std::size_t size) {
  std::size_t max = size == 0 ? 0 : size - 1;
  std::string result = CutAtNul(def);
  std::vector<std::string> lines;
  bool crlf = false;
  if (ReadLines(file, lines, crlf)) {
    std::string want = CutAtNul(section), wantKey = CutAtNul(key);
    bool inSection = false;
    for (const auto& line : lines) {
      std::string name, k, v;
      if (SectionName(line, name)) {
        inSection = SameTextAscii(name, want);
      } else if (inSection && KeyValue(line, k, v) && SameTextAscii(k, wantKey)) {
        result = Unquote(v);
        break;
      }
    }
  }
  if (result.size() > max) result.resize(max);
  return result;
}

namespace {

// Sets key = value (already cleaned) in section within lines, adding the entry or the section.
void SetEntry(std::vector<std::string>& lines, const std::string& sec, const std::string& k,
              const std::string& v) {
  std::string newLine = k + "=" + v;
  bool inSection = false, sectionFound = false;
  std::size_t lastEntry = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name, lk, lv;
    if (SectionName(lines[i], name)) {
      if (sectionFound && inSection) break;  // left our section
      inSection = SameTextAscii(name, sec);
      if (inSection) {
        sectionFound = true;
        lastEntry = i;
      }
    } else if (inSection) {
      if (KeyValue(lines[i], lk, lv) && SameTextAscii(lk, k)) {
        lines[i] = newLine;
        return;
      }
      if (!Trim(lines[i]).empty()) lastEntry = i;
    }
  }
  if (sectionFound) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1, newLine);
    return;
  }
  if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
  lines.push_back("[" + sec + "]");
  lines.push_back(newLine);
}

}  // namespace

bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file) {
  return WritePrivateProfileStrings({{section, key, value}}, file);
}

bool WritePrivateProfileStrings(const std::vector<IniEntry>& entries, const std::string& file) {
  std::vector<std::string> lines;
  bool crlf = false;
  ReadLines(file, lines, crlf);
  if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the final line ending
  for (const auto& entry : entries) {
    std::string sec = CutAtNul(entry.section), k = CutAtNul(entry.key), v = CutAtNul(entry.value);
    for (char& c : v)
      if (c == '\r' || c == '\n') c = ' ';
    if (sec.empty() || k.empty()) return false;
    SetEntry(lines, sec, k, v);
  }
  std::string eol = crlf ? "\r\n" : "\n";
  std::string data;
  for (const auto& l : lines) data += l + eol;
  return WriteWhole(file, data);
}

}  // namespace platform
