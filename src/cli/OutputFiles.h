#pragma once
// How recdesk-cli reports the files a job wrote or meant to write.
#include <filesystem>
#include <string>

namespace recdesk::cli {

// "PATH (SIZE MB)" for a regular file; a folder or other non-file standing where the file belongs
// is reported as such instead of being given a size. Empty when nothing is there.
std::string describeOutputFile(const std::filesystem::path& file);

}  // namespace recdesk::cli
