#include "link/LibFtdiDevice.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <tuple>

namespace recdesk::link {

// bmRequestType of a vendor request from host to device (0x40): the chip's own control requests.
constexpr std::uint8_t kVendorRequestOut = 0x40;

namespace {

constexpr std::uint16_t kFtdiVendor = 0x0403;
constexpr int kMaxInterfaces = 4;

struct Candidate {
  libusb_device* device = nullptr;
  int bus = 0;
  std::vector<std::uint8_t> ports;
  int interfaceNumber = 0;
  int interfaceCount = 1;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
};

// Every FTDI interface in `list`, in the stable order (bus, hub ports, interface).
std::vector<Candidate> ftdiCandidates(libusb_device** list, ssize_t count) {
  std::vector<Candidate> found;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device* device = list[i];
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != 0 || descriptor.idVendor != kFtdiVendor)
      continue;
    std::uint8_t ports[8] = {};
    const int portCount = libusb_get_port_numbers(device, ports, sizeof ports);
    int interfaces = 1;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_config_descriptor(device, 0, &config) == 0 && config) {
      interfaces = std::clamp(static_cast<int>(config->bNumInterfaces), 1, kMaxInterfaces);
      libusb_free_config_descriptor(config);
    }
    for (int k = 0; k < interfaces; ++k) {
      Candidate c;
      c.device = device;
      c.bus = libusb_get_bus_number(device);
      c.ports.assign(ports, ports + std::max(portCount, 0));
      c.interfaceNumber = k;
      c.interfaceCount = interfaces;
      c.vendor = descriptor.idVendor;
      c.product = descriptor.idProduct;
      found.push_back(std::move(c));
    }
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    return std::tie(a.bus, a.ports, a.interfaceNumber) < std::tie(b.bus, b.ports, b.interfaceNumber);
  });
  return found;
}

std::string portPathText(int bus, const std::vector<std::uint8_t>& ports) {
  std::string text = std::to_string(bus);
  for (std::size_t i = 0; i < ports.size(); ++i) text += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
  return text;
}

int chipTypeCode(ftdi_chip_type type) {
  switch (type) {
    case TYPE_AM:
      return kFtdiChipAM;
    case TYPE_BM:
      return kFtdiChipBM;
    case TYPE_2232C:
      return kFtdiChip2232C;
    case TYPE_R:
      return kFtdiChip232R;
    case TYPE_2232H:
      return kFtdiChip2232H;
    case TYPE_4232H:
      return kFtdiChip4232H;
    case TYPE_232H:
      return kFtdiChip232H;
    case TYPE_230X:
      return kFtdiChipXSeries;
  }
  return kFtdiChipUnknown;
}

std::string bounded(const char* text, std::size_t limit) {
  std::string s(text);
  if (s.size() > limit) s.resize(limit);
  return s;
}

class LibFtdiDevice final : public FtdiDevice {
 public:
  ~LibFtdiDevice() override { close(); }

  int open(int index) override {
    std::lock_guard<std::mutex> guard(mutex_);
    closeLocked();
    ctx_ = ftdi_new();
    if (!ctx_) return fail(-1, "libftdi could not start");
    // Give the serial port back to the kernel's ftdi_sio driver when we close.
    ctx_->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(ctx_->usb_ctx, &list);
    if (count < 0) {
      freeContext();
      return fail(-2, "USB devices cannot be listed");
    }
    const auto candidates = ftdiCandidates(list, count);
    int rc = 0;
    if (index < 0 || static_cast<std::size_t>(index) >= candidates.size()) {
      rc = fail(-3, "there is no FTDI adapter with index " + std::to_string(index));
    } else {
      const Candidate& c = candidates[static_cast<std::size_t>(index)];
      ftdi_set_interface(ctx_, static_cast<ftdi_interface>(INTERFACE_A + c.interfaceNumber));
      rc = ftdi_usb_open_dev(ctx_, c.device);
      if (rc < 0) {
        fail(rc, ftdi_get_error_string(ctx_));
      } else {
        char manufacturer[128] = {};
        char description[128] = {};
        char serial[128] = {};
        ftdi_usb_get_strings2(ctx_, c.device, manufacturer, sizeof manufacturer, description,
                              sizeof description, serial, sizeof serial);
        info_.type = chipTypeCode(ctx_->type);
        info_.id = static_cast<std::uint32_t>(c.vendor) << 16 | c.product;
        info_.serialNumber = bounded(serial, 16);
        info_.description = bounded(description, 64);
      }
    }
    libusb_free_device_list(list, 1);
    if (rc < 0) freeContext();
    return rc < 0 ? rc : 0;
  }

  void close() override {
    std::lock_guard<std::mutex> guard(mutex_);
    closeLocked();
  }

  int reset() override {
    return call([&] { return ftdi_usb_reset(ctx_); });
  }
  int setBaudRate(std::uint32_t speed) override {
    return call(
        [&] { return ftdi_set_baudrate(ctx_, static_cast<int>(std::min<std::uint32_t>(speed, INT_MAX))); });
  }

  // The divisor goes to the chip as the raw set-baud-rate request (libftdi's own conversion would
  // round the fraction codes away). The request's value is the divisor's low 16 bits; its index is
  // bits 16 and up, and on chips with several interfaces (and the 232H) the index's low byte selects
  // the interface while its high byte carries those bits.
  int setBaudDivisor(std::uint32_t divisor) override {
    return call([&] {
      const auto value = static_cast<std::uint16_t>(divisor & 0xFFFF);
      std::uint16_t index = static_cast<std::uint16_t>(divisor >> 16);
      if (ctx_->type == TYPE_2232C || ctx_->type == TYPE_2232H || ctx_->type == TYPE_4232H ||
          ctx_->type == TYPE_232H)
        index =
            static_cast<std::uint16_t>(((divisor >> 8) & 0xFF00) | static_cast<std::uint32_t>(ctx_->index));
      const int rc =
          libusb_control_transfer(ctx_->usb_dev, kVendorRequestOut, SIO_SET_BAUDRATE_REQUEST, value,
                                  index, nullptr, 0, static_cast<unsigned>(ctx_->usb_write_timeout));
      return rc < 0 ? rc : 0;
    });
  }

