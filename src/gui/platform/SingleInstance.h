#pragma once
// One running copy per user: a lock on a file in the user's runtime folder
// ("$XDG_RUNTIME_DIR/recdesk/recdesk.lock", else a per-user folder below the temporary folder).
// The lock is an flock, so it goes when the program ends or dies. No Qt here.
#include <filesystem>
#include <string>

namespace recdesk::gui {

class SingleInstance {
 public:
  // Takes the lock in `folder` (empty: the default folder).
  explicit SingleInstance(const std::filesystem::path& folder = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process holds the lock; false when another copy does (or the folder cannot be
  // used, in which case `problem` says why and the program runs anyway).
  bool first() const { return fd_ >= 0; }
  bool otherRunning() const { return other_; }
  const std::string& problem() const { return problem_; }
  const std::filesystem::path& folder() const { return folder_; }

  static std::filesystem::path defaultFolder();

 private:
  std::filesystem::path folder_;
  int fd_ = -1;
  bool other_ = false;
  std::string problem_;
};

}  // namespace recdesk::gui
