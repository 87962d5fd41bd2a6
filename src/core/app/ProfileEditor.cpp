#include "app/ProfileEditor.h"

#include <algorithm>

#include "lang/Strings.h"
#include "ports/UserInterface.h"

namespace recdesk::app {
namespace {

template <typename T, typename V>
int positionOf(const std::vector<T>& list, V value) {
  const auto it = std::find(list.begin(), list.end(), value);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

const RecordingValues kNewProfileValues{8000, 4, 1, 0};

}  // namespace

ProfileOffer profileOffer(int deviceType) {
  ProfileOffer o;
  if (deviceType == device_type::kR5) {
    o.rates = {8000, 11025};
    o.bits = {4, 8};
    o.channels = {1};
    o.gainAdjustable = false;
    o.typeLabel = TextId::R5Recorder;
    return o;
  }
  o.rates = {8000, 11025, 16000, 22050};
  o.bits = {4, 8, 16};
  o.channels = {1, 2};
  o.typeLabel = deviceType == device_type::kAny ? TextId::AnyDevice : TextId::R6RecorderOrT7;
  return o;
}

std::optional<std::uint64_t> profileEstimateSeconds(std::uint64_t freeBlocks, const RecordingValues& v) {
  if (v.rate <= 0 || v.bits <= 0) return std::nullopt;
  const std::uint64_t rate = static_cast<std::uint64_t>(v.rate);
  const std::uint64_t bits = static_cast<std::uint64_t>(v.bits);
  const bool small = bits < 16;
  if (v.channels == 1) {
    const std::uint64_t perPage = (small ? 4080u : 4096u) / bits;
    return small ? freeBlocks * (perPage + 1) / rate : freeBlocks * perPage / rate;
  }
  return (((small ? 4064u : 4096u) / bits) / 2 + (small ? 1u : 0u)) * freeBlocks / rate;
}

std::string profileEstimateText(std::uint64_t freeBlocks, const RecordingValues& values) {
  const auto seconds = profileEstimateSeconds(freeBlocks, values);
  if (!seconds) return lang::text(TextId::RecordingTime);
  return lang::formatText(
      "%s %02ld:%02ld:%02ld",
      {lang::text(TextId::RecordingTime), static_cast<unsigned long long>(*seconds / 3600),
       static_cast<unsigned long long>(*seconds / 60 % 60), static_cast<unsigned long long>(*seconds % 60)});
}

std::string withoutColons(std::string_view name) {
  std::string out;
  for (char c : name)
    if (c != ':') out += c;
  return out;
}

std::string trimBlanks(std::string_view name) {
  const auto first = name.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = name.find_last_not_of(" \t");
  return std::string(name.substr(first, last - first + 1));
}

bool profileNameAcceptable(std::string_view typed) {
  return !trimBlanks(withoutColons(typed)).empty();
}

ProfileEditor::ProfileEditor(ProfileStore& store, ports::UserInterface& ui, int deviceType,
                             std::uint64_t freeBlocks, int currentItem)
    : store_(store),
      ui_(ui),
      deviceType_(deviceType),
      freeBlocks_(freeBlocks),
      offer_(profileOffer(deviceType)) {
  if (store_.hasTemporary()) tempLabel_ = lang::text(TextId::NewProfile);
  if (items().empty()) {
    store_.temporary() = DeviceProfile{lang::text(TextId::NewProfile), ProfileSource::User, kNewProfileValues,
                                       device_type::kAny};
    tempLabel_ = store_.temporary().name;
    item_ = 0;
  } else {
    item_ = std::clamp(currentItem, 0, static_cast<int>(items().size()) - 1);
  }
  show();
}

std::vector<ProfileStore::Item> ProfileEditor::items() const {
  auto all = store_.items();
  if (!all.empty() && all.front().data == ProfileStore::kTemporary) all.front().text = tempLabel_;
  return all;
}

int ProfileEditor::dataAt(int position) const {
  const auto all = items();
  if (position < 0 || static_cast<std::size_t>(position) >= all.size()) return -2;
  return all[static_cast<std::size_t>(position)].data;
}

const DeviceProfile* ProfileEditor::selected() const {
  const int data = dataAt(item_);
  if (data == ProfileStore::kTemporary) return store_.hasTemporary() ? &store_.temporary() : nullptr;
  if (data < 0) return nullptr;
  return &store_.profiles()[static_cast<std::size_t>(data)];
}

DeviceProfile* ProfileEditor::selectedMutable() {
  return const_cast<DeviceProfile*>(selected());
}

void ProfileEditor::selectItem(int position) {
  if (dataAt(position) < -1) return;
  item_ = position;
  show();
}

void ProfileEditor::show() {
  if (const auto* p = selected()) values_ = p->values;
  if (!offer_.gainAdjustable)
    lastFixedGain_ = 1;
  else if (values_.gain > 0)
    lastFixedGain_ = std::min<int>(values_.gain, 32);
  modified_ = false;
}

int ProfileEditor::rateIndex() const {
  return positionOf(offer_.rates, values_.rate);
}
int ProfileEditor::bitsIndex() const {
  return positionOf(offer_.bits, values_.bits);
}
int ProfileEditor::channelsIndex() const {
  return positionOf(offer_.channels, values_.channels);
}

int ProfileEditor::sliderPosition() const {
  if (!offer_.gainAdjustable || autoGain()) return 1;
  return std::clamp<int>(values_.gain, kLowestFixedGain, kHighestFixedGain);
}

void ProfileEditor::changed() {
  modified_ = true;
}

void ProfileEditor::setRateIndex(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= offer_.rates.size()) return;
  values_.rate = offer_.rates[static_cast<std::size_t>(index)];
  changed();
}

void ProfileEditor::setBitsIndex(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= offer_.bits.size()) return;
  values_.bits = offer_.bits[static_cast<std::size_t>(index)];
  changed();
}

