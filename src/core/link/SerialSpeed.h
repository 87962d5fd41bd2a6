#pragma once
// Link speeds outside the classic termios table (1,000,000, 2,000,000 and 3,000,000 bit/s among them)
// are set through the kernel's termios2 interface with a free bit rate. That code lives in its own
// file, because <asm/termbits.h> and the C library's <termios.h> cannot be included together.
#include <cstdint>

namespace recdesk::link::serial {

// Sets input and output speed of the open terminal `fd` to `speed` bit/s. Returns 0 or errno.
int setFreeSpeed(int fd, std::uint32_t speed);
// Reads the output speed of `fd` in bit/s. Returns 0 or errno.
int readFreeSpeed(int fd, std::uint32_t& speed);

}  // namespace recdesk::link::serial
