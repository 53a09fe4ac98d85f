#include "platform/Shell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

#include "platform/Latin1.h"
#include "platform/MessagePump.h"

namespace platform {
namespace {

QStringList SplitParameters(const std::string& text) {
  QStringList out;
  QString cur;
  bool quoted = false, any = false;
  for (char ch : text) {
    if (ch == '"') {
      quoted = !quoted;
      any = true;
    } else if ((ch == ' ' || ch == '\t') && !quoted) {
      if (any) out << cur;
      cur.clear();
      any = false;
    } else {
      cur += QChar::fromLatin1(ch);
      any = true;
    }
  }
  if (any) out << cur;
  return out;
}

bool IsUrl(const std::string& file) {
  auto colon = file.find("://");
  return colon != std::string::npos || file.rfind("mailto:", 0) == 0;
}

}  // namespace

bool ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                  const std::string& directory, bool wait, std::uint32_t* exitCode) {
  // The desktop knows one action per document, opening it, whatever verb is asked for.
  (void)verb;
  if (exitCode) *exitCode = 0;
  if (file.empty()) return false;
  QString qfile = Latin1(file);
  struct stat st {};
  bool program = !IsUrl(file) && ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                 ::access(file.c_str(), X_OK) == 0;
  if (IsUrl(file) || !program) {
    QUrl url = IsUrl(file) ? QUrl(qfile) : QUrl::fromLocalFile(qfile);
    return QDesktopServices::openUrl(url);
  }
  QString dir = Latin1(directory);
  if (!wait) return QProcess::startDetached(qfile, SplitParameters(parameters), dir);
  QProcess process;
  process.setProgram(qfile);
  process.setArguments(SplitParameters(parameters));
  if (!dir.isEmpty()) process.setWorkingDirectory(dir);
  process.start();
  if (!process.waitForStarted()) return false;
  while (!process.waitForFinished(100)) {
    if (process.state() == QProcess::NotRunning) break;
    ProcessMessages();
  }
  if (exitCode) *exitCode = static_cast<std::uint32_t>(process.exitCode());
  return true;
}

}  // namespace platform
