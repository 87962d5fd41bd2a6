#include "audio/Im2Converter.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>

#include "app/Settings.h"
#include "audio/AudioDecoder.h"
#include "audio/CFile64.h"
#include "audio/ConversionFiles.h"
#include "audio/WaveFile.h"
#include "lang/Strings.h"
#include "ports/UserInterface.h"

namespace recdesk::audio {

using lang::text;

std::uint64_t cutLimitBytes(std::uint16_t cutMinutes, std::uint16_t cutMiB, int channels, int outputBits,
                            std::uint32_t sampleRate) {
  std::uint64_t limit = kMaxPartBytes;
  if (cutMinutes != 0) {
    limit = static_cast<std::uint64_t>(std::max(channels, 0)) * static_cast<std::uint64_t>(std::max(outputBits, 0) / 8) *
            sampleRate * cutMinutes * 60u;
  } else if (cutMiB != 0) {
    limit = static_cast<std::uint64_t>(cutMiB) * 1048576u;
  }
  // A zero product (no format) would cut after every byte: take the cap instead.
  if (limit == 0 || limit > kMaxPartBytes) limit = kMaxPartBytes;
  return limit;
}

std::string wavBase(const std::string& wavPath) {
  if (wavPath.size() >= 4) {
    std::string ext = wavPath.substr(wavPath.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == ".wav") return wavPath.substr(0, wavPath.size() - 4);
  }
  return wavPath;
}

std::string wavPartPath(const std::string& base, unsigned part) {
  return lang::formatText("%s.%02u.wav", {base, part});
}
std::string infoPartPath(const std::string& base, unsigned part) {
  return lang::formatText("%s.%02u.txt", {base, part});
}

namespace {

constexpr std::size_t kWriteBuffer = 256 * 1024;  // WAV bytes collected before a write

std::string fileNameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Counters {
  std::uint64_t serial = 0, fileNumber = 0, pageNumber = 0, startTime = 0, check = 0, faulty = 0;
  void count(std::uint32_t flags) {
    if ((flags & kFlagSerial) == kFlagSerial) ++serial;
    if ((flags & kFlagFileNumber) == kFlagFileNumber) ++fileNumber;
    if ((flags & kFlagPageNumber) == kFlagPageNumber) ++pageNumber;
    if ((flags & kFlagStartTime) == kFlagStartTime) ++startTime;
    if ((flags & kFlagCheck) == kFlagCheck) ++check;
    if (flags != 0) ++faulty;
  }
};

// "%s: %.0f:%02ld:%02ld": whole hours (no 24-hour wrap), minutes and seconds. The hours are a whole
// number below 2^53, which "%.0f" writes as its digits: they are written as an integer.
std::string hoursMinutesSeconds(TextId label, std::uint64_t seconds) {
  const double hours = std::trunc(static_cast<double>(seconds) / 3600.0 + 5.787037037037037e-6);
  return lang::formatText("%s: %s:%02ld:%02ld", {text(label), std::to_string(static_cast<std::uint64_t>(hours)),
                                                 static_cast<long>(seconds / 60 % 60), static_cast<long>(seconds % 60)});
}

// "%s: %d" (or %u, %lu) of a label and a whole number, without the format parser: a part's summary
// has a dozen of them.
std::string labelled(TextId label, std::int64_t value) { return text(label) + ": " + std::to_string(value); }
std::string labelled(TextId label, std::uint64_t value) { return text(label) + ": " + std::to_string(value); }

// One conversion run.
class Conversion {
 public:
  Conversion(const ConvertRequest& request, ports::UserInterface& ui, const LogSink& log)
      : request_(request), ui_(ui), log_(log), fs_(request.files ? *request.files : FileSystem::disk()),
        base_(wavBase(request.wavPath)), wav_(fs_), info_(fs_) {}

  // Runs once: the result is handed over, not copied.
  ConvertResult run();

