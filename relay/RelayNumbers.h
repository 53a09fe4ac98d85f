#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Number texts of the radio link and of the client's radio words. Every conversion uses "." as
// the decimal separator and ignores the process locale.
namespace relay {

// An optional "+" or "-" followed by decimal digits only (see ParseInt32); 0 for any other text
// and for values outside the 32-bit signed range.
std::int32_t IntegerOrZero(std::string_view text);

// An optional sign, then digits with an optional "." part and an optional exponent ("14.2",
// ".5", "1e3"); nullopt for any other text and for values that are not finite.
std::optional<long double> ParseNumber(std::string_view text);

// Nearest integer; a value exactly halfway between two integers goes to the even one.
long double RoundHalfEven(long double value);

// The value with exactly `decimals` digits after "." ("%.<decimals>f" without padding).
std::string FormatFixed(long double value, int decimals);

// A non-negative value in decimal, padded with leading zeros to `width` digits ("%W.Wd").
std::string FormatDigits(std::int64_t value, int width);

}  // namespace relay
