#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// Line files of both programs (event log, worked-before list): 8-bit lines ended by CR LF.

// The file's lines without their line ends (CR LF or LF); a missing file has none. Of a file
// larger than maxBytes only its end is read: the whole lines of its last maxBytes.
std::vector<std::string> ReadLines(
    const std::string& path, std::uintmax_t maxBytes = std::numeric_limits<std::uintmax_t>::max());

// Appends line and CR LF to the file, creating it; a last line that another writer left without
// its line end is ended first. False when the file could not be written whole.
bool AppendLine(const std::string& path, const std::string& line);

// Replaces what the file holds with line and CR LF. False when it could not be written whole.
bool ReplaceWithLine(const std::string& path, const std::string& line);
