#pragma once

#include <string>

namespace platform {

// Shared libraries loaded at run time by the bare names the programs know them by.
using LibraryHandle = void*;

// The Linux file name for a bare library name: lower case, a ".dll" ending dropped, "lib" in
// front and ".so" behind ("DXSOFTEX.DLL" gives "libdxsoftex.so"). A name that already reads
// "lib....so" is kept.
std::string LibraryFileName(const std::string& name);

// Loads the library: first the file beside the program (ProgramFolder()), then the dynamic
// linker's search path (LD_LIBRARY_PATH, the program's run path, the system folders and the
// linker's cache). The current folder is never searched: relative entries of the search path are
// skipped, and the linker's cache is consulted only when there are none. nullptr when nothing
// loaded; then *error (when given) holds why a file that was found could not be loaded, and is
// empty when no such file exists anywhere.
LibraryHandle LoadLibrary(const std::string& name, std::string* error = nullptr);

// The address of an exported C symbol, nullptr when the library has none by that exact name.
void* GetProcAddress(LibraryHandle library, const std::string& symbol);

// Releases the handle; the library leaves the process when its last handle is freed.
void FreeLibrary(LibraryHandle library);

// The full file name the library was loaded from; empty for an invalid handle.
std::string LibraryPath(LibraryHandle library);

}  // namespace platform
