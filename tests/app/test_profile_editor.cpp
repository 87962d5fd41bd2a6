#include <gtest/gtest.h>

#include "TestSupport.h"
#include "app/ProfileEditor.h"
#include "app/ProfileStore.h"
#include "app/SettingsFile.h"

using namespace recdesk::app;
using recdesk::ports::Answer;
using recdesk::test::FakeUi;
using recdesk::test::loadEnglish;
using recdesk::test::TempDir;
using recdesk::test::writeFile;

namespace {

struct EditorRig {
  TempDir dir;
  FakeUi ui;
  ProfileStore store;
  std::unique_ptr<SettingsFile> settings;
  EditorRig() {
    loadEnglish();
    writeFile(dir / "p.ini", "[Profiles]\nNumProfiles=1\nProfile0=Fixed,8000,4,1,0\n");
    writeFile(dir / "s.ini", "[Device Profiles]\nNumProfiles=1\nProfile0=Mine,0,11025,8,1,0,5\n");
    settings = std::make_unique<SettingsFile>(dir / "s.ini");
    store.load(*settings, (dir / "p.ini").string(), ConnectedDevice{true, device_type::kR6, false, 0});
  }
};

}  // namespace

TEST(ProfileEditor, EstimateOfTheRecordingTime) {
  loadEnglish();
  EXPECT_EQ(profileEstimateSeconds(1000, {8000, 4, 1, 0}), 127u);
  EXPECT_EQ(profileEstimateText(1000, {8000, 4, 1, 0}), "Recording time: 00:02:07");
  EXPECT_EQ(profileEstimateSeconds(1000, {8000, 16, 1, 0}), 1000u * 256 / 8000);
  EXPECT_EQ(profileEstimateSeconds(1000, {8000, 8, 2, 0}), (4064u / 8 / 2 + 1) * 1000 / 8000);
  EXPECT_FALSE(profileEstimateSeconds(1000, {0, 4, 1, 0}));  // a stored rate of 0 divides nothing
  EXPECT_FALSE(profileEstimateSeconds(1000, {8000, 0, 1, 0}));
}

TEST(ProfileEditor, OffersByDeviceType) {
  const ProfileOffer r5 = profileOffer(device_type::kR5);
  EXPECT_EQ(r5.rates, (std::vector<std::int32_t>{8000, 11025}));
  EXPECT_EQ(r5.bits, (std::vector<std::int16_t>{4, 8}));
  EXPECT_EQ(r5.channels, (std::vector<std::int16_t>{1}));
  EXPECT_FALSE(r5.gainAdjustable);
  EXPECT_EQ(profileOffer(device_type::kAny).typeLabel, recdesk::TextId::AnyDevice);
  EXPECT_EQ(profileOffer(device_type::kT7).typeLabel, recdesk::TextId::R6RecorderOrT7);
  EXPECT_EQ(profileOffer(device_type::kR6).rates.size(), 4u);
}

TEST(ProfileEditor, ButtonsModifiedFlagAndCloseCaption) {
  EditorRig rig;
  ProfileEditor editor(rig.store, rig.ui, device_type::kR6, 1000, 0);
  EXPECT_EQ(editor.selectedItem(), 0);
  EXPECT_EQ(editor.values(), (RecordingValues{11025, 8, 1, 5}));
  EXPECT_EQ(editor.rateIndex(), 1);
  EXPECT_EQ(editor.closeCaption(), "Close");
  auto b = editor.buttons();
  EXPECT_TRUE(b.remove && b.saveAs && !b.save);

  editor.setAutoGain(true);
  EXPECT_TRUE(editor.autoGain());
  EXPECT_EQ(editor.sliderPosition(), 1);
  EXPECT_FALSE(editor.gainControlsEnabled());
  editor.setAutoGain(false);
  EXPECT_EQ(editor.values().gain, 5);  // the fixed gain comes back
  editor.setGain(99);
  EXPECT_EQ(editor.values().gain, 32);
  EXPECT_TRUE(editor.modified());
  EXPECT_EQ(editor.closeCaption(), "Close without saving");
  EXPECT_TRUE(editor.buttons().save);
  editor.save();
  EXPECT_EQ(rig.store.profiles()[0].values.gain, 32);
  EXPECT_FALSE(editor.modified());

  editor.selectItem(1);  // the read-only profile
  b = editor.buttons();
  EXPECT_TRUE(!b.remove && !b.save && b.saveAs);
  editor.deleteSelected();
  EXPECT_EQ(rig.store.profiles().size(), 2u);
}

