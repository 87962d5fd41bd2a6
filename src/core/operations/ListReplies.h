#pragma once
// The reply handlers of the recording list: the list acknowledgement "$R5,ACK,LST,<name>,<count>",
// the record lines "$R5,MSG,LST,…" and the end line. They feed the RecordingList and report what
// they could not read.
#include <functional>
#include <optional>
#include <string>

#include "operations/RecordingList.h"

namespace recdesk::session {
class SessionServices;
}

namespace recdesk::operations {

// Where a recording's files are, and the prefix of their names.
struct FileNaming {
  std::string downloadFolder;
  std::string decodeFolder;
  std::string prefix;
};

class ListReplies {
 public:
  ListReplies(session::SessionServices& services, RecordingList& list) : services_(services), list_(list) {}

  // The model code of the listed recorder ("R5", "R6", "T7"…): the front end classifies the device
  // and reloads its device profiles.
  std::function<void(const std::string& modelCode)> onDeviceModel;
  // Folders and prefix for the pages on disk; unset = the settings' download folder and prefix.
  std::optional<FileNaming> naming;

  // "$R5,ACK,LST": logged; the list is emptied; the device name taken when the line parses.
  void onAcknowledgement(const std::string& line);
  // The part of the acknowledgement after its parsing (for a session owner that parses and logs the
  // acknowledgement itself): the device name (made safe for file names), the model, the empty list.
  void beginList(const std::string& deviceName);
  // The end line: the summary, the focus on the first selected row, the controls refreshed.
  void endList();
  // Each "$R5,MSG,LST" line. Returns End for the end line: the session goes on with its query
  // chain (device type).
  RecordLineKind onRecordLine(const std::string& line);

  FileNaming currentNaming() const;

 private:
  session::SessionServices& services_;
  RecordingList& list_;
};

}  // namespace recdesk::operations
