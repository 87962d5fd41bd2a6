#include "app/Guide.h"

#include "app/Profile.h"
#include "lang/Strings.h"

namespace recdesk::app {

std::string guideDocumentName(int deviceType) {
  const bool recorder =
      deviceType == device_type::kR5 || deviceType == device_type::kR6 || deviceType == device_type::kBuiltIn;
  return lang::text(recorder ? TextId::RecorderGuideDocument : TextId::GuideDocument);
}

std::vector<std::filesystem::path> guideCandidates(const std::string& name, const std::filesystem::path& programFolder,
                                                   const std::vector<std::filesystem::path>& dataFolders) {
  std::vector<std::filesystem::path> out;
  // A name from the language library is a file name, never a path out of these folders.
  const std::filesystem::path file = std::filesystem::path(name).filename();
  if (file.empty() || file != std::filesystem::path(name)) return out;
  if (!programFolder.empty()) {
    out.push_back(programFolder / file);
    out.push_back(programFolder / ".." / "share" / "recdesk" / file);
    out.push_back(programFolder / ".." / "share" / "doc" / "recdesk" / file);
  }
  for (const auto& folder : dataFolders)
    if (!folder.empty()) out.push_back(folder / "recdesk" / file);
  return out;
}

}  // namespace recdesk::app
