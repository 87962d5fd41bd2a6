#include "SimLink.h"

#include <algorithm>
#include <cerrno>

#include "ports/EventLoop.h"

namespace recdesk::sim {

class SimLink::Channel : public link::LinkChannel {
 public:
  explicit Channel(std::shared_ptr<SimLink> link) : link_(std::move(link)) {}
  ~Channel() override { close(); }

  int open(int portCode, std::uint32_t speed, int, int, link::ReaderContext reader, int& linkMode) override {
    if (link_->faults_.unplugged) return portCode >= link::kModeFtdi ? link::kOpenAdapterFailed : ENOENT;
    if (link_->open_) return portCode >= link::kModeFtdi ? link::kOpenAdapterFailed : EBUSY;
    reader_ = reader;
    mode_ = portCode >= link::kModeQuickUsb ? link::kModeQuickUsb
            : portCode >= link::kModeFtdi   ? link::kModeFtdi
                                            : portCode;
    linkMode = mode_;
    opened_ = true;
    alive_ = std::make_shared<bool>(true);
    link_->open_ = true;
    link_->hostSpeed_ = speed;
    link_->record(WireEvent::Open, {}, speed);
    std::weak_ptr<bool> alive = alive_;
    link_->device_->setOutput([this, alive](std::string_view bytes) {
      if (alive.expired()) return;
      fromDevice(bytes);
    });
    link_->readerSeesLoss_ = [this, alive] {
      reader_.loop->post([this, alive] {
        if (alive.expired() || !reader_.listener) return;
        reader_.listener->onLinkNotification(link::kLostNotification, 0);
      });
    };
    return link::kOpenOk;
  }

  void close() override {
    if (!opened_) return;
    opened_ = false;
    alive_.reset();
    link_->device_->setOutput({});
    link_->readerSeesLoss_ = nullptr;
    rx_.clear();
    mask_ = 0;
    link_->open_ = false;
    link_->record(WireEvent::Close);
  }

  std::size_t write(const std::uint8_t* bytes, std::size_t count) override {
    if (!opened_) return 0;
    auto& faults = link_->faults_;
    if (faults.unplugged) {
      link_->record(WireEvent::HostLost);
      return 0;
    }
    if (faults.failWritesAfterBytes >= 0) {
      const auto allowed = static_cast<std::size_t>(
          std::min<long long>(static_cast<long long>(count), faults.failWritesAfterBytes));
      faults.failWritesAfterBytes -= static_cast<long long>(allowed);
      if (allowed < count) {
        link_->record(WireEvent::HostLost);
        faults.unplugged = true;  // the cable is out: nothing goes through any more
      }
      count = allowed;
    }
    if (count == 0) return 0;
    link_->record(WireEvent::HostWrite, std::string(reinterpret_cast<const char*>(bytes), count));
    if (!link_->speedMatters || link_->hostSpeed_ == link_->device_->speed())
      link_->device_->receive(bytes, count);
    return count;
  }

  std::size_t read(std::uint8_t* buffer, std::size_t count) override {
    const std::size_t n = std::min(count, rx_.size());
    std::copy_n(rx_.begin(), n, buffer);
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
  }

  bool queueStatus(std::uint32_t& errorWord, link::QueueStatusRecord& status) override {
    errorWord = 0;
    status.bytesToRead = static_cast<std::uint32_t>(rx_.size());
    status.bytesToSend = 0;
    return opened_;
  }

  int setNotificationMask(std::uint32_t mask) override {
    mask_ = mask;
    return 1;
  }

  int setSpeed(std::uint32_t speed) override {
    link_->hostSpeed_ = speed;
    link_->record(WireEvent::HostSpeed, {}, speed);
    return 0;
  }

  void purge() override {
    rx_.clear();
    link_->record(WireEvent::Purge);
  }

  std::string adapterInformation() override {
    if (mode_ == link::kModeFtdi) return "Simulated USB adapter\n SN: SIM00001\n";
    if (mode_ == link::kModeQuickUsb) return "No information available for Vantle2 Device.";
    return {};
  }

 private:
  // An answer left the recorder: it reaches the host only when both ends run at the same speed.
  void fromDevice(std::string_view bytes) {
    if (link_->speedMatters && link_->hostSpeed_ != link_->device_->speed()) {
      link_->record(WireEvent::DeviceLost, std::string(bytes));
      return;
    }
    link_->record(WireEvent::DeviceSent, std::string(bytes));
    const std::size_t piece = link_->faults_.splitEvery ? link_->faults_.splitEvery : bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      std::string part(bytes.substr(at, piece));
      std::weak_ptr<bool> alive = alive_;
      reader_.loop->post([this, alive, part = std::move(part)] {
        if (alive.expired()) return;
        arrived(part);
      });
    }
  }

  // Bytes arrived at the host's end: notify as the reader would. The listener may close the link;
  // nothing of this object is touched after the notification.
  void arrived(const std::string& part) {
    rx_.insert(rx_.end(), part.begin(), part.end());
    if (!reader_.listener || rx_.empty()) return;
    const bool serial = mode_ >= 1 && mode_ < link::kModeFtdi;
    if (mask_ & link::kMaskLine) {
      // A serial port signals its event character ("\n"); the adapters signal any data.
      if (serial && part.find('\n') == std::string::npos) return;
      reader_.listener->onLinkNotification(link::kLineNotification, rx_.size());
    } else if (mask_ & link::kMaskData) {
      reader_.listener->onLinkNotification(link::kDataNotification, rx_.size());
    }
  }

  std::shared_ptr<SimLink> link_;
  link::ReaderContext reader_;
  std::shared_ptr<bool> alive_;
  std::deque<std::uint8_t> rx_;
  std::uint32_t mask_ = 0;
  int mode_ = 0;
  bool opened_ = false;
};

SimLink::SimLink(std::shared_ptr<SimRecorder> device) : device_(std::move(device)) {}

void SimLink::unplug() {
  faults_.unplugged = true;
  if (readerSeesLoss_) readerSeesLoss_();
}

link::LinkTransport::ChannelFactory SimLink::channelFactory() {
  std::shared_ptr<SimLink> self = shared_from_this();
  return [self](int) -> std::unique_ptr<link::LinkChannel> { return std::make_unique<Channel>(self); };
}

void SimLink::record(WireEvent::Kind kind, std::string text, std::uint32_t speed) {
  constexpr std::size_t kMaxTrace = 200000;
  if (trace_.size() >= kMaxTrace) trace_.erase(trace_.begin(), trace_.begin() + kMaxTrace / 2);
  trace_.push_back(WireEvent{kind, std::move(text), speed});
}

std::vector<std::string> SimLink::hostLines() const {
  std::vector<std::string> lines;
  std::string current;
  for (const auto& e : trace_) {
    if (e.kind != WireEvent::HostWrite) continue;
    for (char c : e.text) {
      current.push_back(c);
      if (c == '\n') {
        lines.push_back(std::move(current));
        current.clear();
      }
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

}  // namespace recdesk::sim
