#include "operations/RecordingList.h"

#include <cctype>
#include <limits>

#include "lang/Strings.h"
#include "operations/DownloadMath.h"

namespace recdesk::operations {

namespace {

// The calendar's day zero: a list date the calendar does not have reads as this one, and an
// earlier date refuses the line.
constexpr audio::DateTime kDayZero{1899, 12, 30, 0, 0, 0};

bool isAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// A whole unsigned decimal number with nothing else than white space around it.
std::optional<std::uint64_t> wholeNumber(std::string_view text, std::uint64_t max) {
  std::size_t i = 0;
  while (i < text.size() && isAsciiSpace(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  const std::size_t firstDigit = i;
  std::uint64_t value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (value > max) return std::nullopt;
    ++i;
  }
  if (i == firstDigit) return std::nullopt;
  while (i < text.size() && isAsciiSpace(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  return value;
}

// Reads up to `width` digits after optional white space (the scanf "%Nu" of a fixed-width field);
// returns false when no digit is there.
bool scanDigits(std::string_view text, std::size_t& pos, std::size_t width, unsigned& out) {
  while (pos < text.size() && isAsciiSpace(text[pos])) ++pos;
  std::size_t n = 0;
  unsigned value = 0;
  while (pos < text.size() && n < width && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    value = value * 10 + static_cast<unsigned>(text[pos] - '0');
    ++pos;
    ++n;
  }
  if (n == 0) return false;
  out = value;
  return true;
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  return fields;
}

std::string channelText(unsigned channels) {
  if (channels == 1) return lang::text(TextId::Mono);
  if (channels == 2) return lang::text(TextId::Stereo);
  return lang::text(TextId::MultiChannel);
}

}  // namespace

// ---- size arithmetic ----

std::uint64_t samplesPerPagePerChannel(unsigned encodedBits, unsigned channels) {
  if (encodedBits == 0 || channels == 0) return 0;
  if (encodedBits == 16) return 256 / channels;
  const long long room = 4096 - 16 * static_cast<long long>(channels);
  if (room <= 0) return 1;
  return static_cast<std::uint64_t>(room) / encodedBits / channels + 1;
}

std::int64_t durationSeconds(const RecordingEntry& e) {
  if (e.sampleRate == 0 || e.encodedBits == 0 || e.channels == 0) return 0;
  const double samples = static_cast<double>(samplesPerPagePerChannel(e.encodedBits, e.channels)) *
                         static_cast<double>(e.pages);
  return static_cast<std::int64_t>(samples / static_cast<double>(e.sampleRate));
}

std::uint64_t im2Size(std::uint64_t pages) { return (pages + 1) * kPageSize; }

std::uint64_t wavSize(const RecordingEntry& e, unsigned outputBits) {
  if (e.sampleRate == 0 || e.encodedBits == 0 || e.channels == 0) return 0;
  return samplesPerPagePerChannel(e.encodedBits, e.channels) * e.channels * (outputBits / 8) * e.pages + 32;
}

long percentDownloaded(std::uint64_t pagesOnDisk, std::uint64_t pages) {
  if (pages == 0) return 0;
  if (pagesOnDisk <= std::numeric_limits<std::uint64_t>::max() / 100)
    return static_cast<long>(pagesOnDisk * 100 / pages);
  return static_cast<long>(static_cast<long double>(pagesOnDisk) * 100 / static_cast<long double>(pages));
}

std::string formatSpan(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return lang::formatText("%lld:%02ld:%02ld", {static_cast<long long>(seconds / 3600),
                                               static_cast<long>(seconds / 60 % 60), static_cast<long>(seconds % 60)});
}

// ---- parsing ----

ParsedRecord parseRecordLine(std::string_view line) {
  ParsedRecord result;
  if (line.find("END") != std::string_view::npos) {
    result.kind = line.find("MSG,LST,END") != std::string_view::npos ? RecordLineKind::End : RecordLineKind::Ignored;
    return result;
  }
  result.kind = RecordLineKind::Refused;
  const auto fields = splitFields(line);
  if (fields.size() != 11) return result;

  const auto fileNumber = wholeNumber(fields[3], 0xFFFF);
  const auto sampleRate = wholeNumber(fields[4], 0xFFFF);
  const auto bits = wholeNumber(fields[5], 0xFFFF);
  const auto channels = wholeNumber(fields[6], 0xFFFF);
  const auto pages = wholeNumber(fields[10], 0xFFFFFFFFull);
  if (!fileNumber || !sampleRate || !bits || !channels || !pages) return result;
  // The entry keeps bits and channels in 8 bits: a larger value is not a recording we can size.
  if (*bits > 0xFF || *channels > 0xFF) return result;
  if (fields[8].size() != 8 && fields[9].size() != 6) return result;

  unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  std::size_t pos = 0;
  if (scanDigits(fields[8], pos, 4, year) && scanDigits(fields[8], pos, 2, month)) scanDigits(fields[8], pos, 2, day);
  pos = 0;
  if (scanDigits(fields[9], pos, 2, hour) && scanDigits(fields[9], pos, 2, minute)) scanDigits(fields[9], pos, 2, second);
  if (month == 0) month = 1;
  if (day == 0) day = 1;

  RecordingEntry& e = result.entry;
  e.fileNumber = static_cast<std::uint16_t>(*fileNumber);
  e.sampleRate = static_cast<std::uint16_t>(*sampleRate);
  e.encodedBits = static_cast<std::uint8_t>(*bits);
  e.channels = static_cast<std::uint8_t>(*channels);
  e.pages = *pages;
  e.start = {static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
             static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second)};
  if (!e.start.isCalendarDate()) e.start = kDayZero;
  if (e.start < kDayZero) return result;
  e.durationSeconds = durationSeconds(e);
  e.im2Size = im2Size(e.pages);
  result.kind = RecordLineKind::Record;
  return result;
}

// ---- RecordingList ----

RecordingList::RecordingList() { resetSummary(); }

void RecordingList::setDeviceName(const std::string& name) {
  deviceName_ = name;
  outputBits_ = (name.find("R6") != std::string::npos || name.find("T7") != std::string::npos) ? 8 : 16;
  for (auto& r : rows_) {
    r.entry.wavSize = wavSize(r.entry, outputBits_);
  }
}

void RecordingList::clear() {
  rows_.clear();
  focused_.reset();
  summaryDirty_ = false;
  resetSummary();
  if (listener_) {
    listener_->onListReset();
    listener_->onSelectionSums(selectionSums());
  }
}

SelectionSums RecordingList::selectionSums() const {
  return {selectedCount(), selectedIm2Bytes(), selectedWavBytes(), selectedPagesToTransfer()};
}

void RecordingList::rowChanged(std::size_t index) {
  if (listener_) listener_->onRowChanged(index);
}

void RecordingList::selectionChanged() {
  if (listener_) listener_->onSelectionSums(selectionSums());
}

void RecordingList::resetSummary() {
  summary_.selection = "0 " + lang::text(TextId::Recordings);
  summary_.im2.clear();
  summary_.wav.clear();
}

std::size_t RecordingList::append(const RecordingEntry& entry, std::uint64_t pagesOnDisk) {
  Row row;
  row.entry = entry;
  row.entry.durationSeconds = durationSeconds(entry);
  row.entry.im2Size = im2Size(entry.pages);
  row.entry.wavSize = wavSize(entry, outputBits_);
  row.entry.badPages = 0;
  row.entry.pagesOnDisk = pagesOnDisk;
  fillColumns(row);
  rows_.push_back(std::move(row));
  const std::size_t index = rows_.size() - 1;
  rows_[index].selected = !completeOnDisk(index);
  if (rows_[index].selected) summaryDirty_ = true;
  rowChanged(index);
  if (rows_[index].selected) selectionChanged();
  return index;
}

void RecordingList::fillColumns(Row& row) const {
  const RecordingEntry& e = row.entry;
  row.columns[kNumber] = lang::formatText("%5u", {static_cast<unsigned>(e.fileNumber)});
  row.columns[kStart] = e.start.format("%a, %d %b %Y, %H:%M:%S ");
  row.columns[kDuration] = formatSpan(e.durationSeconds);
  row.columns[kPercent] = lang::formatText("%li", {percentDownloaded(e.pagesOnDisk, e.pages)});
  row.columns[kBadPages] = lang::formatText("%llu", {static_cast<unsigned long long>(e.badPages)});
  row.columns[kRate] = lang::formatText("%u", {static_cast<unsigned>(e.sampleRate)});
  row.columns[kBits] = lang::formatText("%u", {static_cast<unsigned>(e.encodedBits)});
  row.columns[kChannels] = channelText(e.channels);
}

const RecordingEntry* RecordingList::entry(std::size_t index) const {
  return index < rows_.size() ? &rows_[index].entry : nullptr;
}

std::optional<std::size_t> RecordingList::findFileNumber(std::uint16_t fileNumber) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].entry.fileNumber == fileNumber) return i;
  return std::nullopt;
}

