#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/Profile.h"
#include "app/ProfileSources.h"
#include "app/ProfileStore.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

using namespace recdesk::app;
using recdesk::test::loadEnglish;
using recdesk::test::readFile;
using recdesk::test::TempDir;
using recdesk::test::writeFile;

namespace {

std::vector<std::string> names(const ProfileStore& store) {
  std::vector<std::string> out;
  for (const auto& p : store.profiles()) out.push_back(p.name);
  return out;
}

ConnectedDevice device(int type) {
  return ConnectedDevice{true, type, false, 0};
}

}  // namespace

TEST(ProfileFile, AcceptsOnlyWholeOfferedValues) {
  const auto quiet = parseProfileFileLine("Quiet,11025,4,1,0,R5");
  ASSERT_TRUE(quiet);
  EXPECT_EQ(quiet->values, (RecordingValues{11025, 4, 1, 0}));
  EXPECT_EQ(quiet->type, device_type::kR5);
  EXPECT_EQ(quiet->source, ProfileSource::ReadOnly);
  EXPECT_EQ(parseProfileFileLine("Loud,22050,16,2,32")->type, device_type::kAny);
  for (const char* skipped :
       {"Quiet,11025,4,1,33,R5", "Quiet,11025,12,1,0", "Quiet,11025x,4,1,0", "Quiet,11025,4,3,0",
        "Quiet,12000,4,1,0", "Quiet,11025,4,1,-1", "Quiet,11025,4,1", "Quiet,11025,4,1,0,R5,x",
        "Quiet,,4,1,0", "Quiet,99999999999999999999999,4,1,0", ""})
    EXPECT_FALSE(parseProfileFileLine(skipped)) << skipped;
  // The line is read into a bounded buffer: what lies beyond it is not read.
  EXPECT_FALSE(parseProfileFileLine(std::string(200, 'N') + ",8000,4,1,0"));
}

TEST(ProfileFile, TypeTextIsTrimmedAndUpperCased) {
  EXPECT_EQ(deviceTypeFromText(" r5x"), device_type::kR5);
  EXPECT_EQ(deviceTypeFromText("R6"), device_type::kR6);
  EXPECT_EQ(deviceTypeFromText("t7 transmitter"), device_type::kT7);
  EXPECT_EQ(deviceTypeFromText("X5"), device_type::kAny);
  EXPECT_EQ(deviceTypeFromText(""), device_type::kAny);
  EXPECT_EQ(parseProfileFileLine("Quiet,8000,4,1,0, r5x")->type, device_type::kR5);
}

TEST(SettingsProfiles, EightFieldsEverywhereSevenOnlyInTheGeneralSection) {
  const auto p = parseSettingsProfileLine("Talk,0,16000,8,1,0,5,R6", false);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->values, (RecordingValues{16000, 8, 1, 5}));
  EXPECT_EQ(p->type, device_type::kR6);
  EXPECT_EQ(p->source, ProfileSource::User);
  EXPECT_FALSE(parseSettingsProfileLine("Talk,0,16000,8,1,0,5", false));
  EXPECT_EQ(parseSettingsProfileLine("Talk,0,16000,8,1,0,5", true)->type, device_type::kAny);
  // No range check on these lines, but every number must be whole and fit its field.
  EXPECT_TRUE(parseSettingsProfileLine("Odd,x,12345,12,3,y,99,", true));
  EXPECT_FALSE(parseSettingsProfileLine("Odd,0,12345,12,3,0,99x,", true));
  EXPECT_FALSE(parseSettingsProfileLine("Odd,0,8000,40000,1,0,0,", true));
}

TEST(ProfileStore, ConnectedR5ListsItsOwnAndUntypedProfilesOnly) {
  loadEnglish();
  TempDir dir;
  writeFile(dir / "profiles.ini",
            "[Profiles]\nNumProfiles=4\nProfile0=FileR5,8000,4,1,0, r5x\nProfile1=FileR6,8000,4,1,0,R6\n"
            "Profile2=FileAny,11025,8,1,0\nProfile3=Bad,11025,12,1,0\n");
  writeFile(dir / "s.ini",
            "[Device Profiles for R5]\nNumProfiles=1\nProfile0=UserR5,0,8000,4,1,0,0,R5\n"
            "[Device Profiles for R6]\nNumProfiles=1\nProfile0=UserR6,0,8000,4,1,0,0,R6\n"
            "[Device Profiles]\nNumProfiles=1\nProfile0=UserAny,0,8000,8,1,0,3\n");
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, (dir / "profiles.ini").string(), device(device_type::kR5));
  EXPECT_EQ(names(store), (std::vector<std::string>{"UserR5", "UserAny", "FileR5", "FileAny"}));
  EXPECT_EQ(store.selectedItem(), 0);

  store.load(settings, (dir / "profiles.ini").string(), ConnectedDevice{});
  EXPECT_EQ(names(store),
            (std::vector<std::string>{"UserR5", "UserR6", "UserAny", "FileR5", "FileR6", "FileAny"}));

  // A missing profile file reads as none; a damaged count does not make the reader loop for ever.
  writeFile(dir / "s.ini", "[Device Profiles]\nNumProfiles=2147483647\nProfile0=A,0,8000,4,1,0,0\n");
  store.load(settings, (dir / "missing.ini").string(), ConnectedDevice{});
  EXPECT_EQ(names(store), (std::vector<std::string>{"A"}));
}

