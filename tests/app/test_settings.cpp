#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "app/OptionsRules.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

using namespace recdesk::app;
using recdesk::test::readFile;
using recdesk::test::TempDir;
using recdesk::test::writeFile;

TEST(LoadSettings, NoFileGivesEveryDefaultAndWritesNothing) {
  TempDir dir;
  SettingsFile file(dir / "recdesk.ini");
  const LoadResult r = loadSettings(file);
  const Settings defaults;
  EXPECT_TRUE(r.settings.profileNotChosenYet());
  EXPECT_TRUE(r.settings.needsOptions());
  EXPECT_EQ(settingsAsText(r.settings), settingsAsText(defaults));
  EXPECT_FALSE(r.portRepaired || r.baudRepaired || r.cutValuesDropped);
  EXPECT_FALSE(std::filesystem::exists(dir / "recdesk.ini"));
}

TEST(LoadSettings, AllOnesPortsBecomeTheUsbAdapterAndAreWrittenBack) {
  for (const char* stored : {"-1", "65535", "131071"}) {
    TempDir dir;
    writeFile(dir / "s.ini", std::string("[Options]\nPort=") + stored + "\nBaud=2000000\nDownloadFolder=/d\n");
    SettingsFile file(dir / "s.ini");
    const LoadResult r = loadSettings(file);
    EXPECT_EQ(r.settings.port, 1000) << stored;
    EXPECT_TRUE(r.portRepaired);
    EXPECT_FALSE(r.baudRepaired);
    EXPECT_EQ(r.storedPort, stored);
    EXPECT_TRUE(r.writeBackError.empty());
    EXPECT_EQ(readFile(dir / "s.ini"), "[Options]\nPort=1000\nBaud=2000000\nDownloadFolder=/d\n");
  }
  // Other values keep their low 16 bits as a signed code.
  TempDir dir;
  writeFile(dir / "s.ini", "[Options]\nPort=65534\n");
  SettingsFile file(dir / "s.ini");
  EXPECT_EQ(loadSettings(file).settings.port, -2);
}

TEST(LoadSettings, UnknownSpeedsBecomeOneMegabitAndAreWrittenBack) {
  TempDir dir;
  writeFile(dir / "s.ini", "[options]\nbaud=57600\nport=-1\n");
  SettingsFile file(dir / "s.ini");
  LoadResult r = loadSettings(file);
  EXPECT_EQ(r.settings.baud, 1000000u);
  EXPECT_TRUE(r.baudRepaired);
  EXPECT_EQ(r.storedBaud, "57600");
  EXPECT_EQ(readFile(dir / "s.ini"), "[options]\nbaud=1000000\nport=1000\n");
  r = loadSettings(file);  // repaired once, stays repaired
  EXPECT_FALSE(r.portRepaired || r.baudRepaired);

  for (const char* speed : {"115200", "1000000", "2000000", "3000000"}) {
    writeFile(dir / "s.ini", std::string("[Options]\nBaud=") + speed + "\n");
    SettingsFile again(dir / "s.ini");
    EXPECT_FALSE(loadSettings(again).baudRepaired) << speed;
  }
  // A speed hidden past 32 bits is not taken for a valid one.
  writeFile(dir / "s.ini", "[Options]\nBaud=4295082496\n");  // 2^32 + 115200
  SettingsFile wrapped(dir / "s.ini");
  EXPECT_EQ(loadSettings(wrapped).settings.baud, 1000000u);
}

TEST(LoadSettings, BothCutValuesAreDroppedInMemoryOnly) {
  TempDir dir;
  const std::string text = "[Options]\nWaveCutTime=72\nWaveCutSize=640\nAutoDecrypt=2\nAcceleration=6\n";
  writeFile(dir / "s.ini", text);
  SettingsFile file(dir / "s.ini");
  const LoadResult r = loadSettings(file);
  EXPECT_EQ(r.settings.waveCutTime, 0);
  EXPECT_EQ(r.settings.waveCutSize, 0);
  EXPECT_TRUE(r.cutValuesDropped);
  EXPECT_FALSE(r.settings.autoDecrypt);      // on only when exactly 1
  EXPECT_EQ(r.settings.acceleration, 6);     // kept as read
  EXPECT_EQ(readFile(dir / "s.ini"), text);  // the file still holds both

  writeFile(dir / "s.ini", "[Options]\nWaveCutSize=640\nAutoDecrypt=1\nAcceleration=70000\n");
  SettingsFile one(dir / "s.ini");
  const LoadResult r2 = loadSettings(one);
  EXPECT_EQ(r2.settings.waveCutSize, 640);
  EXPECT_TRUE(r2.settings.autoDecrypt);
  EXPECT_EQ(r2.settings.acceleration, 70000 & 0xFFFF);  // 16-bit field
}

