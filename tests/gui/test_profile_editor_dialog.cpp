// The profile editor's window and its save-as dialog draw the editor model: the buttons of user,
// read-only and temporary entries, the modified state, the name rules, the overwrite question
// answered later, the main window's list after the editor, and the restriction that locks it.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>

#include "DemoOptions.h"
#include "GuiTestSupport.h"
#include "app/ProfileEditor.h"
#include "app/SettingsFile.h"
#include "dialogs/ProfileChoice.h"
#include "dialogs/ProfileEditorCommand.h"
#include "dialogs/ProfileEditorDialog.h"
#include "dialogs/ProfileEditorPrompts.h"
#include "dialogs/ProfileSaveAsDialog.h"
#include "dialogs/SettingsCommands.h"
#include "platform/GuiTexts.h"
#include "window/GuiSession.h"
#include "window/MainWindow.h"

using namespace recdesk;
using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

namespace {

constexpr const char* kUserProfiles =
    "[Device Profiles]\nNumProfiles=2\nProfile0=Meeting,0,8000,4,1,0,0\nProfile1=Lecture,0,16000,16,1,0,5\n";

// Two user profiles in the settings file and a read-only one in a profile file.
struct Profiles {
  Profiles() {
    test::writeFile(dir / "profiles.ini", "[Profiles]\nNumProfiles=1\nProfile0=Quiet,11025,4,1,0\n");
    test::writeFile(dir / "recdesk.ini",
                    "[Options]\nProfileIni=" + (dir / "profiles.ini").string() + "\n" + kUserProfiles);
    store.load(settings, (dir / "profiles.ini").string(), app::ConnectedDevice{});
  }
  int position(const std::string& name) const {
    const auto items = store.items();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].text == name) return static_cast<int>(i);
    return -1;
  }
  test::TempDir dir;
  app::SettingsFile settings{dir / "recdesk.ini"};
  app::ProfileStore store;
};

void choose(QComboBox* box, int index) {
  box->setCurrentIndex(index);
  Q_EMIT box->activated(index);
}

QMessageBox* boxOf(ProfileEditorDialog& editor, ports::Topic topic) {
  QWidget* box = nullptr;
  processUntil([&] { return (box = editor.prompts().openBox(topic)) != nullptr && box->isVisible(); }, 2000);
  return qobject_cast<QMessageBox*>(box);
}

ProfileSaveAsDialog* nameDialogOf(ProfileEditorDialog& editor) {
  QWidget* dialog = nullptr;
  processUntil([&] { return (dialog = editor.prompts().nameDialog()) != nullptr; }, 2000);
  return qobject_cast<ProfileSaveAsDialog*>(dialog);
}

struct Buttons {
  bool remove, save, saveAs;
  bool operator==(const Buttons&) const = default;
};
Buttons buttonsOf(const ProfileEditorDialog& e) {
  return {e.deleteButton()->isEnabled(), e.saveButton()->isEnabled(), e.saveAsButton()->isEnabled()};
}

}  // namespace

TEST(ProfileEditorDialog, ButtonsOfUserReadOnlyAndTemporaryEntriesAndTheModifiedState) {
  guiApp();
  Profiles p;
  p.store.selectBySettings({22050, 16, 2, 7});  // no profile has these: the temporary entry
  ASSERT_TRUE(p.store.hasTemporary());
  ProfileEditorDialog editor(p.store, app::device_type::kR6, 1000, p.position("Meeting"));
  editor.show();
  const QString close = qtext(TextId::EditorClose);
  const QString closeUnsaved = qtext(TextId::EditorCloseWithoutSaving);

  // A user profile: Delete and Save as; Save only once something changed.
  EXPECT_EQ(editor.profileBox()->currentText(), "Meeting");
  EXPECT_EQ(buttonsOf(editor), (Buttons{true, false, true}));
  EXPECT_EQ(editor.closeButton()->text(), close);
  EXPECT_EQ(editor.estimateLabel()->text(), "Recording time: 00:02:07");
  EXPECT_TRUE(editor.autoGainBox()->isChecked());
  EXPECT_FALSE(editor.gainSlider()->isEnabled());
  choose(editor.rateBox(), 1);  // 11025 Hz
  EXPECT_TRUE(editor.model().modified());
  EXPECT_EQ(buttonsOf(editor), (Buttons{true, true, true}));
  EXPECT_EQ(editor.closeButton()->text(), closeUnsaved);
  editor.autoGainBox()->click();  // a fixed gain: the slider and its value follow
  EXPECT_TRUE(editor.gainSlider()->isEnabled());
  editor.gainValue()->setText("40");
  Q_EMIT editor.gainValue()->editingFinished();
  EXPECT_EQ(editor.gainSlider()->value(), 32);
  EXPECT_EQ(editor.gainValue()->text(), "32");
  editor.saveButton()->click();
  EXPECT_EQ(editor.closeButton()->text(), close);
  EXPECT_FALSE(editor.saveButton()->isEnabled());
  EXPECT_EQ(editor.store().profiles()[0].values, (app::RecordingValues{11025, 4, 1, 32}));

  // The read-only profile: only Save as, also when changed.
  choose(editor.profileBox(), editor.profileBox()->findText("Quiet"));
  EXPECT_EQ(buttonsOf(editor), (Buttons{false, false, true}));
  choose(editor.bitsBox(), 1);
  EXPECT_EQ(editor.closeButton()->text(), closeUnsaved);
  EXPECT_EQ(buttonsOf(editor), (Buttons{false, false, true}));

  // The temporary entry stands first under the new-profile label and counts as the user's.
  EXPECT_EQ(editor.profileBox()->itemText(0), qtext(TextId::NewProfile));
  choose(editor.profileBox(), 0);
  EXPECT_EQ(editor.channelsBox()->currentText(), qtext(TextId::Stereo));
  EXPECT_EQ(editor.closeButton()->text(), close);
  EXPECT_EQ(buttonsOf(editor), (Buttons{true, false, true}));
}

