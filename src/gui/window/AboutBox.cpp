#include "window/AboutBox.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QUrl>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/GuiTexts.h"
#include "controls/LinkLabel.h"
#include "app/Version.h"
#include "app/VersionText.h"

namespace recdesk::gui {

QString AboutBox::aboutText() {
  const std::string version =
      app::versionText(app::kVersionMajor, app::kVersionMinor, app::kVersionPatch, app::kVersionBuild);
  return QString::fromStdString(lang::format(TextId::AboutText, {lang::text(TextId::AppName), lang::text(TextId::AboutWords),
                                                                 lang::text(TextId::AboutProductWords), version}));
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(qtext(TextId::AboutTitle) + " " + qtext(TextId::AppName));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/icons/recdesk.png")).pixmap(48, 48));
  row->addWidget(icon, 0, Qt::AlignTop);
  auto* text = new QLabel(aboutText(), this);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  row->addWidget(text, 1);
  layout->addLayout(row);
  // The documentation installed beside the program (<prefix>/share/doc/recdesk).
  auto* link = new LinkLabel(qtext(TextId::AboutDocumentation), this);
  link->setTarget(QUrl::fromLocalFile(QCoreApplication::applicationDirPath() +
                                      QStringLiteral("/../share/doc/recdesk/README.md"))
                      .toString());
  link->setObjectName(QStringLiteral("link"));
  layout->addWidget(link);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

}  // namespace recdesk::gui
