#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// Line files of both programs (event log, trace file, worked-before list): 8-bit lines ended by
// CR LF.

// The file's lines without their line ends (CR LF or LF); a missing file has none. Of a file
// larger than maxBytes only its end is read: the whole lines of its last maxBytes.
std::vector<std::string> ReadLines(
    const std::string& path, std::uintmax_t maxBytes = std::numeric_limits<std::uintmax_t>::max());

// Appends line and CR LF to the file, creating it; a last line that another writer left without
// its line end is ended first. False when the file could not be written whole.
bool AppendLine(const std::string& path, const std::string& line);

// Replaces what the file holds with line and CR LF. False when it could not be written whole.
bool ReplaceWithLine(const std::string& path, const std::string& line);

// How a full line file made way for new lines (see MakeWay).
enum class TMadeWay { Renamed, Emptied, Failed };

// Makes way in a line file that is full: it becomes path + ".1", replacing an older one, so that
// a new file begins. When it cannot be renamed, it is emptied instead down to one line, which
// note makes from the reason (then Emptied); Failed when the file could not be written whole
// (it may have been emptied all the same).
TMadeWay MakeWay(const std::string& path,
                 const std::function<std::string(const std::string&)>& note);
