#pragma once
// The check a typed folder path passes before the program writes into it, and the creation of a
// missing folder one component after the other.
//
// A folder path is absolute ("/" first) and at most kMaxPathLength bytes long. Every component
// between slashes is non-empty (one trailing slash is allowed), is neither "." nor "..", does not
// begin or end with a blank or a tab, and holds no control character. The desktop program's folder
// chooser and the command line use the same check.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace recdesk::app {

enum class PathProblem {
  None,
  NotAbsolute,      // empty, or not starting with "/"
  TooLong,
  EmptyComponent,   // "//" inside the path
  DotComponent,     // "." or ".."
  BlankAtEdge,      // a component begins or ends with a blank or a tab
  ControlCharacter, // a byte below 32 or 127
};

inline constexpr std::size_t kMaxPathLength = 4095;

struct PathCheck {
  PathProblem problem = PathProblem::None;
  std::size_t component = 0;  // index of the offending component (0 = first after the root)
  bool ok() const { return problem == PathProblem::None; }
};

PathCheck checkFolderPath(std::string_view path);

// Creates the missing folders of `path` from the root down. On failure returns false and sets
// `failed` to the first folder that could not be made (a file in the way counts as a failure).
bool createFolders(const std::filesystem::path& path, std::filesystem::path& failed);

}  // namespace recdesk::app