TEST(ProfileEditorDialog, OffersWhatTheConnectedR5Takes) {
  guiApp();
  Profiles p;
  ProfileEditorDialog editor(p.store, app::device_type::kR5, 0, 0);
  EXPECT_EQ(editor.rateBox()->count(), 2);
  EXPECT_EQ(editor.bitsBox()->count(), 2);
  EXPECT_EQ(editor.channelsBox()->count(), 1);
  EXPECT_EQ(editor.rateBox()->itemData(1).toInt(), 11025);
  EXPECT_FALSE(editor.autoGainBox()->isEnabled());
  EXPECT_FALSE(editor.gainSlider()->isEnabled());
  EXPECT_FALSE(editor.gainValue()->isEnabled());
  EXPECT_TRUE(editor.deviceLabel()->text().endsWith(qtext(TextId::R5Recorder)));
  // A 16-bit stereo profile has no place in these lists.
  choose(editor.profileBox(), p.position("Lecture"));
  EXPECT_EQ(editor.bitsBox()->currentIndex(), -1);
}

TEST(ProfileEditorDialog, TheNameDialogTakesColonsOutAndARefusedNameIsAskedAgainAfterItsMessage) {
  guiApp();
  Profiles p;
  ProfileEditorDialog editor(p.store, app::device_type::kAny, 0, p.position("Quiet"));
  editor.show();
  editor.saveAsButton()->click();
  ProfileSaveAsDialog* name = nameDialogOf(editor);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->nameBox()->text(), "");  // a read-only profile's name is not offered
  EXPECT_FALSE(name->okButton()->isEnabled());
  name->nameBox()->setText(":");
  EXPECT_EQ(name->nameBox()->text(), "");
  EXPECT_FALSE(name->okButton()->isEnabled());
  name->nameBox()->setText("  ");
  EXPECT_FALSE(name->okButton()->isEnabled());
  name->nameBox()->setText("Eve");
  name->nameBox()->insert(":");  // typed after "Eve": the caret stays after "Eve"
  name->nameBox()->insert("ning");
  EXPECT_EQ(name->nameBox()->text(), "Evening");
  name->nameBox()->setText("Quiet");  // the read-only profile's name
  test::screenshot(*name, "profile-save-as");
  name->okButton()->click();

  // Refused with 145; the name is asked again only once the message is closed.
  QMessageBox* refused = boxOf(editor, ports::Topic::General);
  ASSERT_NE(refused, nullptr);
  EXPECT_EQ(refused->text(), qtext(TextId::ProfileNameReadOnly));
  processUntil([] { return false; }, 50);
  EXPECT_EQ(editor.prompts().nameDialog(), nullptr);
  refused->button(QMessageBox::Ok)->click();
  name = nameDialogOf(editor);
  ASSERT_NE(name, nullptr);
  name->nameBox()->setText(" Even:ing ");
  name->okButton()->click();
  ASSERT_TRUE(processUntil([&] { return editor.profileBox()->currentText() == "Evening"; }, 2000));
  EXPECT_EQ(editor.store().profiles().back().name, "Evening");
  EXPECT_EQ(buttonsOf(editor), (Buttons{true, false, true}));
}