TEST(ProfileStore, ReducedRecorderGetsTheBuiltInListStereoFirstForVariantOne) {
  loadEnglish();
  TempDir dir;
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, "", ConnectedDevice{true, 0, true, 0});
  EXPECT_EQ(names(store), (std::vector<std::string>{"Speech mono", "Standard mono", "High quality mono"}));
  store.load(settings, "", ConnectedDevice{true, 0, true, 1});
  ASSERT_EQ(store.profiles().size(), 6u);
  EXPECT_EQ(store.profiles()[0].values, (RecordingValues{8000, 4, 2, 0}));
  EXPECT_EQ(store.profiles()[3].name, "Speech mono");
  for (const auto& p : store.profiles()) {
    EXPECT_EQ(p.type, device_type::kBuiltIn);
    EXPECT_EQ(p.source, ProfileSource::ReadOnly);
  }
  // The type line names the profile.
  EXPECT_EQ(typeLine(store.profiles()[3], true), "$R5,TYP,SPEECH_MONO\r\n");
  EXPECT_EQ(typeLine({"Evil\r\n,x", ProfileSource::User, {}, 0}, true), "$R5,TYP,EVILX\r\n");
  EXPECT_EQ(typeLine({"x", ProfileSource::User, {16000, 8, 2, 12}, 0}, false),
            "$R5,TYP,16000,8,2,OFF,12\r\n");
}

TEST(ProfileStore, FirstR6ProfileIsSavedUnderKeyZeroAndReadsBackIdentically) {
  loadEnglish();
  TempDir dir;
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, "", ConnectedDevice{});
  store.profiles().push_back({"Meeting", ProfileSource::User, {22050, 16, 2, 7}, device_type::kR6});
  store.profiles().push_back({"Any", ProfileSource::User, {8000, 4, 1, 0}, device_type::kAny});
  store.profiles().push_back({"FromFile", ProfileSource::ReadOnly, {8000, 4, 1, 0}, device_type::kAny});
  ASSERT_TRUE(store.save(settings));
  EXPECT_EQ(settings.readText("Device Profiles for R6", "Profile0", ""), "Meeting,0,22050,16,2,0,7,R6");
  EXPECT_EQ(settings.readInt("Device Profiles for R6", "NumProfiles", -1), 1);
  EXPECT_EQ(settings.readInt("Device Profiles for R5", "NumProfiles", -1), 0);
  EXPECT_EQ(settings.readText("Device Profiles", "Profile0", ""), "Any,0,8000,4,1,0,0,");
  EXPECT_EQ(settings.readInt("Device Profiles", "NumProfiles", -1), 1);

  ProfileStore again;
  again.load(settings, "", ConnectedDevice{});
  EXPECT_EQ(again.profiles(),
            std::vector<DeviceProfile>(store.profiles().begin(), store.profiles().end() - 1));
  const std::string text = readFile(dir / "s.ini");
  ASSERT_TRUE(again.save(settings));
  EXPECT_EQ(readFile(dir / "s.ini"), text);
}

