#pragma once

#include <cstdint>
#include <string>

// Small procedures that both programs share.

// The key's value (at most 2047 characters), or def when the key is absent. A key present with
// an empty value gives the empty text.
std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& def);

// Writes the key; an empty value is stored as an empty value (the key stays). Success flag.
bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

// A window's place: the keys "Left" and "Top" of its section. A value that is missing or no
// integer (see StrToIntDef) reads as def's.
struct TWindowPlace {
  std::int32_t Left;
  std::int32_t Top;
};
TWindowPlace ReadWindowPlace(const std::string& path, const std::string& section, TWindowPlace def);
void WriteWindowPlace(const std::string& path, const std::string& section, std::int32_t left,
                      std::int32_t top);

// "1" for true, the empty text for false. Readers take only "1" as true.
std::string BoolToIniStr(bool value);

// Returns after at least ms milliseconds, dispatching window messages meanwhile (at least once,
// also for 0 ms). Event handlers of the program run during the pause.
void Delay(std::uint32_t ms);

// The amount, in days, to add to local time to obtain UTC.
double UtcOffset();

// XORs each character with (Random(128) OR 128), the generator started from seed; the same call
// with the same seed gives the text back. The generator's state is the same afterwards.
std::string Scramble(const std::string& text, std::int32_t seed);

// Opens file with the desktop (see platform::ShellExecute). With wait, waits for a started program
// and returns its exit code; -1 when nothing could be started; 0 otherwise.
std::int32_t ShellRun(const std::string& verb, const std::string& file,
                      const std::string& parameters, bool wait, const std::string& directory);

// One byte per pair of upper-case hexadecimal digits, into dest (length div 2 bytes); a trailing
// odd character is ignored. Characters other than "0"-"9" and "A"-"F" count as 0. Byte count.
std::int32_t HexToBytes(const std::string& text, std::uint8_t* dest);

// The text as a 32-bit signed decimal number (an optional sign, then digits only; "$" or "0x"
// introduces hexadecimal digits), or def when it is anything else or out of range.
std::int32_t StrToIntDef(const std::string& text, std::int32_t def);

// The text up to, not including, its first NUL character.
std::string StrFromBuffer(const std::string& text);