void ProfileEditor::setChannelsIndex(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= offer_.channels.size()) return;
  values_.channels = offer_.channels[static_cast<std::size_t>(index)];
  changed();
}

void ProfileEditor::setAutoGain(bool on) {
  if (!offer_.gainAdjustable) return;
  values_.gain = static_cast<std::int16_t>(on ? 0 : lastFixedGain_);
  changed();
}

void ProfileEditor::setGain(int gain) {
  if (!offer_.gainAdjustable) return;
  lastFixedGain_ = std::clamp(gain, kLowestFixedGain, kHighestFixedGain);
  values_.gain = static_cast<std::int16_t>(lastFixedGain_);
  changed();
}

bool ProfileEditor::setValues(const RecordingValues& v) {
  if (positionOf(offer_.rates, v.rate) < 0 || positionOf(offer_.bits, v.bits) < 0 ||
      positionOf(offer_.channels, v.channels) < 0 || v.gain < 0 || v.gain > 32)
    return false;
  values_ = v;
  if (v.gain > 0) lastFixedGain_ = v.gain;
  changed();
  return true;
}

std::string ProfileEditor::closeCaption() const {
  return lang::text(modified_ ? TextId::EditorCloseWithoutSaving : TextId::EditorClose);
}

ProfileEditor::Buttons ProfileEditor::buttons() const {
  Buttons b;
  const auto* p = selected();
  const bool user = p != nullptr && p->source == ProfileSource::User;
  b.remove = user;
  b.save = user && modified_;
  b.saveAs = true;
  return b;
}

void ProfileEditor::deleteSelected() {
  if (!buttons().remove) return;
  const int data = dataAt(item_);
  if (data == ProfileStore::kTemporary) {
    store_.dropTemporary();
    tempLabel_.clear();
  } else {
    store_.profiles().erase(store_.profiles().begin() + data);
  }
  const int count = static_cast<int>(items().size());
  if (count == 0) {
    store_.temporary() = DeviceProfile{lang::text(TextId::NewProfile), ProfileSource::User, kNewProfileValues,
                                       device_type::kAny};
    tempLabel_ = store_.temporary().name;
    item_ = 0;
  } else {
    item_ = std::min(item_, count - 1);
  }
  show();
}

void ProfileEditor::save() {
  if (!buttons().save) return;
  DeviceProfile* p = selectedMutable();
  p->values = values_;
  if (dataAt(item_) == ProfileStore::kTemporary) {
    p->name =
        lang::formatText("%s %s:%li.%i", {lang::text(TextId::CustomProfile), channelLabel(values_.channels),
                                          static_cast<long>(values_.rate), static_cast<int>(values_.bits)});
    tempLabel_ = p->name;
    item_ = 0;
  }
  show();
}