bool RecordingList::setSelected(std::size_t index, bool selected) {
  if (index >= rows_.size() || rows_[index].selected == selected) return false;
  rows_[index].selected = selected;
  summaryDirty_ = true;
  rowChanged(index);
  selectionChanged();
  return true;
}

bool RecordingList::isSelected(std::size_t index) const { return index < rows_.size() && rows_[index].selected; }

std::size_t RecordingList::selectedCount() const {
  std::size_t n = 0;
  for (const auto& r : rows_) n += r.selected ? 1 : 0;
  return n;
}

std::optional<std::size_t> RecordingList::firstSelected() const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].selected) return i;
  return std::nullopt;
}

std::optional<std::size_t> RecordingList::nextSelected(std::size_t index) const {
  for (std::size_t i = index + 1; i < rows_.size(); ++i)
    if (rows_[i].selected) return i;
  return std::nullopt;
}

std::uint64_t RecordingList::selectedIm2Bytes() const {
  std::uint64_t sum = 0;
  for (const auto& r : rows_)
    if (r.selected) sum += r.entry.im2Size;
  return sum;
}

std::uint64_t RecordingList::selectedWavBytes() const {
  std::uint64_t sum = 0;
  for (const auto& r : rows_)
    if (r.selected) sum += r.entry.wavSize;
  return sum;
}

