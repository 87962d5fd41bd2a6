// recdesk-cli profiles: the device profiles (list, add, remove, apply to the recorder).
#include <iostream>
#include <sstream>

#include "Cli.h"
#include "CliSession.h"
#include "app/ProfileEditor.h"
#include "app/ProfileSources.h"
#include "app/ProfileStore.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "operations/ProfileApply.h"

namespace recdesk::cli {
namespace {

std::filesystem::path settingsPath(const CliContext& context) {
  return context.settingsFile ? *context.settingsFile : app::defaultSettingsPath();
}

bool linkGiven(const CliContext& context) {
  return context.demo || context.devicePath.has_value() || context.portCode.has_value();
}

std::string describeValues(const app::RecordingValues& v) {
  std::ostringstream out;
  out << v.rate << " Hz, " << v.bits << " bits, "
      << (v.channels == 1   ? "mono"
          : v.channels == 2 ? "stereo"
                            : "?")
      << ", gain " << (v.gain == 0 ? std::string("auto") : std::to_string(v.gain));
  return out.str();
}

std::string sourceOf(const app::DeviceProfile& p, bool temporary) {
  if (temporary) return "recorder";
  if (p.source == app::ProfileSource::User) return "settings";
  return p.type == app::device_type::kBuiltIn ? "built-in" : "profile file";
}

std::string typeOf(const app::DeviceProfile& p) {
  if (p.type == app::device_type::kBuiltIn) return "reduced";
  const std::string name = app::deviceTypeName(p.type);
  return name.empty() ? "any" : name;
}

void printList(const app::ProfileStore& store) {
  const auto items = store.items();
  if (items.empty()) std::cout << "(no profiles)\n";
  std::size_t width = 4;
  for (const auto& item : items) width = std::max(width, item.text.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const bool temporary = items[i].data == app::ProfileStore::kTemporary;
    const app::DeviceProfile& p =
        temporary ? store.temporary() : store.profiles()[static_cast<std::size_t>(items[i].data)];
    std::cout << (store.selectedItem() == static_cast<int>(i) ? "* " : "  ") << p.name
              << std::string(width - p.name.size() + 2, ' ') << sourceOf(p, temporary) << ", " << typeOf(p)
              << ": " << describeValues(p.values) << "\n";
  }
}

// A number argument: whole, in range.
std::optional<long long> numberArg(const std::string& text, const char* what, long long min, long long max) {
  const auto v = app::wholeInteger(text);
  if (!v || *v < min || *v > max) {
    fail(std::string(what) + " takes a whole number from " + std::to_string(min) + " to " +
         std::to_string(max) + ", not '" + text + "'");
    return std::nullopt;
  }
  return v;
}

int addProfile(CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 6) return usageError(context, "profiles add takes NAME RATE BITS CHANNELS GAIN");
  const auto rate = numberArg(args[2], "RATE", 1, 1000000);
  const auto bits = numberArg(args[3], "BITS", 1, 32);
  const auto channels = numberArg(args[4], "CHANNELS", 1, 2);
  const auto gain = numberArg(args[5], "GAIN", 0, 32);
  if (!rate || !bits || !channels || !gain) return kExitUsage;
  const int type =
      context.value("--type") ? app::deviceTypeFromText(*context.value("--type")) : app::device_type::kAny;

  app::SettingsFile settings(settingsPath(context));
  CliUi ui(context.yes);
  app::ProfileStore store;
  store.load(settings, app::loadSettings(settings).settings.profileIni, app::ConnectedDevice{});
  app::ProfileEditor editor(store, ui, type, 0, 0);
  const app::RecordingValues values{static_cast<std::int32_t>(*rate), static_cast<std::int16_t>(*bits),
                                    static_cast<std::int16_t>(*channels), static_cast<std::int16_t>(*gain)};
  if (!editor.setValues(values)) {
    const app::ProfileOffer offer = app::profileOffer(type);
    std::string rates, bitsText;
    for (auto r : offer.rates) rates += (rates.empty() ? "" : ", ") + std::to_string(r);
    for (auto b : offer.bits) bitsText += (bitsText.empty() ? "" : ", ") + std::to_string(b);
    return fail("these values are not offered for " +
                std::string(type ? app::deviceTypeName(type) : "any device") + ": rates " + rates +
                "; bits " + bitsText + "; channels " + (offer.channels.size() == 1 ? "1" : "1 or 2"));
  }
  const std::size_t before = store.profiles().size();
  bool changed = false;
  editor.saveAsNamed(args[1], [&](bool c) { changed = c; });
  if (!changed) return fail("nothing was added");
  const std::string name = editor.closeName();
  for (auto& p : store.profiles())
    if (p.name == name && (store.profiles().size() > before || context.given("--type")))
      p.type = static_cast<std::int16_t>(type);
  std::string error;
  if (!store.save(settings, &error)) return fail(error);
  std::cout << "saved profile '" << name << "' (" << describeValues(values) << ") in "
            << settings.path().string() << "\n";
  return kExitOk;
}

int removeProfile(CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 2) return usageError(context, "profiles remove takes NAME");
  app::SettingsFile settings(settingsPath(context));
  CliUi ui(context.yes);
  app::ProfileStore store;
  const app::LoadResult loaded = app::loadSettings(settings);
  store.load(settings, loaded.settings.profileIni, app::ConnectedDevice{});
  app::ProfileEditor editor(store, ui, app::device_type::kAny, 0, 0);
  const auto items = editor.items();
  int position = -1;
  for (std::size_t i = 0; i < items.size() && position < 0; ++i)
    if (items[i].text == args[1] && items[i].data >= 0) position = static_cast<int>(i);
  if (position < 0) return fail("there is no profile named '" + args[1] + "'");
  editor.selectItem(position);
  if (!editor.buttons().remove)
    return fail("'" + args[1] + "' is a read-only profile (from the profile file)");
  editor.deleteSelected();
  std::string error;
  if (!store.save(settings, &error)) return fail(error);
  std::cout << "removed profile '" << args[1] << "'\n";
  return kExitOk;
}

