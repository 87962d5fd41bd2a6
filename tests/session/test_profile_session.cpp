// Profiles and Options meet a running session: the recording-type line and the profile its reply
// selects, and the Options' new port or speed.
#include <gtest/gtest.h>

#include "SessionRig.h"
#include "app/ProfileStore.h"
#include "app/SettingsFile.h"
#include "operations/OptionsApply.h"
#include "operations/ProfileApply.h"
#include "operations/ProfileFollower.h"

using namespace recdesk;
using namespace recdesk::test;

TEST(ProfileSession, ApplyingAProfileSendsTheTypeLineAndTheReplySelectsIt) {
  Rig rig;
  ASSERT_TRUE(rig.connect());
  TempDir dir;
  writeFile(
      dir / "s.ini",
      "[Device Profiles]\nNumProfiles=2\nProfile0=First,0,8000,4,1,0,0\nProfile1=Second,0,11025,8,1,0,7\n");
  app::SettingsFile file(dir / "s.ini");
  app::ProfileStore store;
  const app::ConnectedDevice device = operations::connectedDevice(*rig.host);
  EXPECT_TRUE(device.connected);
  EXPECT_FALSE(device.reduced);
  store.load(file, "", device);
  ASSERT_TRUE(store.selectByProfileName("Second"));

  const std::size_t from = rig.wire->trace().size();
  bool answered = false;
  const auto builtIn = rig.host->builtInReplyHandler(session::ReplyId::AckTyp);
  rig.host->setReplyHandler(session::ReplyId::AckTyp, [&](const std::string& reply) {
    answered = true;
    builtIn(reply);
  });
  ASSERT_TRUE(operations::applySelectedProfile(*rig.host, store));
  ASSERT_TRUE(rig.loop.runUntil([&] { return answered; }, ports::Millis(5000)));
  const auto lines = rig.linesSent(from);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "$R5,TYP,11025,8,1,OFF,7\r\n");
  store.selectItem(0);
  operations::selectFromTypeReply(store, rig.host->info().type, false);
  EXPECT_EQ(store.selectedName(), "Second");

  // The reduced recorder reports its profile by name.
  app::ProfileStore reduced;
  reduced.load(file, "", app::ConnectedDevice{true, 0, true, 0});
  session::RecordingType type;
  type.text = "HIGH_QUALITY_MONO,extra";
  operations::selectFromTypeReply(reduced, type, true);
  EXPECT_EQ(reduced.selectedName(), "High quality mono");
}

TEST(ProfileSession, OptionsSpeedAloneIsAskedOfTheRecorderAndWrittenWhenConfirmed) {
  Rig rig(sim::DeviceConfig{}, 1000, 2000000);
  TempDir dir;
  app::SettingsFile file(dir / "s.ini");
  rig.host->setSettingsWriter([&](const std::string& section, const std::string& key) {
    file.writeText(section, key,
                   key == "Port" ? std::to_string(rig.settings.port) : std::to_string(rig.settings.baud));
  });
  ASSERT_TRUE(rig.connect());
  app::Settings result = rig.settings;
  result.baud = 3000000;
  result.acceleration = 32;
  const std::size_t from = rig.wire->trace().size();
  const auto applied = operations::applyOptions(rig.host.get(), rig.settings, file, result, nullptr);
  EXPECT_TRUE(applied.speedRequested);
  EXPECT_FALSE(applied.portChanged || applied.linkWritten);
  EXPECT_EQ(rig.settings.acceleration, 32);
  EXPECT_NE(file.readInt("Options", "Baud", 0), 3000000);
  ASSERT_TRUE(
      rig.loop.runUntil([&] { return file.readInt("Options", "Baud", 0) == 3000000; }, ports::Millis(10000)));
  EXPECT_EQ(rig.linesSent(from).front(), "$R5,COM,3000000\r\n");
  EXPECT_EQ(file.readInt("Options", "Baud", 0), 3000000);
  EXPECT_EQ(file.readInt("Options", "Port", 0), 1000);
  EXPECT_EQ(file.readInt("Options", "Acceleration", 0), 32);

  // A new port restarts the session there and writes both keys at once.
  result = rig.settings;
  result.port = 3;
  result.baud = 115200;
  const int resets = rig.resets;
  const auto moved = operations::applyOptions(rig.host.get(), rig.settings, file, result, nullptr);
  EXPECT_TRUE(moved.portChanged && moved.linkWritten);
  EXPECT_GT(rig.resets, resets);
  EXPECT_EQ(file.readInt("Options", "Port", 0), 3);
  EXPECT_EQ(file.readInt("Options", "Baud", 0), 115200);
  EXPECT_FALSE(rig.host->flags().recorderConnected);
  EXPECT_EQ(rig.host->portCode(), 3);  // the next connect attempts go there
}

