#include "operations/SelectionPlayer.h"

#include <system_error>

#include "operations/RecordingFolders.h"
#include "operations/RecordingList.h"

namespace recdesk::operations {

namespace {

bool samePath(const std::filesystem::path& a, const std::string& b) {
  if (b.empty()) return false;
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return a == std::filesystem::path(b);
}

}  // namespace

SelectionPlayerView playerForSelection(const RecordingList& list, const FileNaming& naming,
                                       const SelectionPlayerFacts& facts) {
  SelectionPlayerView view;
  if (list.selectedCount() == 0) {
    view.action = SelectionPlayerView::Action::Clear;
    return view;
  }
  if (!facts.downloadsAllowed || facts.downloading || !facts.focused || !list.isSelected(*facts.focused)) return view;
  const RecordingEntry* entry = list.entry(*facts.focused);
  if (entry == nullptr) return view;
  const RecordingFiles files =
      recordingFiles(naming.downloadFolder, naming.decodeFolder, naming.prefix, list.deviceName(), entry->fileNumber);
  if (recordingPagesOnDisk(naming.downloadFolder, naming.prefix, list.deviceName(), *entry) > 0) {
    if (!samePath(files.im2, facts.shownPath)) {
      view.action = SelectionPlayerView::Action::Load;
      view.im2 = files.im2;
    }
    return view;
  }
  view.action = SelectionPlayerView::Action::Empty;
  view.im2 = files.im2;
  view.spanStart = entry->start.toTime();
  if (view.spanStart) view.spanEnd = *view.spanStart + static_cast<std::time_t>(entry->durationSeconds);
  return view;
}

}  // namespace recdesk::operations
