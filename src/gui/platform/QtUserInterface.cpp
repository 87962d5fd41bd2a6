#include "platform/QtUserInterface.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <map>
#include <iterator>
#include <memory>
#include <vector>

#include "controls/ConversionProgressWindow.h"
#include "dialogs/TextPrompt.h"

namespace recdesk::gui {

namespace {

QMessageBox::Icon toQt(ports::Icon icon) {
  switch (icon) {
    case ports::Icon::Information: return QMessageBox::Information;
    case ports::Icon::Warning: return QMessageBox::Warning;
    case ports::Icon::Error: return QMessageBox::Critical;
    case ports::Icon::Question: return QMessageBox::Question;
    case ports::Icon::None: break;
  }
  return QMessageBox::NoIcon;
}

struct ButtonAnswer {
  QMessageBox::StandardButton button;
  ports::Answer answer;
};

std::vector<ButtonAnswer> buttonsOf(ports::Buttons buttons) {
  using A = ports::Answer;
  switch (buttons) {
    case ports::Buttons::Ok: return {{QMessageBox::Ok, A::Ok}};
    case ports::Buttons::OkCancel: return {{QMessageBox::Ok, A::Ok}, {QMessageBox::Cancel, A::Cancel}};
    case ports::Buttons::YesNo: return {{QMessageBox::Yes, A::Yes}, {QMessageBox::No, A::No}};
    case ports::Buttons::YesNoCancel:
      return {{QMessageBox::Yes, A::Yes}, {QMessageBox::No, A::No}, {QMessageBox::Cancel, A::Cancel}};
    case ports::Buttons::RetryCancel: return {{QMessageBox::Retry, A::Retry}, {QMessageBox::Cancel, A::Cancel}};
    case ports::Buttons::AbortRetryIgnore:
      return {{QMessageBox::Abort, A::Abort}, {QMessageBox::Retry, A::Retry}, {QMessageBox::Ignore, A::Ignore}};
  }
  return {{QMessageBox::Ok, A::Ok}};
}

}  // namespace

QtUserInterface::QtUserInterface(QWidget* parent) : parent_(parent) {}

QtUserInterface::~QtUserInterface() { delete progress_; }

void QtUserInterface::askText(const ports::TextQuestion& question, ports::TextReplyHandler done) {
  std::weak_ptr<char> alive = life_;
  askTextQuestion(question, [alive, done](const std::optional<std::string>& text) {
    if (!alive.expired() && done) done(text);
  }, parent_);
}

void QtUserInterface::ask(const ports::Question& q, ports::ReplyHandler done) {
  auto* box = new QMessageBox(toQt(q.icon), QString::fromStdString(q.caption), QString::fromStdString(q.text),
                              QMessageBox::NoButton, parent_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(parent_ ? Qt::WindowModal : Qt::ApplicationModal);
  // Each button carries its answer; a dismissed box answers the question's default.
  auto answers = std::make_shared<std::map<QAbstractButton*, ports::Reply>>();
  if (q.choices.empty()) {
    for (const auto& b : buttonsOf(q.buttons)) {
      QAbstractButton* button = box->addButton(b.button);
      (*answers)[button] = ports::Reply{b.answer, 0};
      if (b.answer == q.defaultAnswer) box->setDefaultButton(static_cast<QPushButton*>(button));
    }
  } else {
    for (std::size_t i = 0; i < q.choices.size(); ++i) {
      QPushButton* button = box->addButton(QString::fromStdString(q.choices[i]), QMessageBox::AcceptRole);
      (*answers)[button] = ports::Reply{q.defaultAnswer, i};
      if (i == q.defaultChoice) box->setDefaultButton(button);
    }
  }
  // The check box's state is part of the reply whichever button closes the box.
  if (!q.checkBox.empty()) box->setCheckBox(new QCheckBox(QString::fromStdString(q.checkBox), box));
  ++openBoxes_;
  topicBoxes_.emplace(q.topic, box);
  std::weak_ptr<char> alive = life_;
  const ports::Reply dismissed{q.defaultAnswer, q.defaultChoice};
  QObject::connect(box, &QMessageBox::finished, box, [this, box, answers, dismissed, done, alive](int) {
    if (alive.expired()) return;
    const bool withdrawn = box->property("withdrawn").toBool();
    forget(box);
    if (withdrawn) return;  // the core no longer wants this answer
    ports::Reply reply = dismissed;
    if (auto it = answers->find(box->clickedButton()); it != answers->end()) reply = it->second;
    if (box->checkBox()) reply.checked = box->checkBox()->isChecked();
    if (done) done(reply);
  });
  box->open();
}

ports::Answer QtUserInterface::message(const std::string& text, const std::string& caption, ports::Icon icon,
                                       ports::Buttons buttons) {
  ports::Question q;
  q.text = text;
  q.caption = caption;
  q.icon = icon;
  q.buttons = buttons;
  const bool plain = buttons == ports::Buttons::Ok;
  q.defaultAnswer = plain ? ports::Answer::Ok
                          : (buttons == ports::Buttons::YesNo ? ports::Answer::No : ports::Answer::Cancel);
  ask(q, nullptr);
  return q.defaultAnswer;
}

void QtUserInterface::forget(QWidget* box) {
  for (auto it = topicBoxes_.begin(); it != topicBoxes_.end(); ++it) {
    if (it->second == box) {
      topicBoxes_.erase(it);
      --openBoxes_;
      return;
    }
  }
}

QWidget* QtUserInterface::openBox(ports::Topic topic) const {
  auto range = topicBoxes_.equal_range(topic);
  return range.first == range.second ? nullptr : std::prev(range.second)->second;
}

void QtUserInterface::withdraw(ports::Topic topic) {
  std::vector<QWidget*> boxes;
  for (auto [it, end] = topicBoxes_.equal_range(topic); it != end; ++it) boxes.push_back(it->second);
  for (QWidget* box : boxes) {
    box->setProperty("withdrawn", true);
    // done() hides the box and emits finished(); the box deletes itself (close() would be refused by
    // a box without an Escape button).
    if (auto* dialog = qobject_cast<QDialog*>(box)) dialog->done(QDialog::Rejected);
  }
}

void QtUserInterface::status(const std::string& text) {
  if (statusSink_) statusSink_(text);
}

bool QtUserInterface::progress(const std::string& caption, std::uint64_t done, std::uint64_t total) {
  if (!progress_) {
    progress_ = new ConversionProgressWindow(parent_);
    // The window dies with its parent (the main window), which may go first.
    QObject::connect(progress_, &QObject::destroyed, [this] { progress_ = nullptr; });
  }
  progress_->showProgress(QString::fromStdString(caption), done, total);
  return !progress_->cancelled();
}

void QtUserInterface::progressDone() {
  if (progress_) progress_->finish();
}

}  // namespace recdesk::gui