TEST(ProfileEditorDialog, TheOverwriteQuestionIsAnsweredLaterAndNoAsksForAnotherName) {
  guiApp();
  Profiles p;
  ProfileEditorDialog editor(p.store, app::device_type::kAny, 1000, p.position("Lecture"));
  editor.show();
  choose(editor.rateBox(), 0);  // 8000 Hz
  editor.saveAsButton()->click();
  ProfileSaveAsDialog* name = nameDialogOf(editor);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->nameBox()->text(), "Lecture");
  name->nameBox()->setText("Meeting");
  name->okButton()->click();

  QMessageBox* question = boxOf(editor, ports::Topic::ProfileOverwrite);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(question->text(), qtext(TextId::ProfileExists));
  // Nothing waits for the answer: events flow and the list is unchanged meanwhile.
  processUntil([] { return false; }, 100);
  EXPECT_EQ(editor.store().profiles()[0].values, (app::RecordingValues{8000, 4, 1, 0}));
  question->button(QMessageBox::No)->click();
  name = nameDialogOf(editor);  // No: another name
  ASSERT_NE(name, nullptr);
  name->nameBox()->setText("Meeting");
  name->okButton()->click();
  question = boxOf(editor, ports::Topic::ProfileOverwrite);
  ASSERT_NE(question, nullptr);
  question->button(QMessageBox::Yes)->click();
  ASSERT_TRUE(processUntil([&] { return editor.profileBox()->currentText() == "Meeting"; }, 2000));
  EXPECT_EQ(editor.store().profiles()[0].values, (app::RecordingValues{8000, 16, 1, 5}));
  EXPECT_EQ(editor.store().profiles().size(), 3u);  // overwritten, not added
  EXPECT_EQ(editor.closeButton()->text(), qtext(TextId::EditorClose));
}

namespace {

struct Window {
  explicit Window(const std::string& options) {
    test::writeFile(dir / "recdesk.ini", "[Options]\nProfileIni=\n" + options + kUserProfiles);
    session = std::make_unique<GuiSession>(test::demoOptions(dir));
    window = std::make_unique<MainWindow>(*session);
  }
  ProfileEditorCommand& command() const { return *window->settingsCommands()->profileEditor(); }
  QComboBox* dropDown() const { return qobject_cast<QComboBox*>(window->control(Control::ProfileChoice)); }
  test::TempDir dir;
  std::unique_ptr<GuiSession> session;
  std::unique_ptr<MainWindow> window;
};

}  // namespace

TEST(ProfileEditorDialog, TheWindowsListIsSavedLoadedAndChosenAgainWhenTheEditorCloses) {
  guiApp();
  Window w("");
  w.window->runCommand(number(Command::Profiles));
  ProfileEditorDialog* editor = w.command().dialog();
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->isVisible());
  choose(editor->profileBox(), editor->profileBox()->findText("Meeting"));
  editor->deleteButton()->click();
  EXPECT_EQ(editor->profileBox()->currentText(), "Lecture");
  editor->saveAsButton()->click();
  ProfileSaveAsDialog* name = nameDialogOf(*editor);
  ASSERT_NE(name, nullptr);
  name->nameBox()->setText("Interview");
  name->okButton()->click();
  ASSERT_TRUE(processUntil([&] { return editor->profileBox()->currentText() == "Interview"; }, 2000));
  editor->closeButton()->click();

  ASSERT_TRUE(processUntil([&] { return w.command().dialog() == nullptr; }, 2000));
  QStringList texts;
  for (int i = 0; i < w.dropDown()->count(); ++i) texts << w.dropDown()->itemText(i);
  EXPECT_EQ(texts, (QStringList{"Lecture", "Interview"}));
  EXPECT_EQ(w.dropDown()->currentText(), "Interview");  // what the editor showed when it closed
  const std::string saved = test::readFile(w.dir / "recdesk.ini");
  EXPECT_NE(saved.find("Interview,0,16000,16,1,0,5"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("Meeting"), std::string::npos) << saved;
}

TEST(ProfileEditorDialog, TheRestrictionOnProfileEditingLocksTheCommand) {
  guiApp();
  {
    Window w("Active=1\nConfig=2\nRPW=secret\n");
    ASSERT_NE(w.window->action(Command::Profiles), nullptr);
    EXPECT_FALSE(w.window->action(Command::Profiles)->isEnabled());
    w.window->runCommand(number(Command::Profiles));
    EXPECT_EQ(w.command().dialog(), nullptr);
  }
  {
    // The profile choice's own restriction leaves the editor open to use.
    Window w("Active=1\nConfig=32\nRPW=secret\n");
    EXPECT_FALSE(w.dropDown()->isEnabled());
    EXPECT_TRUE(w.window->action(Command::Profiles)->isEnabled());
    w.window->runCommand(number(Command::Profiles));
    ASSERT_NE(w.command().dialog(), nullptr);
    w.command().dialog()->reject();
  }
}
