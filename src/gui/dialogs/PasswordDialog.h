#pragma once
// The recorder password's form, in its two shapes: the new-password form (the recorder still has the
// factory password: new password twice) and the full form (old password, new password twice and the
// "use the factory default" check box). Each box keeps only what the PasswordForm model lets it keep
// while typing (the allowed digits depend on the firmware); OK hands the form to PasswordChange,
// which checks it and sends the change. Modeless; hidden, not destroyed, when closed.
#include <QDialog>
#include <optional>

#include "operations/Password.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace recdesk::gui {

class PasswordDialog : public QDialog {
  Q_OBJECT
 public:
  PasswordDialog(operations::PasswordChange& change, QWidget* parent = nullptr);

  // Shows a fresh form of `kind` (boxes empty).
  void openForm(operations::PasswordForm::Kind kind);

  QLineEdit* box(operations::PasswordForm::Box b) const;
  QCheckBox* useDefaultBox() const { return useDefault_; }
  QPushButton* okButton() const { return ok_; }
  const std::optional<operations::PasswordForm>& form() const { return form_; }

 public Q_SLOTS:
  void accept() override;
  void reject() override;

 private:
  void typed(operations::PasswordForm::Box b, const QString& text);
  void drawForm();

  operations::PasswordChange& change_;
  std::optional<operations::PasswordForm> form_;
  QLabel* note_ = nullptr;
  QLabel* oldLabel_ = nullptr;
  QLineEdit* old_ = nullptr;
  QLineEdit* new_ = nullptr;
  QLineEdit* confirm_ = nullptr;
  QCheckBox* useDefault_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace recdesk::gui
