#pragma once
// A group box whose caption is a check box (or a radio button): the controls inside it are enabled
// exactly while the caption is on and itself enabled, except those in the exclusion list, which it
// never touches. A nested box re-applies its own state, so switching the outer box on again leaves
// the contents of a nested box that is off disabled. Radio-style boxes of one parent with the same
// group number switch each other off.
#include <QGroupBox>
#include <QList>
#include <QPointer>

class QAbstractButton;

namespace recdesk::gui {

class CheckableGroupBox : public QGroupBox {
  Q_OBJECT
 public:
  enum class CaptionStyle { CheckBox, RadioButton };
  explicit CheckableGroupBox(const QString& title, QWidget* parent = nullptr);

  void setCaptionStyle(CaptionStyle style);
  void setGroup(int group) { group_ = group; }
  int group() const { return group_; }
  // -1 when there is no caption control.
  int check() const;
  void setCheck(bool on);
  void clearExclusions() { excluded_.clear(); }
  void addExclusion(QWidget* widget) { excluded_.append(widget); }
  // Enables or disables the contents from the caption.
  void applyState();

 Q_SIGNALS:
  // The user clicked the caption (after the state was applied).
  void captionClicked();

 protected:
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void placeCaption();
  void captionToggled();
  QAbstractButton* caption_ = nullptr;
  QList<QPointer<QWidget>> excluded_;
  int group_ = 0;
};

}  // namespace recdesk::gui
