#include "client/WidgetText.h"

std::string Latin1Problem(const std::string& what, const QString& text) {
  for (QChar c : text)
    if (c.unicode() > 0xFF)
      return what + " holds a character that cannot be stored (\"" +
             QString(c).toUtf8().toStdString() + "\"); please use other characters.";
  return "";
}
