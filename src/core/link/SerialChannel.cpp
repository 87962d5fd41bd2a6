#include "link/SerialChannel.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "link/ByteRing.h"
#include "link/ReaderThread.h"
#include "link/SerialSpeed.h"

namespace recdesk::link {

namespace {

constexpr int kPollSliceMs = 100;         // the reader looks at the stop flag at least this often
constexpr int kWriteStallLimitMs = 1000;  // a write that makes no progress for this long ends
constexpr std::size_t kReadChunk = 4096;

// Speeds the classic termios table has; every other speed goes through termios2.
speed_t classicSpeed(std::uint32_t speed) {
  switch (speed) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 921600:
      return B921600;
    default:
      return B0;
  }
}

// Raw 8-bit settings with the given stop bits and parity, no flow control. Stop-bits and parity codes
// are those of the serial settings record: stop bits 0 one, 1 one and a half, 2 two; parity 0 none,
// 1 odd, 2 even, 3 mark, 4 space. Returns 0 or errno.
int configurePort(int fd, std::uint32_t speed, int stopBits, int parity) {
  if (speed == 0 || (stopBits != 0 && stopBits != 2) || parity < 0 || parity > 4) return EINVAL;
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return errno;
  cfmakeraw(&settings);
  settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  settings.c_cflag |= CS8 | CREAD | CLOCAL;
  settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
  if (stopBits == 2) settings.c_cflag |= CSTOPB;
  switch (parity) {
    case 1:
      settings.c_cflag |= PARENB | PARODD;
      break;
    case 2:
      settings.c_cflag |= PARENB;
      break;
    case 3:
      settings.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 4:
      settings.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (parity != 0) settings.c_iflag |= INPCK;
  // With O_NONBLOCK kept, VMIN 1 makes "no data" read as EAGAIN and a hang-up read as 0.
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  const speed_t classic = classicSpeed(speed);
  if (classic != B0) {
    cfsetispeed(&settings, classic);
    cfsetospeed(&settings, classic);
  }
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return errno;
  if (classic == B0) return serial::setFreeSpeed(fd, speed);
  return 0;
}

int setPortSpeed(int fd, std::uint32_t speed) {
  if (speed == 0) return EINVAL;
  const speed_t classic = classicSpeed(speed);
  if (classic == B0) return serial::setFreeSpeed(fd, speed);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return errno;
  cfsetispeed(&settings, classic);
  cfsetospeed(&settings, classic);
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return errno;
  return 0;
}

// Line-status error counters of the driver (not every driver keeps them: a pseudo-terminal does not).
struct ErrorCounts {
  int overrun = 0, parity = 0, frame = 0, brk = 0, bufferOverrun = 0;
  bool operator==(const ErrorCounts&) const = default;
};

bool readErrorCounts(int fd, ErrorCounts& counts) {
  serial_icounter_struct icount{};
  if (ioctl(fd, TIOCGICOUNT, &icount) != 0) return false;
  counts = {icount.overrun, icount.parity, icount.frame, icount.brk, icount.buf_overrun};
  return true;
}

std::uint32_t errorWordBetween(const ErrorCounts& before, const ErrorCounts& now) {
  std::uint32_t word = 0;
  if (now.bufferOverrun != before.bufferOverrun) word |= kSerialErrorRxOver;
  if (now.overrun != before.overrun) word |= kSerialErrorOverrun;
  if (now.parity != before.parity) word |= kSerialErrorParity;
  if (now.frame != before.frame) word |= kSerialErrorFrame;
  if (now.brk != before.brk) word |= kSerialErrorBreak;
  return word;
}

}  // namespace

struct SerialChannel::Shared : ReaderShared {
  int fd = -1;
  std::mutex lock;  // guards the receive queue, the port's reads and the error counts
  ByteRing received{kReceiveCapacity};
  bool countsKnown = false;
  ErrorCounts reportedCounts;  // as of the last queue status
  ErrorCounts notifiedCounts;  // as of the last error notification

  int wake = -1;  // written by close() so that the reader's wait ends at once

