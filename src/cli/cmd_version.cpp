#include "Cli.h"
#include "app/Version.h"
#include "app/VersionText.h"

namespace recdesk::cli {

std::string versionLine() {
  return app::versionText(app::kVersionMajor, app::kVersionMinor, app::kVersionPatch, app::kVersionBuild);
}

}  // namespace recdesk::cli