std::uint64_t RecordingList::selectedPagesToTransfer() const {
  std::uint64_t sum = 0;
  for (const auto& r : rows_)
    if (r.selected && r.entry.pages > r.entry.pagesOnDisk) sum += r.entry.pages - r.entry.pagesOnDisk;
  return sum;
}

void RecordingList::setPagesOnDisk(std::size_t index, std::uint64_t pages) {
  if (index >= rows_.size()) return;
  Row& r = rows_[index];
  r.entry.pagesOnDisk = pages;
  r.columns[kPercent] = lang::formatText("%li", {percentDownloaded(pages, r.entry.pages)});
  rowChanged(index);
  if (r.selected) selectionChanged();  // its pages still to transfer
}

void RecordingList::setBadPages(std::size_t index, std::uint64_t pages) {
  if (index >= rows_.size()) return;
  Row& r = rows_[index];
  r.entry.badPages = pages;
  r.columns[kBadPages] = lang::formatText("%llu", {static_cast<unsigned long long>(pages)});
  rowChanged(index);
}

bool RecordingList::completeOnDisk(std::size_t index) const {
  if (index >= rows_.size()) return false;
  const RecordingEntry& e = rows_[index].entry;
  return e.pagesOnDisk != 0 && e.pagesOnDisk == e.pages;
}

void RecordingList::selectIncomplete() {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const bool selected = !completeOnDisk(i);
    if (rows_[i].selected == selected) continue;
    rows_[i].selected = selected;
    rowChanged(i);
  }
  summaryDirty_ = true;
  selectionChanged();
}

void RecordingList::finishListing() {
  const auto first = firstSelected();
  if (!first) {
    summaryDirty_ = false;
    if (rows_.empty()) {
      resetSummary();
    } else {
      summary_.selection = lang::formatText(
          "%lu %s", {static_cast<unsigned long>(rows_.size()), lang::text(TextId::Recordings)});
    }
    return;
  }
  focused_ = first;
}

const RecordingList::Summary& RecordingList::summary() const {
  if (summaryDirty_) updateSummary();
  return summary_;
}

void RecordingList::updateSummary() const {
  summaryDirty_ = false;
  const std::size_t count = selectedCount();
  if (count == 1) {
    const RecordingEntry& e = rows_[*firstSelected()].entry;
    summary_.selection =
        lang::formatText("%s: %lu.   %s: %uHz %u%s %s",
                         {lang::text(TextId::ListFile), static_cast<unsigned long>(e.fileNumber),
                          lang::text(TextId::ListFormat), static_cast<unsigned>(e.sampleRate),
                          static_cast<unsigned>(e.encodedBits), lang::text(TextId::ColumnBits),
                          e.channels == 1 ? lang::text(TextId::Mono) : lang::text(TextId::Stereo)});
  } else {
    summary_.selection = lang::formatText(
        "%ld %s %s",
        {static_cast<long>(count), lang::text(TextId::Recordings), lang::text(TextId::SummarySelected)});
  }
  summary_.im2 = "IM2: " + sizeText(selectedIm2Bytes());
  summary_.wav = "WAV: " + sizeText(selectedWavBytes());
}

}  // namespace recdesk::operations