 private:
  // Lines made for the log alone are made only when there is a log (callers test log_ first).
  void log(const std::string& s) {
    if (log_) log_(s);
  }
  // A line to the log (with "\r\n") and to the information file (with "\n").
  void both(const std::string& s) {
    if (log_) log_(s + "\r\n");
    info_.writeLine(s);
  }
  ConvertResult fail(ConvertStatus status, std::string message, const std::string& boxText);
  bool openPart(FileError& error);
  void partHeading();
  void partSummary(std::uint64_t seconds);
  void closePart();
  void closePartQuietly();
  void emit(const std::uint8_t* data, std::size_t n);
  void flushWav();
  void pageDecoded(const AudioDecoder& decoder, const PageResult& r, const std::uint8_t* output);
  void progress(std::uint64_t done);
  void loopOrdinary(PageReader& reader, AudioDecoder& decoder);
  void loopContainer(PageReader& reader, AudioDecoder& outer, AudioDecoder& inner, Ring& ring);
  std::uint64_t byteRate() const { return static_cast<std::uint64_t>(bits_) * channels_ * rate_ / 8; }
  std::uint64_t partSeconds() const { return byteRate() == 0 ? 0 : partBytes_ / byteRate(); }

  const ConvertRequest& request_;
  ports::UserInterface& ui_;
  const LogSink& log_;
  FileSystem& fs_;
  std::string base_;
  std::string caption_;
  ConvertResult result_;

  const AudioDecoder* decoder_ = nullptr;  // the one whose format applies (the inner one for a container)
  std::uint32_t rate_ = 0;
  int bits_ = 0;
  int channels_ = 0;
  std::uint64_t limit_ = kMaxPartBytes;
  std::uint64_t pageCount_ = 0;     // pages to convert at most
  std::uint64_t displayPages_ = 0;  // the recording's length in pages, for the summaries
  std::uint64_t progressTotal_ = 1; // progress denominator (pages, or outer pages of a container)
  std::uint64_t lastPermille_ = std::numeric_limits<std::uint64_t>::max();