TEST(ProfileEditor, SaveAsRemovesColonsRefusesReadOnlyNamesAndAsksBeforeOverwriting) {
  EditorRig rig;
  ProfileEditor editor(rig.store, rig.ui, device_type::kR6, 1000, 1);
  editor.setBitsIndex(2);
  // A read-only name is refused with 145 and asked again; the second answer is new.
  rig.ui.texts = {std::string("Fixed"), std::string("  Lo:ud  ")};
  bool changed = false;
  editor.saveAs([&](bool c) { changed = c; });
  EXPECT_TRUE(changed);
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "This name belongs to a read-only profile. Please enter another name.");
  EXPECT_EQ(rig.ui.textQuestions[0].initial, "");  // nothing offered for a read-only selection
  ASSERT_EQ(rig.store.profiles().size(), 3u);
  EXPECT_EQ(rig.store.profiles()[2].name, "Loud");
  EXPECT_EQ(rig.store.profiles()[2].values.bits, 16);
  EXPECT_EQ(rig.store.profiles()[2].type, device_type::kR6);
  EXPECT_EQ(editor.closeName(), "Loud");

  // An existing user name: No asks again, Cancel ends without change, Yes overwrites.
  editor.setRateIndex(3);
  rig.ui.texts = {std::string("Mine"), std::string("Mine")};
  rig.ui.answers = {Answer::No, Answer::Cancel};
  editor.saveAs([&](bool c) { changed = c; });
  EXPECT_FALSE(changed);
  EXPECT_EQ(rig.store.profiles()[0].values.rate, 11025);
  rig.ui.texts = {std::string("Mine")};
  rig.ui.answers = {Answer::Yes};
  editor.saveAs([&](bool c) { changed = c; });
  EXPECT_TRUE(changed);
  EXPECT_EQ(rig.store.profiles()[0].values.rate, 22050);
  EXPECT_EQ(editor.closeName(), "Mine");
  EXPECT_EQ(withoutColons("a:b:"), "ab");
  // The name box takes only a name that is left once colons and blanks are gone.
  EXPECT_TRUE(profileNameAcceptable(" x: "));
  EXPECT_FALSE(profileNameAcceptable(" : "));
  EXPECT_FALSE(profileNameAcceptable(""));
}

TEST(ProfileEditor, EmptyListOffersANewProfileAndDeleteEndsThere) {
  loadEnglish();
  TempDir dir;
  FakeUi ui;
  SettingsFile settings(dir / "s.ini");
  ProfileStore store;
  store.load(settings, "", ConnectedDevice{});
  {
    ProfileEditor editor(store, ui, device_type::kAny, 0, 0);
    ASSERT_EQ(editor.items().size(), 1u);
    EXPECT_EQ(editor.items()[0].text, "<New profile>");
    EXPECT_EQ(editor.values(), (RecordingValues{8000, 4, 1, 0}));
    ui.texts = {std::string("Talk")};
    editor.saveAs();
    ASSERT_EQ(editor.items().size(), 1u);  // the temporary entry went
    EXPECT_EQ(editor.items()[0].text, "Talk");
    editor.deleteSelected();
    ASSERT_EQ(editor.items().size(), 1u);
    EXPECT_EQ(editor.items()[0].data, ProfileStore::kTemporary);
  }
  // Saving the temporary entry renames it.
  ProfileEditor editor(store, ui, device_type::kAny, 0, 0);
  editor.setChannelsIndex(1);
  editor.save();
  EXPECT_EQ(editor.items()[0].text, "Custom Stereo:8000.4");
}

TEST(ProfileEditor, FinishingSavesReloadsAndKeepsEditsWhenTheSaveFails) {
  EditorRig rig;
  const std::string shown = rig.store.selectedName();
  const auto values = rig.store.valuesNamed(shown);
  ProfileEditor editor(rig.store, rig.ui, device_type::kR6, 0, 0);
  rig.ui.texts = {std::string("Second")};
  editor.saveAs();
  std::string error;
  rig.settings->setFaultHook([](SaveStep) { return 28; });
  finishProfileEditor(rig.store, *rig.settings, (rig.dir / "p.ini").string(), rig.store.device(), true, shown,
                      values, editor.closeName(), &error);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(rig.store.profiles().size(), 3u);  // still in memory
  rig.settings->setFaultHook({});
  error.clear();
  finishProfileEditor(rig.store, *rig.settings, (rig.dir / "p.ini").string(), rig.store.device(), true, shown,
                      values, editor.closeName(), &error);
  EXPECT_TRUE(error.empty());
  EXPECT_EQ(rig.store.selectedName(), "Second");
  // The new profile takes the type of the one it was made from (an untyped one here).
  EXPECT_EQ(rig.settings->readText("Device Profiles", "Profile1", ""), "Second,0,11025,8,1,0,5,");
}
