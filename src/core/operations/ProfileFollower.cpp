#include "operations/ProfileFollower.h"

#include "operations/ProfileApply.h"

namespace recdesk::operations {
namespace {

bool sameDevice(const app::ConnectedDevice& a, const app::ConnectedDevice& b) {
  return a.connected == b.connected && a.type == b.type && a.reduced == b.reduced && a.subModel == b.subModel;
}

}  // namespace

ProfileFollower::ProfileFollower(session::Host& host, app::ProfileStore& store,
                                 const app::SettingsFile& settings, std::function<std::string()> profileIni,
                                 std::function<void()> changed)
    : host_(host),
      store_(store),
      settings_(settings),
      profileIni_(std::move(profileIni)),
      changed_(std::move(changed)) {
  host_.addObserver(this);
  host_.setSelectedProfileQuery([this]() -> std::optional<session::RecordingType> {
    const app::DeviceProfile* p = store_.selectedProfile();
    if (!p || p->values.rate <= 0 || p->values.bits <= 0 || p->values.channels <= 0) return std::nullopt;
    session::RecordingType t;
    t.sampleRate = static_cast<std::uint32_t>(p->values.rate);
    t.bits = static_cast<std::uint32_t>(p->values.bits);
    t.channels = static_cast<std::uint32_t>(p->values.channels);
    t.gain = p->values.gain;
    return t;
  });
  reload();
}

ProfileFollower::~ProfileFollower() {
  host_.setSelectedProfileQuery({});
  host_.removeObserver(this);
}

void ProfileFollower::reload() {
  device_ = connectedDevice(host_);
  store_.load(settings_, profileIni_ ? profileIni_() : std::string(), device_);
  typeSeen_ = false;
  typeText_.clear();
  if (changed_) changed_();
}

void ProfileFollower::follow() {
  if (!sameDevice(connectedDevice(host_), device_)) reload();
  const auto& info = host_.info();
  if (info.typeKnown && (!typeSeen_ || info.type.text != typeText_)) {
    typeSeen_ = true;
    typeText_ = info.type.text;
    selectFromTypeReply(store_, info.type, device_.reduced);
    if (changed_) changed_();
  }
}

void ProfileFollower::onInfoChanged() {
  follow();
}
void ProfileFollower::onStateChanged() {
  follow();
}
void ProfileFollower::onSessionReset() {
  follow();
}

}  // namespace recdesk::operations
