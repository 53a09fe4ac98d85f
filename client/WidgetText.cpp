#include "client/WidgetText.h"

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLatin1(const QString& text) {
  return text.toLatin1().toStdString();
}

std::string Latin1Problem(const std::string& what, const QString& text) {
  for (QChar c : text)
    if (c.unicode() > 0xFF)
      return what + " holds a character that cannot be stored (\"" +
             QString(c).toUtf8().toStdString() + "\"); please use other characters.";
  return "";
}