  unsigned part_ = 0;
  WaveFile wav_;
  InfoFile info_;
  std::vector<std::uint8_t> out_;  // WAV bytes not yet written (grows to the write buffer as needed)
  std::uint64_t partBytes_ = 0;    // audio bytes of the current part (written or pending)
  std::uint64_t earlierSeconds_ = 0;
  Counters counters_;
  bool cancelled_ = false;
};

ConvertResult Conversion::fail(ConvertStatus status, std::string message, const std::string& boxText) {
  result_.status = status;
  result_.message = std::move(message);
  if (request_.showFailures && !boxText.empty())
    ui_.message(boxText, text(TextId::AppName), ports::Icon::Error, ports::Buttons::Ok);
  return std::move(result_);
}

bool Conversion::openPart(FileError& error) {
  const std::string wavPath = wavPartPath(base_, part_);
  const std::string infoPath = infoPartPath(base_, part_);
  if (!wav_.Open(wavPath, CFile64::kWrite, CFile64::kShareRead | CFile64::kShareWrite, CFile64::kCreateAlways,
                 &error))
    return false;
  if (!info_.open(infoPath, &error)) {
    wav_.file().Abort();
    fs_.remove(wavPath);  // nothing of this part is kept
    return false;
  }
  wav_.SetFormat(rate_, static_cast<std::uint16_t>(bits_), static_cast<std::uint16_t>(channels_));
  result_.parts.push_back({wavPath, infoPath, 0, 0, 0});
  partBytes_ = 0;
  counters_ = Counters{};
  return true;
}

void Conversion::partHeading() {
  info_.write(text(TextId::ReportRule) + "\r\n");
  info_.write(lang::formatText("%s\r\n\r\n%s %s\r\n\r\n%s...\r\n",
                               {text(TextId::ConversionReport), text(TextId::SourceFormat),
                                text(TextId::Im2Recording), text(TextId::Converting)}));
  const std::string line =
      lang::formatText("%s %s.%02u.wav\r\n", {text(TextId::WritingWavPart), fileNameOf(base_), part_});
  log(line);
  info_.write(line);
}

void Conversion::partSummary(std::uint64_t seconds) {
  const AudioDecoder& d = *decoder_;
  const DateTime start = d.startTime();
  const auto recordingMs = d.durationMs(static_cast<std::int64_t>(displayPages_));
  const auto recordingSeconds = static_cast<std::uint64_t>(std::max<std::int64_t>(0, recordingMs / 1000));
  const auto faultyMs = d.durationMs(static_cast<std::int64_t>(counters_.faulty));

  if (log_) {
    log(lang::formatText(" %s: (%s) %s \r\n",
                         {text(TextId::Recording), request_.sourcePath, text(TextId::WavPartComplete)}));
    log(text(TextId::ReportRule) + "\r\n\r\n");
  }
  info_.write(text(TextId::ReportRule) + "\r\n\r\n");
  info_.write(text(TextId::PartSummary) + "\r\n");
  both(lang::formatText("%s: %s", {text(TextId::Device), d.deviceName()}));
  both(labelled(TextId::FileNumber, std::uint64_t{static_cast<unsigned>(d.fileNumber())}));
  both(text(TextId::RecordingStart) + ": " + formatDateTime(start));
  both(hoursMinutesSeconds(TextId::RecordingDuration, recordingSeconds));
  both(text(TextId::PartStart) + ": " +
       formatDateTime(addSeconds(start, static_cast<std::int64_t>(earlierSeconds_))));
  both(hoursMinutesSeconds(TextId::PartDuration, seconds));
  both(lang::formatText("%s: %u,%03u Hz", {text(TextId::SampleRate), rate_ / 1000, rate_ % 1000}));
  both(labelled(TextId::EncodedBits, std::int64_t{d.encodedBits()}));
  both(labelled(TextId::Channels, std::int64_t{d.channels()}));
  both(text(TextId::SamplesPerChannel) + ": " + std::to_string(static_cast<std::uint64_t>(rate_) * seconds));
  both(labelled(TextId::SerialNumberMismatches, counters_.serial));
  both(labelled(TextId::FileNumberMismatches, counters_.fileNumber));
  both(labelled(TextId::PageNumberMismatches, counters_.pageNumber));
  both(labelled(TextId::StartTimeMismatches, counters_.startTime));
  both(labelled(TextId::CheckByteFailures, counters_.check));
  both(labelled(TextId::FaultyPages, counters_.faulty));
  both(lang::formatText("(%s: %0.2f s)", {text(TextId::FaultyAudio), static_cast<double>(faultyMs) * 0.001}));
  info_.write("\r\n" + text(TextId::ReportRule) + "\r\n");
  if (log_) log("\r\n" + text(TextId::ReportRule) + "\r\n\r\n");
  info_.write(text(TextId::EndOfReport) + "\n");
}

void Conversion::flushWav() {
  if (out_.empty()) return;
  // Close sets the end of the file and the lengths; plain writes suffice until then.
  wav_.file().Write(out_.data(), out_.size());
  out_.clear();
}

// Closes the current part: its remaining audio, its lengths and its information file.
void Conversion::closePart() {
  flushWav();
  ConvertPart& p = result_.parts.back();
  p.dataBytes = partBytes_;
  p.seconds = static_cast<std::uint32_t>(partSeconds());
  p.faultyPages = counters_.faulty;
  wav_.Close();
  info_.close();
}

// After a file error: keep what can be kept, raise nothing.
void Conversion::closePartQuietly() {
  if (!result_.parts.empty()) {
    ConvertPart& p = result_.parts.back();
    p.dataBytes = partBytes_;
    p.seconds = static_cast<std::uint32_t>(partSeconds());
    p.faultyPages = counters_.faulty;
  }
  try {
    flushWav();
  } catch (const FileError&) {
    out_.clear();
  }
  try {
    wav_.Close();
  } catch (const FileError&) {
    wav_.file().Abort();
  }
  // What reached the disk is what the part holds.
  if (!result_.parts.empty()) {
    if (const auto size = fs_.fileSize(result_.parts.back().wavPath))
      result_.parts.back().dataBytes = *size > 44 ? *size - 44 : 0;
  }
  info_.closeQuietly();
}

// Appends a page's output to the current part, cutting where the part reaches its limit: the first
// bytes end this part, the rest starts the next.
void Conversion::emit(const std::uint8_t* data, std::size_t n) {
  while (partBytes_ + n > limit_) {
    const auto first = static_cast<std::size_t>(limit_ - partBytes_);
    out_.insert(out_.end(), data, data + first);
    partBytes_ += first;
    data += first;
    n -= first;
    if (log_) log(" " + text(TextId::WavPartComplete) + "\r\n");
    info_.write(text(TextId::WavPartComplete) + "\n");
    const std::uint64_t seconds = partSeconds();
    partSummary(seconds);
    earlierSeconds_ += seconds;
    closePart();
    ++part_;
    FileError error;
    if (!openPart(error)) throw error;
    partHeading();
  }
  out_.insert(out_.end(), data, data + n);
  partBytes_ += n;
  if (out_.size() >= kWriteBuffer) flushWav();
}

void Conversion::pageDecoded(const AudioDecoder& d, const PageResult& r, const std::uint8_t* output) {
  if (r.flags != 0) {
    const std::string line = lang::formatText(
        " %s:%s %s:%05u %s:%ld",
        {text(TextId::FaultyPageDevice), d.deviceName(), text(TextId::File),
         static_cast<unsigned>(d.fileNumber()), text(TextId::Page), static_cast<long>(d.bufferPageNumber())});
    if (log_) log_(line + "\r\n");
    info_.writeLine(line);
    counters_.count(r.flags);
    ++result_.faultyPages;
  }
  emit(output, r.bytes);
  ++result_.pagesProcessed;
}

// Reports progress (0..1000) when it changes; the user's cancel ends the loop.
void Conversion::progress(std::uint64_t done) {
  const std::uint64_t permille = progressTotal_ == 0 ? 1000 : std::min<std::uint64_t>(1000, done * 1000 / progressTotal_);
  if (permille == lastPermille_) return;
  lastPermille_ = permille;
  if (!ui_.progress(caption_, permille, 1000)) cancelled_ = true;
}

void Conversion::loopOrdinary(PageReader& reader, AudioDecoder& d) {
  alignas(16) std::array<std::uint8_t, kPageOutputBuffer> output{};
  while (result_.pagesProcessed < pageCount_ && !cancelled_) {
    const std::uint8_t* page = reader.next();
    if (page == nullptr) break;  // the end of the file: a partial download ends here
    d.setPage(page);
    const PageResult r = d.DecodePage(output.data());
    pageDecoded(d, r, output.data());
    d.nextPage();
    progress(result_.pagesProcessed);
  }
}

void Conversion::loopContainer(PageReader& reader, AudioDecoder& outer, AudioDecoder& inner, Ring& ring) {
  alignas(16) std::array<std::uint8_t, kPageOutputBuffer> output{};
  std::array<std::uint8_t, kPageSize> innerPage{};
  std::uint64_t outerPages = 0;
  while (result_.pagesProcessed < pageCount_ && !cancelled_) {
    const std::uint8_t* page = reader.next();
    if (page == nullptr) break;
    ++outerPages;
    outer.setPage(page);
    const PageResult o = outer.DecodePage(output.data());
    outer.nextPage();
    ring.append(output.data(), o.bytes);
    // Only a completed inner page counts: a pass without one advances neither the page count nor
    // the expected inner page number.
    while (ring.size() >= kPageSize && result_.pagesProcessed < pageCount_) {
      ring.take(innerPage.data(), kPageSize);
      inner.setPage(innerPage.data());
      const PageResult r = inner.DecodePage(output.data());
      pageDecoded(inner, r, output.data());
      inner.nextPage();
    }
    progress(outerPages);
  }
}

ConvertResult Conversion::run() {
  const std::string wav0 = wavPartPath(base_, 0);
  const std::string info0 = infoPartPath(base_, 0);
  result_.firstWavPath = wav0;

  if (const auto question = request_.askBeforeOverwrite ? overwriteQuestion(request_.wavPath, fs_) : std::nullopt) {
    // The conversion runs to its end in one go, so it takes an answer given at once; one that would
    // come later counts as the question's default (No). A front end whose answers come later asks
    // overwriteQuestion() itself first and converts without this question.
    bool replace = false;
    ui_.ask(*question, [&replace](const ports::Reply& reply) { replace = reply.answer == ports::Answer::Yes; });
    if (!replace) {
      result_.status = ConvertStatus::Declined;
      result_.message = declinedMessage(request_.wavPath);
      return std::move(result_);
    }
  }

  caption_ = lang::formatText("%s: %s", {text(TextId::Converting), fileNameOf(request_.sourcePath)});
  CFile64 source(fs_);
  FileError openError;
  if (!source.Open(request_.sourcePath, CFile64::kRead, CFile64::kShareRead, CFile64::kOpenExisting, &openError))
    return fail(ConvertStatus::SourceOpenFailed, openError.describe(), openError.describe());
  fs_.fadvise(source.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);

  struct ProgressWindow {
    ports::UserInterface& ui;
    ~ProgressWindow() { ui.progressDone(); }
  } window{ui_};
  progress(0);
  if (log_)
    log(lang::formatText(" %s (%s) %s\r\n",
                         {text(TextId::Recording), request_.sourcePath, text(TextId::BeingConvertedToWav)}));

  try {
    const std::uint64_t fileLength = source.GetLength();
    const std::uint64_t filePages = fileLength / kPageSize;
    PageReader reader(source, fileLength);
    AudioDecoder outer;
    AudioDecoder inner;
    Ring ring;

    const std::uint8_t* header = reader.next();
    if (header == nullptr)
      return fail(ConvertStatus::NotARecording,
                  request_.sourcePath + " is not an IM2 recording (shorter than one page)",
                  text(TextId::NewerFormat));
    outer.setPage(header);
    outer.ParseHeader(false);
    decoder_ = &outer;
    const std::uint64_t dataPages = filePages > 0 ? filePages - 1 : 0;

    if (outer.container()) {
      // The inner header: the first 528 bytes of the stream in the first two outer pages. No scratch
      // file is made beside the user's files: nothing would ever be written to it.
      alignas(16) std::array<std::uint8_t, kPageOutputBuffer> output{};
      for (int i = 0; i < 2; ++i) {
        const std::uint8_t* page = reader.next();
        if (page == nullptr) break;
        outer.setPage(page);
        const PageResult r = outer.DecodePage(output.data());
        outer.nextPage();
        ring.append(output.data(), r.bytes);
      }
      if (ring.size() < kPageSize)
        return fail(ConvertStatus::NotARecording,
                    request_.sourcePath + " is a container recording without an inner page",
                    text(TextId::NewerFormat));
      std::array<std::uint8_t, kPageSize> innerHeader{};
      ring.take(innerHeader.data(), kPageSize);
      inner.setPage(innerHeader.data());
      inner.ParseHeader(true);
      decoder_ = &inner;
      // The inner page count announced by a damaged stream is no limit: the file's end is.
      pageCount_ = inner.pageCount() > 0 ? static_cast<std::uint64_t>(inner.pageCount())
                                         : std::numeric_limits<std::uint64_t>::max();
      displayPages_ = inner.pageCount() > 0 ? static_cast<std::uint64_t>(inner.pageCount()) : 0;
      progressTotal_ = dataPages > 2 ? dataPages - 2 : 1;
    } else {
      // A damaged header (page number below 0) announces no pages: convert what the file holds.
      pageCount_ = outer.pageCount() > 0 ? static_cast<std::uint64_t>(outer.pageCount()) : dataPages;
      displayPages_ = pageCount_;
      progressTotal_ = std::max<std::uint64_t>(1, std::min(pageCount_, dataPages));
    }

    const AudioDecoder& d = *decoder_;
    result_.deviceName = d.deviceName();
    if (!d.formatSupported()) {
      const std::string what = d.describeFormat();
      return fail(ConvertStatus::Unsupported,
                  request_.sourcePath + ": this recording format cannot be decoded (" + what + ")",
                  text(TextId::NewerFormat) + " (" + what + ")");
    }
    rate_ = d.sampleRate();
    bits_ = d.outputBits();
    channels_ = d.channels();
    result_.sampleRate = rate_;
    result_.outputBits = bits_;
    result_.channels = channels_;
    limit_ = request_.cutLimitOverride != 0
                 ? request_.cutLimitOverride
                 : cutLimitBytes(request_.cutMinutes, request_.cutMiB, channels_, bits_, rate_);

    // The WAV bytes collected before a write: one allocation, no larger than the file can give.
    out_.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(kWriteBuffer + kPageOutputBuffer, std::max<std::uint64_t>(filePages, 1) * kPageOutputBuffer)));
    fs_.remove(info0);
    FileError createError;
    if (!openPart(createError))
      return fail(ConvertStatus::OutputCreateFailed, createError.describe(), createError.describe());
    partHeading();