  ~Shared() override {
    if (fd >= 0) ::close(fd);
    if (wake >= 0) ::close(wake);
  }
};

namespace {

void runSerialReader(ReaderShared& base) {
  auto& s = static_cast<SerialChannel::Shared&>(base);
  std::uint8_t chunk[kReadChunk];
  while (!s.stop.load()) {
    std::size_t room = 0;
    {
      std::lock_guard<std::mutex> guard(s.lock);
      room = s.received.space();
    }
    // With a full queue only hang-ups and errors are watched until the owner has read.
    pollfd fds[2] = {{s.fd, static_cast<short>(room ? POLLIN : 0), 0}, {s.wake, POLLIN, 0}};
    const int ready = ::poll(fds, s.wake >= 0 ? 2 : 1, kPollSliceMs);
    const pollfd& p = fds[0];
    if (ready < 0) {
      if (errno == EINTR) continue;
      s.markLost();
      break;
    }
    if (ready == 0 || p.revents == 0) continue;
    if (p.revents & POLLNVAL) {
      s.markLost();
      break;
    }
    if (p.revents & POLLIN) {
      // Read and queue under the lock, so that a purge drops either all or none of these bytes.
      ssize_t n = 0;
      int readError = 0;
      std::size_t waiting = 0;
      {
        std::lock_guard<std::mutex> guard(s.lock);
        n = ::read(s.fd, chunk, std::min(s.received.space(), sizeof chunk));
        readError = errno;
        if (n > 0) {
          s.received.push(chunk, static_cast<std::size_t>(n));
          waiting = s.received.size();
        }
      }
      if (n > 0) {
        const std::uint32_t mask = s.mask.load();
        if ((mask & kMaskLine) && std::memchr(chunk, '\n', static_cast<std::size_t>(n)))
          s.notify(kLineNotification, waiting);
        if (mask & kMaskData) s.notify(kDataNotification, waiting);
        if (s.stop.load()) break;  // closed during a notification: the port may be gone already
        if (mask & kMaskError) {
          ErrorCounts now;
          bool changed = false;
          if (readErrorCounts(s.fd, now)) {
            std::lock_guard<std::mutex> guard(s.lock);
            changed = !(now == s.notifiedCounts);
            s.notifiedCounts = now;
          }
          if (changed) s.notify(kErrorNotification, waiting);
        }
        continue;
      }
      if (n < 0 && (readError == EAGAIN || readError == EINTR)) continue;
      // 0 (hung up) or EIO/ENXIO/ENODEV: the device went away. The owner is told once and reopens.
      s.markLost();
      break;
    }
    if (p.revents & (POLLHUP | POLLERR)) {
      s.markLost();
      break;
    }
  }
}

}  // namespace

SerialChannel::SerialChannel(ChannelConfig config) : config_(std::move(config)) {}

SerialChannel::~SerialChannel() {
  close();
}

int SerialChannel::open(int portCode, std::uint32_t speed, int stopBits, int parity, ReaderContext reader,
                        int& linkMode) {
  close();
  devicePath_ = serialDevicePathFor(portCode, config_);
  if (devicePath_.empty()) return ENOENT;

  const int fd = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno ? errno : EIO;
  auto fail = [fd](int code) {
    ::close(fd);
    return code ? code : EIO;
  };
  // Not shared: no second open of the device (TIOCEXCL), and no second RecDesk on it (flock).
  if (ioctl(fd, TIOCEXCL) != 0) return fail(errno);
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? EBUSY : errno);
  if (const int code = configurePort(fd, speed, stopBits, parity)) return fail(code);
  // (The driver's queue sizes and read time-outs have no termios counterpart: the reader polls.)

  auto shared = std::make_shared<Shared>();
  shared->fd = fd;
  shared->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  shared->context = reader;
  shared->countsKnown = readErrorCounts(fd, shared->reportedCounts);
  shared->notifiedCounts = shared->reportedCounts;
  shared_ = shared;
  reader_ = startReader(shared, runSerialReader);
  linkMode = portCode;
  return kOpenOk;
}

void SerialChannel::close() {
  if (!shared_) return;
  shared_->stop.store(true);
  if (shared_->wake >= 0) eventfd_write(shared_->wake, 1);
  if (stopReader(*shared_, reader_) == ReaderStop::InHandler) {
    // The reader is parked in its notification and looks at the stop flag before it touches the
    // port again: close the port now, so that it can be opened again at once.
    ::close(shared_->fd);
    shared_->fd = -1;
  }
  // Otherwise the port closes when the last holder lets go (the reader, if it had to be let go).
  shared_.reset();
}

bool SerialChannel::deviceLost() const {
  return shared_ && shared_->lost.load();
}

std::size_t SerialChannel::write(const std::uint8_t* bytes, std::size_t count) {
  if (!shared_ || shared_->lost.load()) return 0;
  std::size_t written = 0;
  while (written < count) {
    const ssize_t n = ::write(shared_->fd, bytes + written, count - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      pollfd p{shared_->fd, POLLOUT, 0};
      const int ready = ::poll(&p, 1, kWriteStallLimitMs);
      if (ready > 0 && (p.revents & POLLOUT)) continue;
      if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) shared_->lost.store(true);
      break;  // stalled: report what went out
    }
    // EIO, ENXIO, ENODEV…: the device is gone.
    if (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) shared_->lost.store(true);
    return 0;
  }
  return written;
}

std::size_t SerialChannel::read(std::uint8_t* buffer, std::size_t count) {
  if (!shared_) return 0;
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->received.pop(buffer, count);
}

bool SerialChannel::queueStatus(std::uint32_t& errorWord, QueueStatusRecord& status) {
  errorWord = 0;
  status = {};
  if (!shared_) return false;
  // Bytes to read: what the owner's Read delivers (the reader takes the port's bytes as they come).
  int pending = 0;
  const bool outOk = ioctl(shared_->fd, TIOCOUTQ, &pending) == 0;
  std::lock_guard<std::mutex> guard(shared_->lock);
  status.bytesToRead = static_cast<std::uint32_t>(shared_->received.size());
  status.bytesToSend = outOk && pending > 0 ? static_cast<std::uint32_t>(pending) : 0;
  ErrorCounts now;
  if (shared_->countsKnown && readErrorCounts(shared_->fd, now)) {
    errorWord = errorWordBetween(shared_->reportedCounts, now);
    shared_->reportedCounts = now;
  }
  if (status.bytesToRead == kReceiveCapacity) errorWord |= kSerialErrorRxOver;
  return outOk && !shared_->lost.load();
}

int SerialChannel::setNotificationMask(std::uint32_t mask) {
  if (!shared_) return 0;
  shared_->mask.store(mask);
  return 1;
}

int SerialChannel::setSpeed(std::uint32_t speed) {
  if (!shared_) return EBADF;
  return setPortSpeed(shared_->fd, speed);
}

void SerialChannel::purge() {
  if (!shared_) return;
  std::lock_guard<std::mutex> guard(shared_->lock);
  // Unread input only, as on the FTDI adapter: the host purges before every line it sends, and
  // flushing the output too dropped the end of the previous line whenever the recorder had not yet
  // taken it (it then saw two lines run together and answered neither).
  tcflush(shared_->fd, TCIFLUSH);
  shared_->received.clear();
}

}  // namespace recdesk::link