void ProfileEditor::saveAs(std::function<void(bool)> done) {
  askName(std::move(done));
}

void ProfileEditor::askName(std::function<void(bool)> done) {
  ports::TextQuestion q;
  q.topic = ports::Topic::ProfileName;
  q.caption = lang::text(TextId::AppName);
  q.prompt = lang::text(TextId::ProfileNamePrompt);
  const auto* p = selected();
  if (p && p->source == ProfileSource::User && dataAt(item_) >= 0) q.initial = p->name;
  ui_.askText(q, [this, done](const std::optional<std::string>& typed) {
    if (!typed) {
      if (done) done(false);
      return;
    }
    saveAsNamed(*typed, done);
  });
}

void ProfileEditor::saveAsNamed(const std::string& typedName, std::function<void(bool)> done) {
  const std::string name = trimBlanks(withoutColons(typedName));
  if (name.empty()) {
    if (done) done(false);
    return;
  }
  const bool temporaryName = store_.hasTemporary() && (store_.temporary().name == name || tempLabel_ == name);
  auto& list = store_.profiles();
  const auto it =
      std::find_if(list.begin(), list.end(), [&](const DeviceProfile& p) { return p.name == name; });
  if (temporaryName || (it != list.end() && it->source != ProfileSource::User)) {
    ui_.message(lang::text(TextId::ProfileNameReadOnly), lang::text(TextId::AppName), ports::Icon::Warning,
                ports::Buttons::Ok);
    askName(std::move(done));
    return;
  }
  if (it == list.end()) {
    addNew(name);
    if (done) done(true);
    return;
  }
  ports::Question q;
  q.topic = ports::Topic::ProfileOverwrite;
  q.text = lang::text(TextId::ProfileExists);
  q.caption = lang::text(TextId::AppName);
  q.icon = ports::Icon::Question;
  q.buttons = ports::Buttons::YesNoCancel;
  q.defaultAnswer = ports::Answer::Cancel;
  ui_.ask(q, [this, name, done](const ports::Reply& reply) {
    auto& profiles = store_.profiles();
    const auto found = std::find_if(profiles.begin(), profiles.end(), [&](const DeviceProfile& p) {
      return p.name == name && p.source == ProfileSource::User;
    });
    if (reply.answer == ports::Answer::Yes && found != profiles.end()) {
      found->values = values_;
      const bool hadTemporary = store_.hasTemporary();
      item_ = static_cast<int>(found - profiles.begin()) + (hadTemporary ? 1 : 0);
      show();
      if (done) done(true);
    } else if (reply.answer == ports::Answer::No) {
      askName(done);
    } else if (done) {
      done(false);
    }
  });
}

void ProfileEditor::addNew(const std::string& name) {
  const int data = dataAt(item_);
  const auto* p = selected();
  const bool fromList = p != nullptr && data >= 0 && p->source == ProfileSource::User;
  DeviceProfile added{name, ProfileSource::User, values_,
                      static_cast<std::int16_t>(fromList ? p->type : deviceType_)};
  store_.profiles().push_back(added);
  if (data == ProfileStore::kTemporary) {
    store_.dropTemporary();
    tempLabel_.clear();
  }
  item_ = static_cast<int>(items().size()) - 1;
  show();
}

std::string ProfileEditor::closeName() const {
  const auto all = items();
  if (item_ < 0 || static_cast<std::size_t>(item_) >= all.size()) return {};
  return all[static_cast<std::size_t>(item_)].text;
}

void finishProfileEditor(ProfileStore& store, SettingsFile& settings, const std::string& profileIni,
                         const ConnectedDevice& device, bool sessionRunning, const std::string& shownName,
                         const std::optional<RecordingValues>& shownValues, const std::string& editorName,
                         std::string* error) {
  if (!store.save(settings, error)) return;  // the edits stay in the list: nothing is lost
  store.load(settings, profileIni, device);
  store.reselectAfterEditor(shownName, shownValues, sessionRunning, editorName);
}

}  // namespace recdesk::app
