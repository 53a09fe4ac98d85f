#pragma once

#include <QString>
#include <string>

// The widget boundary of the client's windows: 8-bit text shown as Latin-1 and read back.

QString Latin1(const std::string& text);
// The edit's text as 8-bit text; characters outside Latin-1 become "?" (see Latin1Problem).
std::string ToLatin1(const QString& text);
// Why the text cannot be kept as 8-bit text; empty when it can. what names the field.
std::string Latin1Problem(const std::string& what, const QString& text);
