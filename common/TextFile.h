#pragma once

#include <string>
#include <vector>

// Line files of both programs (event log, worked-before list): 8-bit lines ended by CR LF.

// The file's lines without their line ends (CR LF or LF); a missing file has none.
std::vector<std::string> ReadLines(const std::string& path);

// Appends line and CR LF to the file, creating it; a last line that another writer left without
// its line end is ended first. False when the file could not be written whole.
bool AppendLine(const std::string& path, const std::string& line);
