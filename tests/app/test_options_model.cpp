#include <gtest/gtest.h>

#include <cstdlib>

#include "TestSupport.h"
#include "app/AccelerationModel.h"
#include "app/OptionsModel.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

using namespace recdesk::app;
using recdesk::test::FakeUi;
using recdesk::test::loadEnglish;
using recdesk::test::TempDir;
using recdesk::test::writeFile;

TEST(OptionsModel, LinkChoiceBothWaysAndTheBlockSizeButton) {
  loadEnglish();
  FakeUi ui;
  Settings s;
  s.port = 1000;
  s.baud = 3000000;
  OptionsModel m(s, ui);
  EXPECT_EQ(m.linkIndex(), 3);
  EXPECT_TRUE(m.accelerationEnabled());
  m.setLinkIndex(7);
  EXPECT_FALSE(m.accelerationEnabled());
  auto r = m.ok(s, "/cwd", nullptr);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->port, 3);
  EXPECT_EQ(r->baud, 115200u);
  m.setLinkIndex(4);
  EXPECT_FALSE(m.accelerationEnabled());  // only the opening enables it for the module
  s.port = 2000;
  EXPECT_TRUE(OptionsModel(s, ui).accelerationEnabled());
  m.setLinkIndex(0);
  r = m.ok(s, "/cwd", nullptr);
  EXPECT_EQ(r->port, 0);
  EXPECT_EQ(r->baud, 3000000u);  // entry 0 keeps the speed
}

TEST(OptionsModel, CutTogglesAndValidation) {
  loadEnglish();
  FakeUi ui;
  Settings s;
  OptionsModel m(s, ui);
  EXPECT_FALSE(m.cutByTime() || m.cutBySize() || m.minutesEnabled() || m.mibEnabled());
  m.setCutByTime(true);
  EXPECT_EQ(m.minutes(), 72);
  EXPECT_EQ(m.mib(), 0);
  EXPECT_TRUE(m.minutesEnabled() && !m.mibEnabled());
  m.setCutBySize(true);
  EXPECT_EQ(m.mib(), 640);
  EXPECT_EQ(m.minutes(), 0);
  EXPECT_FALSE(m.cutByTime());
  m.setCutBySize(false);
  EXPECT_EQ(m.mib(), 2047);
  auto r = m.ok(s, "/cwd", nullptr);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->waveCutSize, 2047);
  s.waveCutSize = 2047;
  EXPECT_TRUE(OptionsModel(s, ui).cutBySize());  // a later opening shows the size cut with 2047

  std::string problem;
  m.setMinutes(6001);
  EXPECT_FALSE(m.ok(s, "/cwd", &problem));
  EXPECT_EQ(problem, "Enter a whole number from 0 to 6000.");
  m.setMinutes(6000);
  m.setMib(2048);
  EXPECT_FALSE(m.ok(s, "/cwd", &problem));
  m.setMib(-1);
  EXPECT_FALSE(m.ok(s, "/cwd", &problem));
}

TEST(OptionsModel, FoldersBlockSizeAndProfileFile) {
  loadEnglish();
  TempDir dir;
  FakeUi ui;
  Settings s;
  s.acceleration = 6;
  s.profileIni = "NOINIT";
  OptionsModel m(s, ui);
  EXPECT_EQ(m.exponent(), 3);
  EXPECT_FALSE(m.useProfileFile());
  m.chooseDownloadFolder("/rec");
  EXPECT_EQ(m.decodeFolder(), "/rec");
  m.chooseDecodeFolder("");
  m.setExponent(0);
  auto r = m.ok(s, "/cwd", nullptr);
  EXPECT_EQ(r->downloadFolder, "/rec");
  EXPECT_EQ(r->decryptFolder, "/cwd");
  EXPECT_EQ(r->acceleration, 1);
  EXPECT_EQ(r->profileIni, "");
  m.setExponent(8);
  EXPECT_EQ(m.ok(s, "/cwd", nullptr)->acceleration, 256);

  writeFile(dir / "none.ini", "[Other]\nNumProfiles=3\n");
  writeFile(dir / "good.ini", "[Profiles]\nNumProfiles=0\n");
  EXPECT_FALSE(m.chooseProfileFile((dir / "none.ini").string()));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text,
            "This file holds no device profiles (its Profiles section has no NumProfiles entry).");
  EXPECT_TRUE(m.chooseProfileFile((dir / "good.ini").string()));
  EXPECT_EQ(m.ok(s, "/cwd", nullptr)->profileIni, (dir / "good.ini").string());
  m.setUseProfileFile(false);
  EXPECT_EQ(m.profilePath(), "");

  // Only the Options keys are written, never the link.
  SettingsFile file(dir / "s.ini");
  ASSERT_TRUE(writeOptionsResult(file, *m.ok(s, "/cwd", nullptr)));
  EXPECT_FALSE(file.hasKey("Options", "Port"));
  EXPECT_EQ(file.readInt("Options", "Acceleration", 0), 256);
  EXPECT_EQ(loadSettings(file).settings.downloadFolder, "/rec");
}

TEST(AccelerationModel, SliderPositions) {
  EXPECT_EQ(AccelerationModel::forCount(6).position(), 3);
  EXPECT_EQ(AccelerationModel::forCount(256).position(), 8);
  AccelerationModel m(0);
  EXPECT_EQ(m.count(), 1);
  m.setPosition(12);
  EXPECT_EQ(m.count(), 256);
  m.restoreDefault();
  EXPECT_EQ(m.count(), 8);
}

TEST(FirstRunChoice, AskedOnceRefusedFilesLeaveNoFile) {
  loadEnglish();
  TempDir dir;
  writeFile(dir / "bad.ini", "[Profiles]\n");
  writeFile(dir / "good.ini", "[Profiles]\nNumProfiles=2\n");
  SettingsFile file(dir / "s.ini");
  Settings s;
  FakeUi ui;
  ui.texts = {(dir / "bad.ini").string()};
  runFirstRunProfileChoice(s, file, ui, "/opt/recdesk/");
  EXPECT_EQ(s.profileIni, "");
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.textQuestions[0].initial, "/opt/recdesk/Profiles");
  EXPECT_EQ(ui.textQuestions[0].kind, recdesk::ports::TextKind::ExistingFile);
  EXPECT_FALSE(loadSettings(file).settings.profileNotChosenYet());

  ui.texts = {(dir / "good.ini").string()};
  runFirstRunProfileChoice(s, file, ui, "/");
  EXPECT_EQ(loadSettings(file).settings.profileIni, (dir / "good.ini").string());
  runFirstRunProfileChoice(s, file, ui, "/");  // cancelled
  EXPECT_EQ(loadSettings(file).settings.profileIni, "");
}

TEST(OptionsModel, DefaultFoldersFollowXdgDataHome) {
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(defaultDownloadFolder(), "/data/recdesk/download");
  EXPECT_EQ(defaultDecodeFolder(), "/data/recdesk/decode");
  Settings s;
  s.downloadFolder = "/mine";
  EXPECT_TRUE(presetDefaultFolders(s));
  EXPECT_EQ(s.downloadFolder, "/mine");  // a configured folder is never replaced
  EXPECT_EQ(s.decryptFolder, "/data/recdesk/decode");
  EXPECT_FALSE(presetDefaultFolders(s));
  if (old)
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
}
