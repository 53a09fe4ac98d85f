#include "platform/Latin1.h"

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToLatin1(const QString& text) {
  return text.toLatin1().toStdString();
}