TEST(ProfileStore, SavingWithADeviceConnectedLosesNoOtherProfiles) {
  loadEnglish();
  TempDir dir;
  writeFile(dir / "s.ini",
            "[Device Profiles for R6]\nNumProfiles=1\nProfile0=OldR6,0,8000,4,1,0,0,R6\n"
            "[Device Profiles]\nNumProfiles=3\nProfile0=Moved,0,8000,4,1,0,0,R6\nProfile1=junk\n"
            "Profile2=Kept,0,8000,4,1,0,0\nProfile7=stale\n");
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, "", device(device_type::kR5));
  EXPECT_EQ(names(store), (std::vector<std::string>{"Moved", "Kept"}));
  store.profiles().erase(store.profiles().begin() + 1);  // "Kept" deleted
  ASSERT_TRUE(store.save(settings));
  // The general section keeps its unreadable line; the R6 profile joins its own section's profiles.
  EXPECT_EQ(settings.readInt("Device Profiles", "NumProfiles", -1), 1);
  EXPECT_EQ(settings.readText("Device Profiles", "Profile0", ""), "junk");
  EXPECT_FALSE(settings.hasKey("Device Profiles", "Profile7"));
  EXPECT_EQ(settings.readInt("Device Profiles for R6", "NumProfiles", -1), 2);
  EXPECT_EQ(settings.readText("Device Profiles for R6", "Profile0", ""), "OldR6,0,8000,4,1,0,0,R6");
  EXPECT_EQ(settings.readText("Device Profiles for R6", "Profile1", ""), "Moved,0,8000,4,1,0,0,R6");
}

TEST(ProfileStore, SelectBySettingsTakesGainAbove32As32OrFillsTheTemporaryEntry) {
  loadEnglish();
  TempDir dir;
  writeFile(
      dir / "s.ini",
      "[Device Profiles]\nNumProfiles=2\nProfile0=Low,0,8000,4,1,0,0\nProfile1=Loud,0,16000,8,1,0,32\n");
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, "", device(device_type::kR6));
  store.selectBySettings({16000, 8, 1, 40});
  EXPECT_EQ(store.selectedName(), "Loud");
  EXPECT_FALSE(store.hasTemporary());
  EXPECT_EQ(store.tooltip(), "Mono:16000,8,bits Gain - 32");

  store.selectBySettings({8000, 4, 2, 0});
  ASSERT_TRUE(store.hasTemporary());
  EXPECT_EQ(store.selectedName(), "Recorder setting: Stereo:8000.4.Gain: auto");
  EXPECT_EQ(store.items().front().data, ProfileStore::kTemporary);
  EXPECT_EQ(store.selectedItem(), 0);
  EXPECT_EQ(store.temporary().type, device_type::kR6);
  EXPECT_EQ(store.tooltip(), "Stereo:8000,4,bits Gain - auto");

  // A matching report drops the temporary entry again.
  store.selectBySettings({8000, 4, 1, 0});
  EXPECT_FALSE(store.hasTemporary());
  EXPECT_EQ(store.selectedName(), "Low");
  EXPECT_EQ(store.items().size(), 2u);
}

TEST(ProfileStore, SelectByNameForTheReducedRecorder) {
  loadEnglish();
  TempDir dir;
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, "", ConnectedDevice{true, 0, true, 1});
  store.selectByName("HIGH_QUALITY_MONO");
  EXPECT_EQ(store.selectedName(), "High quality mono");
  store.selectByName("SOMETHING_ELSE");
  EXPECT_EQ(store.selectedName(), "Unknown setting");
  EXPECT_EQ(store.temporary().values, (RecordingValues{11025, 4, 1, 0}));
  EXPECT_EQ(store.temporary().type, device_type::kBuiltIn);
}

TEST(ProfileStore, ReselectionAfterOptionsAndEditor) {
  loadEnglish();
  TempDir dir;
  writeFile(
      dir / "s.ini",
      "[Device Profiles]\nNumProfiles=2\nProfile0=Alpha,0,8000,4,1,0,0\nProfile1=Beta,0,11025,8,1,0,4\n");
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, "", device(device_type::kR6));
  store.selectItem(1);
  const auto remembered = store.valuesNamed(store.selectedName());
  store.load(settings, "", device(device_type::kR6));
  EXPECT_EQ(store.selectedName(), "Alpha");
  store.reselectAfterOptions(remembered, true);
  EXPECT_EQ(store.selectedName(), "Beta");

  // The shown profile was deleted in the editor: the recorder's values come back as the temporary
  // entry, and the editor's last choice is selected ("beta" matches "Beta…" without regard to case).
  writeFile(dir / "s.ini", "[Device Profiles]\nNumProfiles=1\nProfile0=Alpha,0,8000,4,1,0,0\n");
  store.load(settings, "", device(device_type::kR6));
  store.reselectAfterEditor("Beta", remembered, true, "alp");
  EXPECT_TRUE(store.hasTemporary());
  EXPECT_EQ(store.selectedName(), "Alpha");
  store.reselectAfterEditor("Alpha", store.valuesNamed("Alpha"), true, "no such");
  EXPECT_EQ(store.selectedItem(), 0);
}
