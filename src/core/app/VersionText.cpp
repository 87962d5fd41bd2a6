#include "app/VersionText.h"

#include "lang/Strings.h"

namespace recdesk::app {

std::string versionText(int a, int b, int c, int d) {
  if (c % 2 == 0) return lang::formatText("%d.%d.%d, build %d", {a, b, c, d});
  return lang::formatText("%d.%d.%d", {a, b, c});
}

}  // namespace recdesk::app