TEST(LoadSettings, EveryKeyIsReadFromItsSection) {
  TempDir dir;
  writeFile(dir / "s.ini",
            "[Options]\nProfileIni=\nPort=3\nBaud=115200\nAcceleration=16\nAutoDecrypt=0\nWaveCutTime=10\n"
            "DownloadFolder=/rec/in\nDecryptFolder = /rec/wav \nIgnoreRTC=1\nActive=1\nConfig=5\nRPW=pw\n"
            "PinTable=/keys/pin.txt\n"
            "[MainWindow]\nLeft=-20\nTop=30\nWidth=640\nHeight=480\nLastTolvik7Config=0\nFilePrefix=Case\n"
            "[CommsLog]\nDisplay=1\nLeft=1\nTop=2\nWidth=3\nHeight=4\n");
  SettingsFile file(dir / "s.ini");
  const Settings s = loadSettings(file).settings;
  EXPECT_FALSE(s.profileNotChosenYet());
  EXPECT_FALSE(s.needsOptions());
  EXPECT_EQ(settingsAsText(s),
            (std::vector<std::pair<std::string, std::string>>{
                {"Options.ProfileIni", ""},        {"Options.Port", "3"},
                {"Options.Baud", "115200"},        {"Options.Acceleration", "16"},
                {"Options.AutoDecrypt", "0"},      {"Options.WaveCutTime", "10"},
                {"Options.WaveCutSize", "0"},      {"Options.DownloadFolder", "/rec/in"},
                {"Options.DecryptFolder", "/rec/wav"}, {"Options.IgnoreRTC", "1"},
                {"Options.Active", "1"},           {"Options.Config", "5"},
                {"Options.RPW", "pw"},             {"Options.PinTable", "/keys/pin.txt"},
                {"MainWindow.Left", "-20"},
                {"MainWindow.Top", "30"},          {"MainWindow.Width", "640"},
                {"MainWindow.Height", "480"},      {"MainWindow.LastTolvik7Config", "0"},
                {"MainWindow.FilePrefix", "Case"}, {"CommsLog.Display", "1"},
                {"CommsLog.Left", "1"},            {"CommsLog.Top", "2"},
                {"CommsLog.Width", "3"},           {"CommsLog.Height", "4"},
            }));
}

TEST(SaveSettings, EachEventWritesItsOwnKeysAndTheyLoadBack) {
  TempDir dir;
  writeFile(dir / "s.ini", "[Options]\nUnknown=1\n[Device Profiles]\nNumProfiles=0\n");
  SettingsFile file(dir / "s.ini");
  Settings s;
  s.profileIni = "/p/profiles.ini";
  s.downloadFolder = "/rec";
  s.decryptFolder = "/wav";
  s.acceleration = accelerationFromExponent(5);
  s.autoDecrypt = false;
  s.waveCutTime = 72;
  s.filePrefix = "Interview";
  s.transmitterMenu = false;
  s.mainLeft = 11;
  s.restrictionsActive = true;
  s.restrictionMask = 0x1FF;
  s.restrictionPassword = "open sesame";
  s.commsLogDisplay = true;
  s.logWidth = 400;
  ASSERT_TRUE(saveOptions(file, s));
  ASSERT_TRUE(saveLink(file, 3, 115200));
  ASSERT_TRUE(saveMainWindow(file, s, false));
  EXPECT_FALSE(file.hasKey("MainWindow", "Left"));  // minimised: no placement
  ASSERT_TRUE(saveMainWindow(file, s, true));
  ASSERT_TRUE(saveIgnoreRtc(file, true));
  ASSERT_TRUE(saveRestrictions(file, s));
  ASSERT_TRUE(saveCommsLog(file, s));
  s.port = 3;
  s.baud = 115200;
  s.ignoreRtc = true;

  SettingsFile again(dir / "s.ini");
  EXPECT_EQ(settingsAsText(loadSettings(again).settings), settingsAsText(s));
  EXPECT_EQ(again.readInt("Options", "Unknown", 0), 1);
  EXPECT_EQ(again.readInt("Device Profiles", "NumProfiles", -1), 0);

  ASSERT_TRUE(saveProfileIni(file, ""));
  ASSERT_TRUE(saveCommsLogDisplay(file, false));
  SettingsFile third(dir / "s.ini");
  const Settings t = loadSettings(third).settings;
  EXPECT_EQ(t.profileIni, "");
  EXPECT_FALSE(t.profileNotChosenYet());
  EXPECT_FALSE(t.commsLogDisplay);
}

TEST(SettingsPath, FollowsTheConfigFolder) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
  const auto path = defaultSettingsPath();
  EXPECT_EQ(path.parent_path(), std::filesystem::path("/tmp/cfg/recdesk"));
  EXPECT_FALSE(path.filename().empty());
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_NE(defaultSettingsPath().string().rfind("relative", 0), 0u);
  if (old) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1); else ::unsetenv("XDG_CONFIG_HOME");
}

TEST(OptionsRules, ProgramFolder) {
  EXPECT_EQ(programFolder("/recdesk"), "/");  // the root keeps its slash
  EXPECT_EQ(programFolder("\"/opt/tools/recdesk\""), "/opt/tools");
  EXPECT_EQ(programFolder("/opt/my \"tools\"/recdesk"), "/opt/my tools");
  EXPECT_EQ(programFolder("recdesk"), "");
  EXPECT_EQ(programFolderWithSlash("/opt/tools/recdesk"), "/opt/tools/");
  EXPECT_EQ(programFolderWithSlash("/recdesk"), "/");
}

