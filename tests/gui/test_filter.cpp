// The WAV filter command: the dialog proposes the output from the input and the mode and goes on
// only with a WAV file; the run happens off the GUI thread and its output opens in the player.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <cstring>
#include <filesystem>

#include "window/Commands.h"
#include "window/GuiSession.h"
#include "DemoOptions.h"
#include "GuiTestSupport.h"
#include "window/MainWindow.h"
#include "dialogs/FilterDialog.h"
#include "player/FilterController.h"
#include "player/PlayerController.h"

using namespace recdesk::gui;
using recdesk::test::guiApp;
using recdesk::test::processUntil;

namespace {
// A 16-bit mono WAV file of a second of a rising saw at 8 kHz.
void writeWav(const std::filesystem::path& path) {
  const std::uint32_t rate = 8000, frames = 8000, data = frames * 2;
  std::string b = "RIFF";
  const auto u32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF); };
  const auto u16 = [&](std::uint16_t v) { b += static_cast<char>(v & 0xFF); b += static_cast<char>(v >> 8); };
  u32(36 + data);
  b += "WAVEfmt ";
  u32(16); u16(1); u16(1); u32(rate); u32(rate * 2); u16(2); u16(16);
  b += "data";
  u32(data);
  for (std::uint32_t i = 0; i < frames; ++i) u16(static_cast<std::uint16_t>(static_cast<std::int16_t>((i * 97) % 20000 - 10000)));
  recdesk::test::writeFile(path, b);
}
}  // namespace

TEST(FilterCommand, DialogProposesTheOutputAndTheRunOpensItInThePlayer) {
  guiApp();
  recdesk::test::TempDir dir;
  GuiOptions options = recdesk::test::demoOptions(dir);
  GuiSession session(options);
  MainWindow window(session);
  window.show();
  const std::string input = (dir / "talk.wav").string();
  writeWav(input);

  window.runCommand(number(Command::Filter));
  FilterDialog* dialog = window.filter()->dialog();
  ASSERT_NE(dialog, nullptr);
  auto* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
  EXPECT_FALSE(ok->isEnabled());
  dialog->setInput(QString::fromStdString((dir / "notes.txt").string()));
  EXPECT_FALSE(ok->isEnabled());
  dialog->setInput(QString::fromStdString(input));
  dialog->modeBox()->setCurrentIndex(6);
  EXPECT_TRUE(ok->isEnabled());
  EXPECT_EQ(dialog->output(), recdesk::audio::proposedFilterOutput(input, 6));

  std::vector<recdesk::audio::FilterResult> results;
  window.filter()->onResult = [&](recdesk::audio::FilterResult r) { results.push_back(r); };
  ok->click();
  ASSERT_TRUE(processUntil([&] { return !results.empty(); }, 10000));
  EXPECT_EQ(results[0], recdesk::audio::FilterResult::Completed);
  EXPECT_TRUE(std::filesystem::exists(recdesk::audio::proposedFilterOutput(input, 6)));
  ASSERT_TRUE(window.player()->state().fileLoaded);
  EXPECT_EQ(window.player()->path(), recdesk::audio::proposedFilterOutput(input, 6));
}