    try {
      if (outer.container())
        loopContainer(reader, outer, inner, ring);
      else
        loopOrdinary(reader, outer);
    } catch (const FileError& e) {
      // A file error ends the loop as a cancel does: the parts so far keep correct lengths.
      if (log_) log(" " + text(TextId::ConversionCancelled) + "\r\n");
      try {
        info_.write(text(TextId::ConversionCancelled) + "\n");
      } catch (const FileError&) {
      }
      closePartQuietly();
      return fail(ConvertStatus::WriteFailed, e.describe(), e.describe());
    }

    if (cancelled_) {
      if (log_) log(" " + text(TextId::ConversionCancelled) + "\r\n");
      info_.write(text(TextId::ConversionCancelled) + "\n");
      closePart();
      result_.status = ConvertStatus::Cancelled;
      result_.message = "the conversion was cancelled";
      return std::move(result_);
    }
    if (log_) log(" " + text(TextId::WavPartComplete) + "\r\n");
    info_.write(text(TextId::WavPartComplete) + "\n");
    partSummary(partSeconds());
    closePart();
    lastPermille_ = std::numeric_limits<std::uint64_t>::max();
    progressTotal_ = 1;
    progress(1);
    cancelled_ = false;
    result_.status = ConvertStatus::Completed;
    return std::move(result_);
  } catch (const FileError& e) {
    // Errors outside the page loop (reading the header, closing a part).
    closePartQuietly();
    return fail(ConvertStatus::WriteFailed, e.describe(), e.describe());
  }
}

}  // namespace

