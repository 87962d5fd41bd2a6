#include "OutputFiles.h"

#include <cstdio>

namespace recdesk::cli {

std::string describeOutputFile(const std::filesystem::path& file) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || !fs::exists(status)) return {};
  if (fs::is_directory(status)) return file.string() + " (a folder stands in the file's place)";
  if (!fs::is_regular_file(status)) return file.string() + " (not a regular file)";
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec) return file.string() + " (size unknown: " + ec.message() + ")";
  char text[48];
  // A short recording is a few kilobytes: "0.0 MB" would tell nothing.
  if (size < 104858)
    std::snprintf(text, sizeof text, " (%.1f kB)", static_cast<double>(size) / 1024.0);
  else
    std::snprintf(text, sizeof text, " (%.1f MB)", static_cast<double>(size) / 1048576.0);
  return file.string() + text;
}

}  // namespace recdesk::cli