  int setLineProperty(int stopBits, int parity) override {
    if (stopBits < 0 || stopBits > 2 || parity < 0 || parity > 4) return -1;
    return call([&] {
      return ftdi_set_line_property(ctx_, BITS_8, static_cast<ftdi_stopbits_type>(stopBits),
                                    static_cast<ftdi_parity_type>(parity));
    });
  }
  int setChars(std::uint8_t eventChar, bool eventEnabled, std::uint8_t errorChar,
               bool errorEnabled) override {
    return call([&] {
      const int rc = ftdi_set_event_char(ctx_, eventChar, eventEnabled ? 1 : 0);
      if (rc < 0) return rc;
      return ftdi_set_error_char(ctx_, errorChar, errorEnabled ? 1 : 0);
    });
  }
  int setTimeouts(int readMs, int writeMs) override {
    return call([&] {
      ctx_->usb_read_timeout = readMs;
      ctx_->usb_write_timeout = writeMs;
      return 0;
    });
  }
  int setLatency(std::uint8_t milliseconds) override {
    return call([&] { return ftdi_set_latency_timer(ctx_, milliseconds); });
  }
  int setChunkSizes(std::uint32_t inSize, std::uint32_t outSize) override {
    return call([&] {
      if (inSize) {
        const int rc = ftdi_read_data_set_chunksize(ctx_, inSize);
        if (rc < 0) return rc;
      }
      return outSize ? ftdi_write_data_set_chunksize(ctx_, outSize) : 0;
    });
  }
  int read(std::uint8_t* buffer, std::size_t count) override {
    return call([&] {
      return ftdi_read_data(ctx_, buffer, static_cast<int>(std::min<std::size_t>(count, INT_MAX)));
    });
  }
  int write(const std::uint8_t* bytes, std::size_t count) override {
    return call([&] {
      return ftdi_write_data(ctx_, bytes, static_cast<int>(std::min<std::size_t>(count, INT_MAX)));
    });
  }
  int purge(bool receive, bool transmit) override {
    return call([&] {
      int rc = 0;
      if (receive) rc = ftdi_tciflush(ctx_);
      if (rc >= 0 && transmit) rc = ftdi_tcoflush(ctx_);
      return rc;
    });
  }
  int setRts(bool on) override {
    return call([&] { return ftdi_setrts(ctx_, on ? 1 : 0); });
  }
  int modemStatus(std::uint16_t& status) override {
    return call([&] {
      unsigned short value = 0;
      const int rc = ftdi_poll_modem_status(ctx_, &value);
      if (rc >= 0) status = value;
      return rc;
    });
  }
  int deviceInfo(FtdiDeviceInfo& info) override {
    return call([&] {
      info = info_;
      return 0;
    });
  }
  std::string lastError() const override {
    std::lock_guard<std::mutex> guard(mutex_);
    return error_;
  }

 private:
  template <typename F>
  int call(F&& f) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!ctx_ || !ctx_->usb_dev) return -666;
    const int rc = f();
    if (rc < 0) error_ = ftdi_get_error_string(ctx_);
    return rc;
  }
  int fail(int rc, const std::string& text) {
    error_ = text;
    return rc;
  }
  void freeContext() {
    if (ctx_) ftdi_free(ctx_);
    ctx_ = nullptr;
  }
  void closeLocked() {
    if (ctx_ && ctx_->usb_dev) ftdi_usb_close(ctx_);
    freeContext();
  }

  mutable std::mutex mutex_;
  ftdi_context* ctx_ = nullptr;
  FtdiDeviceInfo info_;
  std::string error_;
};

}  // namespace

std::shared_ptr<FtdiDevice> makeLibFtdiDevice() {
  return std::make_shared<LibFtdiDevice>();
}

std::vector<FtdiAdapterInfo> listFtdiAdapters(std::string& error) {
  std::vector<FtdiAdapterInfo> result;
  error.clear();
  ftdi_context* ctx = ftdi_new();
  if (!ctx) {
    error = "libftdi could not start (is USB available?)";
    return result;
  }
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(ctx->usb_ctx, &list);
  if (count < 0) {
    error = std::string("USB devices cannot be listed: ") + libusb_error_name(static_cast<int>(count));
    ftdi_free(ctx);
    return result;
  }
  const auto candidates = ftdiCandidates(list, count);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    FtdiAdapterInfo info;
    info.index = static_cast<int>(i);
    info.bus = c.bus;
    info.portPath = portPathText(c.bus, c.ports);
    info.interfaceNumber = c.interfaceNumber;
    info.interfaceCount = c.interfaceCount;
    info.vendor = c.vendor;
    info.product = c.product;
    char manufacturer[128] = {};
    char description[128] = {};
    char serial[128] = {};
    if (ftdi_usb_get_strings2(ctx, c.device, manufacturer, sizeof manufacturer, description,
                              sizeof description, serial, sizeof serial) < 0) {
      info.problem = ftdi_get_error_string(ctx);
    }
    info.manufacturer = bounded(manufacturer, 64);
    info.description = bounded(description, 64);
    info.serialNumber = bounded(serial, 64);
    result.push_back(std::move(info));
  }
  libusb_free_device_list(list, 1);
  ftdi_free(ctx);
  return result;
}

}  // namespace recdesk::link
