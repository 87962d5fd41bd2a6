#include "dialogs/ProfileChoice.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "window/GuiSession.h"
#include "window/MainWindow.h"
#include "operations/ProfileApply.h"
#include "operations/ProfileFollower.h"

namespace recdesk::gui {

ProfileChoice::ProfileChoice(MainWindow& window, GuiSession& session)
    : QObject(&window),
      session_(session),
      box_(qobject_cast<QComboBox*>(window.control(Control::ProfileChoice))),
      name_(qobject_cast<QLabel*>(window.control(Control::ProfileName))),
      apply_(qobject_cast<QPushButton*>(window.control(Control::ApplyProfile))) {
  follower_ = std::make_unique<operations::ProfileFollower>(
      session_.host(), store_, session_.settingsFile(), [this] { return session_.settings().profileIni; },
      [this] { draw(); });
  if (box_) connect(box_, &QComboBox::activated, this, &ProfileChoice::chosen);
  if (apply_) connect(apply_, &QPushButton::clicked, this, &ProfileChoice::apply);
  reload();
}

ProfileChoice::~ProfileChoice() = default;

void ProfileChoice::reload() {
  follower_->reload();
  draw();
}

void ProfileChoice::draw() {
  if (box_) {
    const QSignalBlocker block(box_);
    box_->clear();
    for (const auto& item : store_.items()) box_->addItem(QString::fromStdString(item.text), item.data);
    box_->setCurrentIndex(store_.selected() ? store_.selectedItem() : -1);
    box_->setToolTip(QString::fromStdString(store_.tooltip()));
  }
  if (name_) name_->setText(QString::fromStdString(store_.selectedName()));
}

void ProfileChoice::chosen(int position) {
  store_.selectItem(position);
  draw();
}

void ProfileChoice::apply() {
  if (apply_ && !apply_->isEnabled()) return;
  operations::applySelectedProfile(session_.host(), store_);
}

}  // namespace recdesk::gui
