// termios2 on purpose without <termios.h>: the two declare the same names differently.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "link/SerialSpeed.h"

namespace recdesk::link::serial {

int setFreeSpeed(int fd, std::uint32_t speed) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  settings.c_ispeed = speed;
  settings.c_ospeed = speed;
  if (ioctl(fd, TCSETS2, &settings) != 0) return errno;
  return 0;
}

int readFreeSpeed(int fd, std::uint32_t& speed) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return errno;
  speed = settings.c_ospeed;
  return 0;
}

}  // namespace recdesk::link::serial