Im2Converter::Im2Converter(ports::UserInterface& ui, LogSink log) : ui_(ui), log_(std::move(log)) {}

ConvertResult Im2Converter::convert(const ConvertRequest& request) {
  Conversion conversion(request, ui_, log_);
  return conversion.run();
}

std::optional<ports::Question> overwriteQuestion(const std::string& wavPath, FileSystem& files) {
  const std::string wav0 = wavPartPath(wavBase(wavPath), 0);
  if (!files.exists(wav0)) return std::nullopt;
  ports::Question q;
  q.topic = ports::Topic::OverwriteFile;
  q.text = lang::formatText("%s (%s) %s\r\n %s", {text(TextId::WavFile), wav0, text(TextId::AlreadyExists), text(TextId::OverwriteIt)});
  q.caption = text(TextId::AppName);
  q.defaultAnswer = ports::Answer::No;
  return q;
}

std::string declinedMessage(const std::string& wavPath) {
  return wavPartPath(wavBase(wavPath), 0) + " exists and was not replaced";
}

ConvertResult convertRecording(ports::UserInterface& ui, const LogSink& log, const std::string& im2Path,
                               const std::string& wavPath, const std::string& /*infoPath*/,
                               const app::Settings& settings, bool askBeforeOverwrite) {
  ConvertRequest request;
  request.askBeforeOverwrite = askBeforeOverwrite;
  request.sourcePath = im2Path;
  request.wavPath = wavPath;
  request.cutMinutes = settings.waveCutTime;
  request.cutMiB = settings.waveCutSize;
  return Im2Converter(ui, log).convert(request);
}

}  // namespace recdesk::audio