TEST(OptionsRules, LinkChoiceBothWays) {
  ASSERT_EQ(linkChoices().size(), 13u);
  // Opening the dialog.
  EXPECT_EQ(linkChoiceIndex(1000, 1000000), 1);
  EXPECT_EQ(linkChoiceIndex(1000, 3000000), 3);
  EXPECT_EQ(linkChoiceIndex(1000, 115200), 2);
  EXPECT_EQ(linkChoiceIndex(1000, 2000000), 2);
  EXPECT_EQ(linkChoiceIndex(2000, 115200), 4);
  EXPECT_EQ(linkChoiceIndex(0, 2000000), 0);
  EXPECT_EQ(linkChoiceIndex(-3, 2000000), 0);  // no link: never an adapter entry
  EXPECT_EQ(linkChoiceIndex(3, 115200), 7);
  EXPECT_EQ(linkChoiceIndex(8, 115200), 12);
  EXPECT_EQ(linkChoiceIndex(9, 115200), -1);  // not in the list: nothing selected
  EXPECT_EQ(linkChoiceIndex(1001, 1000000), -1);

  // OK.
  auto link = linkFromChoice(7, 2000000);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->port, 3);
  EXPECT_EQ(link->speed, 115200u);
  link = linkFromChoice(0, 3000000);
  ASSERT_TRUE(link);
  EXPECT_EQ(link->port, 0);
  EXPECT_EQ(link->speed, 3000000u);  // the speed stays
  EXPECT_FALSE(linkFromChoice(-1, 115200));
  EXPECT_FALSE(linkFromChoice(13, 115200));
  // Every entry maps back to itself.
  for (int i = 1; i < kLinkChoiceCount; ++i) {
    const auto l = linkFromChoice(i, 0);
    EXPECT_EQ(linkChoiceIndex(l->port, l->speed), i);
  }
}

TEST(OptionsRules, AccelerationSlider) {
  EXPECT_EQ(accelerationExponent(6), 3);  // log2 6 = 2.58, plus one half, cut
  EXPECT_EQ(accelerationExponent(8), 3);
  EXPECT_EQ(accelerationExponent(5), 2);
  EXPECT_EQ(accelerationExponent(1), 0);
  EXPECT_EQ(accelerationExponent(0), 0);
  EXPECT_EQ(accelerationExponent(256), 8);
  EXPECT_EQ(accelerationExponent(65535), 8);
  EXPECT_EQ(accelerationFromExponent(0), 1);
  EXPECT_EQ(accelerationFromExponent(8), 256);
  EXPECT_EQ(accelerationFromExponent(kDefaultAccelerationExponent), 8);
  EXPECT_EQ(accelerationFromExponent(12), 256);
  EXPECT_EQ(accelerationFromExponent(-1), 1);
}

TEST(LoadSettings, ValuesThatHoldNoIntegerAreInvalidNotDefaults) {
  TempDir dir;
  writeFile(dir / "s.ini",
            "[Options]\nPort=\nBaud=abc\nAutoDecrypt=\nAcceleration=x\nWaveCutTime=\nIgnoreRTC=yes\nActive=on\n"
            "[MainWindow]\nLastTolvik7Config=\n[CommsLog]\nDisplay=true\n");
  SettingsFile file(dir / "s.ini");
  const LoadResult r = loadSettings(file);
  // A damaged speed is repaired and written back like any other wrong speed.
  EXPECT_EQ(r.settings.baud, 1000000u);
  EXPECT_TRUE(r.baudRepaired);
  EXPECT_EQ(r.storedBaud, "abc");
  EXPECT_NE(readFile(dir / "s.ini").find("Baud=1000000\n"), std::string::npos);
  // A damaged port is no port; it is no all-ones code and is left as it is.
  EXPECT_EQ(r.settings.port, 0);
  EXPECT_FALSE(r.portRepaired);
  EXPECT_NE(readFile(dir / "s.ini").find("Port=\n"), std::string::npos);
  // Damaged flags are off, whatever their default.
  EXPECT_FALSE(r.settings.autoDecrypt);
  EXPECT_FALSE(r.settings.transmitterMenu);
  EXPECT_FALSE(r.settings.ignoreRtc);
  EXPECT_FALSE(r.settings.restrictionsActive);
  EXPECT_FALSE(r.settings.commsLogDisplay);
  EXPECT_EQ(r.settings.acceleration, 0);  // its users normalise it
  EXPECT_EQ(r.noIntegers, (std::vector<std::string>{"Options.Port", "Options.Baud", "Options.Acceleration",
                                                     "Options.AutoDecrypt", "Options.WaveCutTime",
                                                     "MainWindow.LastTolvik7Config", "Options.IgnoreRTC",
                                                     "Options.Active", "CommsLog.Display"}));

  // Once repaired, the speed is a speed; the flags stay as damaged as they were.
  SettingsFile again(dir / "s.ini");
  const LoadResult second = loadSettings(again);
  EXPECT_FALSE(second.baudRepaired);
  EXPECT_FALSE(second.settings.autoDecrypt);
}
