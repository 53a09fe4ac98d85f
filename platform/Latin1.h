#pragma once

#include <QString>
#include <string>

// The widget boundary: 8-bit text (wire and files) shown as Latin-1, and read back.

QString Latin1(const std::string& text);
// The text as 8-bit text; characters outside Latin-1 become "?".
std::string ToLatin1(const QString& text);
