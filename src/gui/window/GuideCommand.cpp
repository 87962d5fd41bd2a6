#include "window/GuideCommand.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QStandardPaths>
#include <QUrl>

#include "app/Guide.h"
#include "app/Profile.h"
#include "lang/Strings.h"
#include "window/Commands.h"
#include "window/GuiSession.h"

namespace recdesk::gui {

bool runGuideCommand(int command, GuiSession& session) {
  if (command != number(Command::Guide)) return false;
  const auto& info = session.host().info();
  const int type = session.host().recorderConnected() && info.versionKnown
                       ? app::deviceTypeFromText(info.versionText)
                       : app::device_type::kAny;
  std::vector<std::filesystem::path> data;
  for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
    data.emplace_back(folder.toStdString());
  const std::string name = app::guideDocumentName(type);
  for (const auto& path : app::guideCandidates(name, QCoreApplication::applicationDirPath().toStdString(), data)) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) continue;
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path.lexically_normal().string())));
    return true;
  }
  session.ui().message(lang::text(TextId::GuideNotFound), lang::text(TextId::AppName), ports::Icon::Information,
                       ports::Buttons::Ok);
  return true;
}

}  // namespace recdesk::gui