// With a recorder: connects, loads the profiles for it and selects what it uses.
struct Connected {
  std::unique_ptr<CliSession> session;
  std::unique_ptr<app::SettingsFile> settings;
  app::ProfileStore store;
};

std::optional<int> connectAndLoad(const CliContext& context, Connected& c) {
  std::string error;
  c.session = CliSession::create(context, error);
  if (!c.session) return fail(error);
  if (!c.session->connect(error)) return fail(error);
  c.settings = std::make_unique<app::SettingsFile>(settingsPath(context));
  auto& host = c.session->host();
  c.store.load(*c.settings, c.session->settings().profileIni, operations::connectedDevice(host));
  if (host.info().typeKnown)
    operations::selectFromTypeReply(c.store, host.info().type, c.store.device().reduced);
  return std::nullopt;
}

int applyProfile(CliContext& context, const std::vector<std::string>& args) {
  if (args.size() != 2) return usageError(context, "profiles apply takes NAME");
  Connected c;
  if (const auto failed = connectAndLoad(context, c)) return *failed;
  auto& host = c.session->host();
  if (!c.store.selectByProfileName(args[1])) {
    c.session->close();
    return fail("the recorder offers no profile named '" + args[1] + "' (recdesk-cli profiles lists them)");
  }
  bool answered = false;
  const auto builtIn = host.builtInReplyHandler(session::ReplyId::AckTyp);
  host.setReplyHandler(session::ReplyId::AckTyp, [&](const std::string& reply) {
    answered = true;
    builtIn(reply);
  });
  if (!operations::applySelectedProfile(host, c.store)) {
    c.session->close();
    return fail("the recording type could not be sent");
  }
  const bool ok = c.session->runUntil([&] { return answered; }, c.session->timeout());
  host.setReplyHandler(session::ReplyId::AckTyp, {});
  if (ok) operations::selectFromTypeReply(c.store, host.info().type, c.store.device().reduced);
  c.session->close();
  if (!ok) return fail("the recorder did not acknowledge the recording type");
  std::cout << "the recorder now uses: " << c.store.selectedName() << " (" << c.store.tooltip() << ")\n";
  return kExitOk;
}

int runProfiles(CliContext& context) {
  const auto args = context.all("ACTION");
  const std::string action = args.empty() ? "list" : args.front();
  if (action == "add") return addProfile(context, args);
  if (action == "remove") return removeProfile(context, args);
  if (action == "apply") return applyProfile(context, args);
  if (action != "list")
    return usageError(context, "unknown action '" + action + "' (list, add, remove or apply)");
  if (linkGiven(context)) {
    Connected c;
    if (const auto failed = connectAndLoad(context, c)) return *failed;
    c.session->close();
    printList(c.store);
    return kExitOk;
  }
  app::SettingsFile settings(settingsPath(context));
  const app::LoadResult loaded = app::loadSettings(settings);
  app::ProfileStore store;
  store.load(settings, loaded.settings.profileIni, app::ConnectedDevice{});
  printList(store);
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND(
    "profiles",
    "device profiles: list (the selected one marked), add NAME RATE BITS CHANNELS GAIN, remove NAME, "
    "apply NAME (to the connected recorder)",
    runProfiles,
    argument(text("ACTION", "ACTION", "list | add NAME RATE BITS CHANNELS GAIN | remove NAME | apply NAME"),
             false, true),
    choice("--type", {"R5", "R6", "T7"}, "profiles add: the device type the profile is for"));

}  // namespace recdesk::cli
