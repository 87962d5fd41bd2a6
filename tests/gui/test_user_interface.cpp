// The Qt user interface: questions are answered later through their callback, never inside a
// nested event loop, and a dismissed question gets its default answer.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include "GuiTestSupport.h"
#include "platform/QtUserInterface.h"

using recdesk::gui::QtUserInterface;
using recdesk::test::guiApp;
using recdesk::test::processUntil;
namespace ports = recdesk::ports;

namespace {
QMessageBox* visibleBox(QWidget& parent) {
  QMessageBox* box = nullptr;
  processUntil([&] { return (box = parent.findChild<QMessageBox*>()) != nullptr && box->isVisible(); }, 2000);
  return box;
}
}  // namespace

TEST(QtUserInterface, AQuestionReturnsAtOnceAndIsAnsweredThroughItsCallback) {
  guiApp();
  QWidget parent;
  parent.show();
  QtUserInterface ui(&parent);
  std::vector<ports::Reply> replies;
  ports::Question q;
  q.text = "Format the flash memory of recorder R5-00001?";
  q.caption = "RecDesk";
  q.buttons = ports::Buttons::YesNo;
  q.defaultAnswer = ports::Answer::No;
  ui.ask(q, [&](const ports::Reply& r) { replies.push_back(r); });
  EXPECT_TRUE(replies.empty());  // returned without an answer: no nested loop ran
  QMessageBox* box = visibleBox(parent);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text().toStdString(), q.text);
  EXPECT_EQ(box->windowTitle(), "RecDesk");
  EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
  box->button(QMessageBox::Yes)->click();
  ASSERT_TRUE(processUntil([&] { return !replies.empty(); }, 2000));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].answer, ports::Answer::Yes);
  EXPECT_EQ(ui.openBoxes(), 0);
}

TEST(QtUserInterface, NamedAnswersAndDismissal) {
  guiApp();
  QWidget parent;
  parent.show();
  QtUserInterface ui(&parent);
  ports::Question q;
  q.text = "Already downloaded";
  q.choices = {"Continue", "Start again", "Skip"};
  q.defaultChoice = 2;
  std::vector<ports::Reply> replies;
  ui.ask(q, [&](const ports::Reply& r) { replies.push_back(r); });
  QMessageBox* box = visibleBox(parent);
  ASSERT_NE(box, nullptr);
  QAbstractButton* startAgain = nullptr;
  for (QAbstractButton* b : box->buttons())
    if (b->text() == "Start again") startAgain = b;
  ASSERT_NE(startAgain, nullptr);
  startAgain->click();
  ASSERT_TRUE(processUntil([&] { return replies.size() == 1; }, 2000));
  EXPECT_EQ(replies[0].choice, 1u);

  // Closed without a button: the question's default.
  ui.ask(q, [&](const ports::Reply& r) { replies.push_back(r); });
  box = nullptr;
  processUntil([&] {
    for (QMessageBox* b : parent.findChildren<QMessageBox*>())
      if (b->isVisible()) box = b;
    return box != nullptr;
  }, 2000);
  ASSERT_NE(box, nullptr);
  box->done(0);
  ASSERT_TRUE(processUntil([&] { return replies.size() == 2; }, 2000));
  EXPECT_EQ(replies[1].choice, 2u);
}

TEST(QtUserInterface, APlainMessageReturnsOkAtOnceAndAnAnswerlessQuestionItsHarmlessAnswer) {
  guiApp();
  QWidget parent;
  QtUserInterface ui(&parent);
  std::string status;
  ui.setStatusSink([&](const std::string& s) { status = s; });
  EXPECT_EQ(ui.message("Done", "RecDesk", ports::Icon::Information, ports::Buttons::Ok), ports::Answer::Ok);
  EXPECT_EQ(ui.message("Sure?", "RecDesk", ports::Icon::Question, ports::Buttons::YesNo), ports::Answer::No);
  EXPECT_EQ(ui.openBoxes(), 2);
  ui.status("Reading the recording list");
  EXPECT_EQ(status, "Reading the recording list");

  // Progress: a window that the user can cancel.
  EXPECT_TRUE(ui.progress("Converting", 10, 100));
  ui.progressDone();
}
