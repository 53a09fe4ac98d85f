#pragma once

#include <QString>
#include <string>

#include "platform/Latin1.h"

// Why the text cannot be kept as 8-bit text; empty when it can. what names the field.
std::string Latin1Problem(const std::string& what, const QString& text);
