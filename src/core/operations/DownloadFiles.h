#pragma once
// The files one recording is downloaded into: the IM2 file, to which pages are appended, and the
// information text file beside it, which tells how the download went (its paragraphs, bad pages,
// pages stored as sent, how a transfer ended).
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/CFile64.h"
#include "operations/RecordingFolders.h"
#include "operations/RecordingList.h"

namespace recdesk::operations {

class RecordingWriter {
 public:
  using Log = std::function<void(const std::string& text)>;

  RecordingWriter() = default;
  ~RecordingWriter() { close(); }
  RecordingWriter(const RecordingWriter&) = delete;
  RecordingWriter& operator=(const RecordingWriter&) = delete;

  // Opens both files for appending (created when missing; the IM2 file is never truncated except to
  // cut a partial page left by an interrupted write, which is logged). Returns the whole pages the
  // IM2 file holds, or nullopt with `problem` set (both files closed again).
  std::optional<std::uint64_t> open(const RecordingFiles& files, const Log& log, std::string& problem);
  bool im2Open() const { return im2_ && im2_->isOpen(); }

  // Appends pages to the IM2 file; throws audio::FileError.
  void write(const std::uint8_t* data, std::size_t bytes);
  // One line of the information file (nothing when it is not open).
  void line(const std::string& text);
  // The opening paragraphs of a new information file: the recording's details and the file's name.
  void describe(const RecordingEntry& entry, const std::string& deviceName, const std::string& im2Name);
  // The closing paragraph of a completed download.
  void completed();

  // Closes the IM2 file; returns why that failed (empty when it did not).
  std::string closeIm2();
  void closeInfo();
  // Closes both, ignoring failures (the download is gone or the program ends).
  void close();

 private:
  std::unique_ptr<audio::CFile64> im2_;
  std::filesystem::path im2Path_;
  std::ofstream info_;
};

// The information file's and the log's line for a bad page accepted in a recording.
std::string badPageLine(bool afterIdenticalCopies, const std::string& deviceName, std::uint16_t fileNumber,
                        std::uint64_t page);
// ... and for a page stored where it was asked for although it carried another place.
std::string wrongPlaceLine(const std::string& deviceName, std::uint16_t fileNumber, std::uint64_t page,
                           std::uint16_t carriedFile, std::uint32_t carriedPage);
// The question about a recording whose IM2 file is already on disk.
std::string existingFileQuestion(std::uint64_t bytesOnDisk, std::uint64_t im2Size, const std::filesystem::path& im2);

}  // namespace recdesk::operations
