#include "app/PathCheck.h"

#include <system_error>

namespace recdesk::app {

PathCheck checkFolderPath(std::string_view path) {
  PathCheck result;
  if (path.empty() || path.front() != '/') {
    result.problem = PathProblem::NotAbsolute;
    return result;
  }
  if (path.size() > kMaxPathLength) {
    result.problem = PathProblem::TooLong;
    return result;
  }
  std::string_view rest = path.substr(1);
  if (rest.empty()) return result;  // the root itself
  if (rest.back() == '/') rest.remove_suffix(1);
  std::size_t index = 0;
  for (;;) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    const auto fail = [&](PathProblem p) {
      result.problem = p;
      result.component = index;
      return result;
    };
    if (part.empty()) return fail(PathProblem::EmptyComponent);
    if (part == "." || part == "..") return fail(PathProblem::DotComponent);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(part.front()) || blank(part.back())) return fail(PathProblem::BlankAtEdge);
    for (const char c : part) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 32 || byte == 127) return fail(PathProblem::ControlCharacter);
    }
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
    ++index;
  }
  return result;
}

bool createFolders(const std::filesystem::path& path, std::filesystem::path& failed) {
  namespace fs = std::filesystem;
  fs::path current;
  for (const auto& part : path) {
    if (part.empty()) continue;
    current /= part;
    std::error_code ec;
    if (fs::is_directory(current, ec)) continue;
    if (!fs::create_directory(current, ec) || ec) {
      // Another process may have made it meanwhile.
      if (!fs::is_directory(current, ec)) {
        failed = current;
        return false;
      }
    }
  }
  return true;
}

}  // namespace recdesk::app
