#pragma once

#include <cstdint>

// Any baud rate, also those that have no B-constant in termios. Kept in its own source because the
// kernel's termios2 header cannot share a translation unit with the C library's termios.
namespace platform::detail {

// Sets input and output speed of the open terminal fd to baud; 0 or an errno value.
int SetAnyBaudRate(int fd, std::uint32_t baud);

// The output speed of the open terminal fd in bits per second; 0 or an errno value.
int GetAnyBaudRate(int fd, std::uint32_t& baud);

}  // namespace platform::detail