TEST(ProfileSession, TheFollowerLoadsForTheConnectedDeviceAndSelectsWhatItUses) {
  Rig rig;
  TempDir dir;
  writeFile(dir / "s.ini",
            "[Device Profiles for R6]\nNumProfiles=1\nProfile0=Six,0,8000,4,1,0,0,R6\n"
            "[Device Profiles for R5]\nNumProfiles=1\nProfile0=Five,0,11025,8,1,0,0,R5\n");
  app::SettingsFile file(dir / "s.ini");
  app::ProfileStore store;
  int changes = 0;
  operations::ProfileFollower follower(
      *rig.host, store, file, [] { return std::string(); }, [&] { ++changes; });
  EXPECT_EQ(store.profiles().size(), 2u);  // nothing connected: every type
  ASSERT_TRUE(rig.connect());
  const app::ConnectedDevice device = operations::connectedDevice(*rig.host);
  ASSERT_TRUE(device.connected);
  std::vector<std::string> expected;
  for (const auto& p : store.profiles())
    if (p.type == device.type) expected.push_back(p.name);
  EXPECT_EQ(expected.size(), store.profiles().size());  // only the connected type's profiles
  EXPECT_TRUE(rig.host->info().typeKnown);
  const auto& t = rig.host->info().type;
  ASSERT_NE(store.selectedProfile(), nullptr);
  EXPECT_EQ(store.selectedProfile()->values.rate, static_cast<std::int32_t>(t.sampleRate));
  EXPECT_GT(changes, 1);
}

TEST(ProfileSession, TheReducedRecorderNamingItsTypeStillGetsTheRecordingTimeLeft) {
  sim::DeviceConfig config;
  config.model = sim::Model::R5U;
  config.profileName = "HIGH_QUALITY_MONO";
  Rig rig(config);
  TempDir dir;
  app::SettingsFile file(dir / "s.ini");
  app::ProfileStore store;
  operations::ProfileFollower follower(*rig.host, store, file, [] { return std::string(); });
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().freeKnown; }, ports::Millis(5000)));
  const auto& info = rig.host->info();
  EXPECT_FALSE(info.type.numeric);
  ASSERT_NE(store.selectedProfile(), nullptr);
  EXPECT_EQ(store.selectedName(), "High quality mono");
  // The time left comes from the named profile's numbers (11025 Hz, 8 bits, mono).
  ASSERT_TRUE(info.recordingSecondsLeft);
  EXPECT_EQ(*info.recordingSecondsLeft, *session::recordingSecondsLeft(info.freePages, 8, 1, 11025));
  EXPECT_NE(*info.recordingSecondsLeft, *session::recordingSecondsLeft(info.freePages, 4, 1, 8000));
  EXPECT_EQ(info.recordingTimeText.find(lang::text(TextId::NoProfileSelected)), std::string::npos);
}

TEST(ProfileSession, ANamedTypeWithoutAProfileListLeavesTheTimeLeftUnknown) {
  sim::DeviceConfig config;
  config.model = sim::Model::R5U;
  Rig rig(config);
  ASSERT_TRUE(rig.connect());
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().freeKnown; }, ports::Millis(5000)));
  EXPECT_FALSE(rig.host->info().recordingSecondsLeft);
  EXPECT_NE(rig.host->info().recordingTimeText.find(lang::text(TextId::NoProfileSelected)), std::string::npos);
}
