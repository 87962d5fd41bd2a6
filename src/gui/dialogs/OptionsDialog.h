#pragma once
// The Options dialog: it draws app::OptionsModel (link choice, folders, automatic conversion, cut
// values, profile file, block size) and forwards every action to it. OK asks the model; a problem
// keeps the dialog open with the model's message, else `accepted` carries the new settings. Folder
// and file choosers, the block-size dialog and messages all open without a nested event loop.
#include <QDialog>
#include <memory>

#include "app/OptionsModel.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace recdesk::gui {

class OptionsDialog : public QDialog {
  Q_OBJECT
 public:
  // `current`: the settings the dialog shows and OK starts from; `ui` shows the model's messages.
  OptionsDialog(const app::Settings& current, ports::UserInterface& ui, QWidget* parent = nullptr);
  ~OptionsDialog() override;

  const app::OptionsModel& model() const { return *model_; }
  // The controls, for the tests and the screenshots.
  QComboBox* linkChoice() const { return link_; }
  QPushButton* accelerationButton() const { return acceleration_; }
  QLineEdit* downloadFolder() const { return download_; }
  QLineEdit* decodeFolder() const { return decode_; }
  QCheckBox* autoConvert() const { return autoConvert_; }
  QCheckBox* cutByTime() const { return cutByTime_; }
  QLineEdit* minutes() const { return minutes_; }
  QCheckBox* cutBySize() const { return cutBySize_; }
  QLineEdit* mib() const { return mib_; }
  QCheckBox* useProfileFile() const { return useProfile_; }
  QLineEdit* profilePath() const { return profilePath_; }
  QPushButton* profileBrowse() const { return profileBrowse_; }

  // OK: the model's verdict (the button calls it).
  void submit();
  // The block size as the acceleration dialog gives it.
  void takeExponent(int exponent);
  // A folder or file as its chooser gives it.
  void takeDownloadFolder(const QString& path);
  void takeDecodeFolder(const QString& path);
  void takeProfileFile(const QString& path);

 Q_SIGNALS:
  void settingsChosen(const app::Settings& result);

 private:
  void build();
  void draw();
  void openAcceleration();
  void browseFolder(bool download);
  void browseProfileFile();
  void showProblem(const QString& text);

  app::Settings current_;
  ports::UserInterface& ui_;
  std::unique_ptr<app::OptionsModel> model_;
  QComboBox* link_ = nullptr;
  QPushButton* acceleration_ = nullptr;
  QLineEdit* download_ = nullptr;
  QLineEdit* decode_ = nullptr;
  QCheckBox* autoConvert_ = nullptr;
  QCheckBox* cutByTime_ = nullptr;
  QLineEdit* minutes_ = nullptr;
  QCheckBox* cutBySize_ = nullptr;
  QLineEdit* mib_ = nullptr;
  QCheckBox* useProfile_ = nullptr;
  QLineEdit* profilePath_ = nullptr;
  QPushButton* profileBrowse_ = nullptr;
};

}  // namespace recdesk::gui
