#pragma once
// The user's guide: which document belongs to the device connected now, and where it is looked for.
#include <filesystem>
#include <string>
#include <vector>

namespace recdesk::app {

// The guide document's file name: the recorders' guide while an R5, an R6 or a reduced recorder
// (device types 1, 2 and 8) is connected, the program's general guide otherwise.
std::string guideDocumentName(int deviceType);

// Where the guide is looked for, in order: the program folder, then the installed documents beside
// it ("../share/recdesk" and "../share/doc/recdesk" from the program's folder), then `dataFolders`
// each with "recdesk" appended. The first that exists is opened.
std::vector<std::filesystem::path> guideCandidates(const std::string& name, const std::filesystem::path& programFolder,
                                                   const std::vector<std::filesystem::path>& dataFolders);

}  // namespace recdesk::app
