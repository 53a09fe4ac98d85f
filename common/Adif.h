#pragma once

#include <string>

// The program's ADIF file: the program file's name with the extension ".adi".
std::string AdifPath();

// Appends record as one line (CR LF) to the ADIF file, creating it first with its four header
// lines when it does not exist. False when the file could not be opened or created or the
// record could not be written whole, so that the caller can tell the user.
bool AppendAdif(const std::string& record);
