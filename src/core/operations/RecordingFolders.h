#pragma once
// Recording folders: the names of a recording's files, the IM2 file already on disk and how many
// data pages it holds, the file-name prefix filter, and the refresh of the recording list when the
// prefix changes.
//
// Names are "[PREFIX.]DEVICE.N.im2" (and .wav/.txt). The device name comes from the recorder and
// the prefix from the user or the settings: both become one file-name component and are made safe
// first, so that no name can leave its folder.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/PrefixCheck.h"

namespace recdesk::operations {

class RecordingList;

// Makes one file-name component safe: path separators, control characters and the characters
// `*:|?"><` become "_", and the result is at most 64 bytes. Ordinary names are unchanged.
std::string safeNameComponent(const std::string& text);

// The folder as used in names: a trailing separator ("/" or "\") removed.
std::filesystem::path usableFolder(const std::string& folder);

struct RecordingFiles {
  std::filesystem::path im2;
  std::filesystem::path wav;
  std::filesystem::path info;
  std::string im2Name;  // the IM2 file's name as on disk (for the information file)
};

// "[prefix.]device.n" + ".im2"/".wav"/".txt"; the IM2 and information files in the download folder,
// the WAV file in the decode folder.
RecordingFiles recordingFiles(const std::string& downloadFolder, const std::string& decodeFolder,
                              const std::string& prefix, const std::string& deviceName, std::uint16_t fileNumber);

// The IM2 file of a recording in the download folder: the exact name for the prefix, or (with
// `anyPrefix`) any file "<something>.device.n.im2" or "device.n.im2" when the exact one is missing
// (the lexically first when several match). nullopt when there is none.
std::optional<std::filesystem::path> findIm2(const std::string& downloadFolder, const std::string& prefix,
                                             const std::string& deviceName, std::uint16_t fileNumber,
                                             bool anyPrefix);

// Whether the IM2 file on disk holds the start of this recording: its header page (the recording's
// last page, stored first) must carry the recording's file number, the serial number of the
// device name (when the name has one), its start time and its last page number. Returns an empty
// text when it does, else why not (in English). A file shorter than one page, or one that cannot be
// read, does not.
struct RecordingEntry;
std::string im2HeaderMismatch(const std::filesystem::path& im2, const RecordingEntry& entry,
                              const std::string& deviceName);

// Moves a recording's IM2 and information files aside, to "<name>.old-N.im2" and "<name>.old-N.txt"
// beside them with the smallest N for which neither name is taken. Nothing is deleted. Returns the
// new paths of the files that were there (the IM2 file first), or nullopt with `error` set when a
// move failed (a failed second move puts the first file back).
std::optional<std::vector<std::filesystem::path>> moveAside(const RecordingFiles& files, std::string& error);

// Data pages held by an IM2 file of `length` bytes: length / 528, less the header page.
std::uint64_t dataPagesInLength(std::uint64_t length);
// Data pages of this recording in its IM2 file (the exact name for the prefix): 0 when there is
// none, it cannot be read, or it holds another recording (see im2HeaderMismatch).
std::uint64_t recordingPagesOnDisk(const std::string& downloadFolder, const std::string& prefix,
                                   const std::string& deviceName, const RecordingEntry& entry);
// Data pages held by the recording's IM2 file; 0 when there is none or it cannot be read.
std::uint64_t pagesOnDisk(const std::string& downloadFolder, const std::string& prefix,
                          const std::string& deviceName, std::uint16_t fileNumber, bool anyPrefix);

// The characters refused in the file-name prefix.
inline constexpr const char* kRefusedPrefixCharacters = app::kRefusedPrefixCharacters;
// The prefix edit's filter: removes the first refused character; returns true when it removed one
// (the caller puts the text back and places the caret at its end).
bool filterPrefixOnce(std::string& text);
// Removes every refused character (and what else the prefix box refuses, app::checkPrefix).
std::string cleanPrefix(std::string text);

// The list refresh on a prefix change: every row's pages on disk from its exact IM2 name; complete
// rows are deselected, all others selected. Returns the first selected row's IM2 file when it holds
// data pages (the player loads it), nullopt otherwise.
std::optional<std::filesystem::path> refreshForPrefix(RecordingList& list, const std::string& downloadFolder,
                                                      const std::string& prefix);

// Loads a downloaded recording into the player: the front end supplies `load` (a path to load, or
// nullopt to close the player's file).
using PlayerLoadHook = std::function<void(const std::optional<std::filesystem::path>& im2)>;
// LoadDownloaded(row): the exact name, else any prefix; calls `load` with what it found.
void loadDownloaded(const RecordingList& list, std::size_t row, const std::string& downloadFolder,
                    const std::string& prefix, const PlayerLoadHook& load);

// Checks a folder name for writing files into: not empty, no control characters.
// Returns an empty text when usable, else a reason.
std::string folderProblem(const std::string& folder);

}  // namespace recdesk::operations
