#pragma once
// The access restrictions dialog: a group whose caption check box switches the restrictions on, the
// nine choices inside it and a Password button. It draws app::RestrictionsModel; OK asks the model
// and emits the new record. The password prompt comes first while restrictions are active (open()).
#include <QDialog>
#include <array>
#include <memory>

#include "app/Restrictions.h"

class QCheckBox;
class QPushButton;

namespace recdesk::gui {

class CheckableGroupBox;

class RestrictionsDialog : public QDialog {
  Q_OBJECT
 public:
  RestrictionsDialog(const app::Restrictions& current, bool reducedVariant, ports::UserInterface& ui,
                     QWidget* parent = nullptr);
  ~RestrictionsDialog() override;

  // Asks for the password while restrictions are active, then shows the dialog; a cancelled prompt
  // closes it (it is deleted when it closes).
  void start();

  CheckableGroupBox* group() const { return group_; }
  QCheckBox* choice(std::size_t index) const { return choices_[index]; }
  QPushButton* passwordButton() const { return password_; }
  const app::RestrictionsModel& model() const { return *model_; }
  // OK (the button calls it).
  void submit();

 Q_SIGNALS:
  void restrictionsChosen(const app::Restrictions& record);

 private:
  void draw();

  std::unique_ptr<app::RestrictionsModel> model_;
  CheckableGroupBox* group_;
  std::array<QCheckBox*, 9> choices_{};
  QPushButton* password_;
};

}  // namespace recdesk::gui
