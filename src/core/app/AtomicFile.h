#pragma once
// Replacing a file's whole content so that the file is either the old one or the new one, never a
// mixture: the new content goes to a temporary file in the same folder, is flushed to the disk and is
// then renamed over the old file. Any failure removes the temporary file and leaves the old file as it
// was.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace recdesk::app {

enum class SaveStep { kCreateTemp, kWrite, kSync, kRename };

// Fault injection for tests: called before each step; a non-zero return is taken as the operating
// system's error number for that step. At kWrite the first half of the content is written before
// the failure (a disk that fills up during the write).
using SaveFaultHook = std::function<int(SaveStep)>;

// Writes `content` to `file` atomically. New files get the permissions 0600 (settings may hold a
// password); an existing file keeps its permissions. A symbolic link is followed, so the file it
// points to is replaced. The folder is created when missing. On failure returns false and puts a
// sentence naming the file and the reason into `error`.
bool writeFileAtomically(const std::filesystem::path& file, std::string_view content, std::string* error,
                         const SaveFaultHook& hook = {});

}  // namespace recdesk::app
