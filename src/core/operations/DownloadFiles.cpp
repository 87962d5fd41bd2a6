#include "operations/DownloadFiles.h"

#include "FlashPage.h"
#include "lang/Strings.h"
#include "operations/DownloadMath.h"

namespace recdesk::operations {

namespace {


// "%05s": right-aligned in 5 characters, filled with "0" on the left when shorter.
std::string zeroPadded5(const std::string& text) {
  return text.size() >= 5 ? text : std::string(5 - text.size(), '0') + text;
}

}  // namespace

std::optional<std::uint64_t> RecordingWriter::open(const RecordingFiles& files, const Log& log, std::string& problem) {
  close();
  im2Path_ = files.im2;
  im2_ = std::make_unique<audio::CFile64>();
  audio::FileError error;
  if (!im2_->Open(files.im2.string(), audio::CFile64::kReadWrite, audio::CFile64::kShareRead,
                  audio::CFile64::kOpenAlways, &error)) {
    im2_.reset();
    problem = error.describe();
    return std::nullopt;
  }
  info_.open(files.info, std::ios::binary | std::ios::app);
  if (!info_.is_open()) {
    close();
    problem = "the information file " + files.info.string() + " cannot be opened for writing";
    return std::nullopt;
  }
  try {
    std::uint64_t length = im2_->GetLength();
    const std::uint64_t whole = length / kPageSize * kPageSize;
    if (whole != length) {
      // A partial page from an interrupted write: continue from the last whole page.
      log(lang::formatText(" %s: %llu -> %llu\r\n", {files.im2.string(), ull(length), ull(whole)}));
      im2_->Seek(whole, audio::CFile64::kBegin);
      im2_->SetEndOfFile();
      length = whole;
    }
    im2_->Seek(0, audio::CFile64::kEnd);
    return length / kPageSize;
  } catch (const audio::FileError& e) {
    close();
    problem = e.describe();
    return std::nullopt;
  }
}

void RecordingWriter::write(const std::uint8_t* data, std::size_t bytes) {
  if (!im2Open()) throw audio::FileError(audio::FileError::kInvalidFile, 0, im2Path_.string());
  im2_->Write(data, bytes);
}

void RecordingWriter::line(const std::string& text) {
  if (!info_.is_open()) return;
  info_ << text << "\r\n";
}

void RecordingWriter::describe(const RecordingEntry& entry, const std::string& deviceName, const std::string& im2Name) {
  line(lang::text(TextId::DownloadReport));
  line("");
  line(lang::text(TextId::Device) + ": " + zeroPadded5(deviceName));
  line(lang::formatText("%s: %lu", {lang::text(TextId::FileNumber), static_cast<unsigned long>(entry.fileNumber)}));
  line(lang::formatText("%s: %u Hz", {lang::text(TextId::SampleRate), static_cast<unsigned>(entry.sampleRate)}));
  line(lang::formatText("%s: %u", {lang::text(TextId::EncodedBits), static_cast<unsigned>(entry.encodedBits)}));
  line(lang::formatText("%s: %u", {lang::text(TextId::Channels), static_cast<unsigned>(entry.channels)}));
  line(lang::text(TextId::DownloadRecordingStart) + entry.start.format(": %Y/%m/%d %H:%M:%S"));
  line(lang::formatText("%s: %.0f:%02ld:%02ld",
                        {lang::text(TextId::RecordingDuration), static_cast<double>(entry.durationSeconds / 3600),
                         static_cast<long>(entry.durationSeconds / 60 % 60), static_cast<long>(entry.durationSeconds % 60)}));
  line(lang::text(TextId::ReportRule));
  line("");
  line(lang::text(TextId::DownloadLog));
  line("");
  line(lang::text(TextId::RequestedPagesFollow));
  line(lang::text(TextId::Im2File) + ": " + im2Name);
}

void RecordingWriter::completed() {
  line(lang::formatText("%s.", {lang::text(TextId::DownloadComplete)}));
  line("");
  line(lang::text(TextId::ReportRule));
  line(lang::text(TextId::EndOfReport));
}

std::string RecordingWriter::closeIm2() {
  std::string problem;
  if (im2_) {
    try {
      im2_->Close();
    } catch (const audio::FileError& e) {
      problem = e.describe();
    }
    im2_.reset();
  }
  return problem;
}

void RecordingWriter::closeInfo() {
  if (info_.is_open()) info_.close();
}

void RecordingWriter::close() {
  closeIm2();
  closeInfo();
}

std::string badPageLine(bool afterIdenticalCopies, const std::string& deviceName, std::uint16_t fileNumber,
                        std::uint64_t page) {
  return lang::formatText("%s: %s: %s %s: %05u %s: %lld",
                          {lang::text(afterIdenticalCopies ? TextId::BadPageAcceptedAfterCopies : TextId::BadPage), lang::text(TextId::Recorder), deviceName,
                           lang::text(TextId::File), static_cast<unsigned>(fileNumber), lang::text(TextId::Page),
                           static_cast<long long>(page)});
}

std::string wrongPlaceLine(const std::string& deviceName, std::uint16_t fileNumber, std::uint64_t page,
                           std::uint16_t carriedFile, std::uint32_t carriedPage) {
  return lang::formatText("%s: %s: %s %s: %05u %s: %lld (%s %u, %s %u)",
                          {lang::text(TextId::PageStoredAsSent), lang::text(TextId::Recorder), deviceName, lang::text(TextId::File),
                           static_cast<unsigned>(fileNumber), lang::text(TextId::Page), static_cast<long long>(page),
                           lang::text(TextId::File), static_cast<unsigned>(carriedFile), lang::text(TextId::Page),
                           static_cast<unsigned>(carriedPage)});
}

std::string existingFileQuestion(std::uint64_t bytesOnDisk, std::uint64_t im2Size, const std::filesystem::path& im2) {
  return lang::formatText("%s %s %s MB\r\n %s\r\n%s\r\n%s!", {megabytesText(bytesOnDisk), lang::text(TextId::Of), megabytesText(im2Size),
                                                             lang::text(TextId::AlreadyDownloadedInFile), im2.string(), lang::text(TextId::ChooseRestartSkipContinue)});
}

}  // namespace recdesk::operations
