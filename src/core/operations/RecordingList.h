#pragma once
// The recording list: one row per recording in the recorder's flash, each with its RecordingEntry,
// the texts of its columns, the selection, and the one-row summary under the list.
//
// The model holds no user interface: front ends draw `rows()` and `summary()`, and tell the model
// about selection changes. The list is filled from the recorder's answer to "$R5,LST\r\n" (see
// ListReplies for the reply handlers that feed it).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FlashPage.h"
#include "audio/Im2Format.h"
#include "lang/TextId.h"

namespace recdesk::operations {

struct RecordingEntry {
  std::uint16_t fileNumber = 0;
  std::uint16_t sampleRate = 0;
  std::uint8_t encodedBits = 0;
  std::uint8_t channels = 0;
  audio::DateTime start;             // a calendar date from the list line
  std::int64_t durationSeconds = 0;  // whole seconds of playing time
  std::uint64_t pages = 0;           // data pages of the recording
  std::uint64_t im2Size = 0;         // (pages + 1) * 528
  std::uint64_t wavSize = 0;         // estimated bytes of the decoded WAV file
  std::uint64_t pagesOnDisk = 0;     // data pages already in the IM2 file
  std::uint64_t badPages = 0;        // pages accepted with a wrong check in the last download
};

// Size arithmetic of a recording (all integer except the duration).
std::uint64_t samplesPerPagePerChannel(unsigned encodedBits, unsigned channels);
std::int64_t durationSeconds(const RecordingEntry& entry);
std::uint64_t im2Size(std::uint64_t pages);
std::uint64_t wavSize(const RecordingEntry& entry, unsigned outputBits);
// Percent downloaded: pagesOnDisk * 100 / pages (0 for a recording of no pages).
long percentDownloaded(std::uint64_t pagesOnDisk, std::uint64_t pages);
// "H:MM:SS" of a span of whole seconds.
std::string formatSpan(std::int64_t seconds);

// Parsing of the record lines ("$R5,MSG,LST,…").
enum class RecordLineKind { Record, End, Ignored, Refused };
struct ParsedRecord {
  RecordLineKind kind = RecordLineKind::Ignored;
  RecordingEntry entry;  // for Record: every field but the disk figures
};
// One "$R5,MSG,LST" line: a record, the end line, an ignored line (contains "END" but is not the
// end line) or a refused one (wrong field count, a bad number, bad date/time lengths, a start
// before the calendar's day zero).
ParsedRecord parseRecordLine(std::string_view line);

// The selection in numbers: selected rows, the bytes their IM2 and WAV files take, the pages still
// to transfer.
struct SelectionSums {
  std::size_t count = 0;
  std::uint64_t im2Bytes = 0;
  std::uint64_t wavBytes = 0;
  std::uint64_t pagesToTransfer = 0;
  bool operator==(const SelectionSums&) const = default;
};

// How a front end follows the list without reading it again: emptied, one row changed (appended,
// selected or not, pages on disk, bad pages), the selection's sums changed.
class RecordingListListener {
 public:
  virtual ~RecordingListListener() = default;
  virtual void onListReset() {}
  virtual void onRowChanged(std::size_t /*index*/) {}
  virtual void onSelectionSums(const SelectionSums& /*sums*/) {}
};

class RecordingList {
 public:
  enum Column { kNumber = 0, kStart, kDuration, kPercent, kBadPages, kRate, kBits, kChannels, kColumnCount };
  struct Row {
    RecordingEntry entry;
    bool selected = false;
    std::array<std::string, kColumnCount> columns;
  };
  struct Summary {
    std::string selection;  // column 0
    std::string im2;        // column 1: "IM2: %s MB" (below 1 MB "IM2: %s kB")
    std::string wav;        // column 2: "WAV: %s MB" (below 1 MB "WAV: %s kB")
  };

  // Header texts and initial widths of the columns, for front ends.
  static constexpr std::array<TextId, kColumnCount> kHeaderIds{
      TextId::ColumnNumber, TextId::ColumnStart, TextId::ColumnDuration, TextId::ColumnPercent,
      TextId::ColumnBad,    TextId::ColumnRate,  TextId::ColumnBits,     TextId::ColumnChannels};
  static constexpr std::array<int, kColumnCount> kWidths{50, 165, 60, 30, 35, 75, 35, 0};
  static constexpr std::array<TextId, 3> kSummaryHeaderIds{TextId::SummarySelected, TextId::SummaryIm2Size,
                                                           TextId::SummaryWavSize};

  RecordingList();

  // The front end's listener (one; null for none).
  void setListener(RecordingListListener* listener) { listener_ = listener; }
  SelectionSums selectionSums() const;

  // The device name of the connected recorder (always "MODEL-SERIAL"); sets the output sample
  // width (8 bits for "R6" and "T7" names, else 16).
  void setDeviceName(const std::string& name);
  const std::string& deviceName() const { return deviceName_; }
  unsigned outputBits() const { return outputBits_; }

  void clear();  // deletes every row and resets the summary
  // Appends a row (columns filled, bad pages 0, pages on disk as given); selected unless complete
  // on disk. Returns its index.
  std::size_t append(const RecordingEntry& entry, std::uint64_t pagesOnDisk);

  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const std::vector<Row>& rows() const { return rows_; }
  const Row& row(std::size_t index) const { return rows_.at(index); }
  const RecordingEntry* entry(std::size_t index) const;
  // The row of a file number, if any.
  std::optional<std::size_t> findFileNumber(std::uint16_t fileNumber) const;

  // Selection. setSelected returns true when the state changed (the summary is then updated).
  bool setSelected(std::size_t index, bool selected);
  bool isSelected(std::size_t index) const;
  std::size_t selectedCount() const;
  std::optional<std::size_t> firstSelected() const;
  // The next selected row after `index`, if any.
  std::optional<std::size_t> nextSelected(std::size_t index) const;
  // The row with the focus mark, if any.
  std::optional<std::size_t> focused() const { return focused_; }
  void setFocused(std::optional<std::size_t> index) { focused_ = index; }

  // Queries of the download.
  std::uint64_t selectedIm2Bytes() const;
  std::uint64_t selectedWavBytes() const;
  std::uint64_t selectedPagesToTransfer() const;  // sum of (pages - pages on disk), never below 0 per row
  void setPagesOnDisk(std::size_t index, std::uint64_t pages);  // rewrites the percent column
  void setBadPages(std::size_t index, std::uint64_t pages);     // rewrites the bad-pages column
  // A row whose pages on disk are not 0 and equal its pages.
  bool completeOnDisk(std::size_t index) const;
  // Selects every row that is not complete on disk and deselects the others.
  void selectIncomplete();

  // The summary row as the end line leaves it: "%lu %s" with the row count when nothing is
  // selected, the selection summary otherwise.
  void finishListing();
  // The summary row (recomputed from the selection when it changed).
  const Summary& summary() const;
  // Recomputes the summary from the selection (the selection-changed step).
  void updateSummary() const;

 private:
  void fillColumns(Row& row) const;
  void resetSummary();
  void rowChanged(std::size_t index);
  void selectionChanged();
  RecordingListListener* listener_ = nullptr;

  std::vector<Row> rows_;
  std::string deviceName_;
  unsigned outputBits_ = 16;
  std::optional<std::size_t> focused_;
  mutable Summary summary_;
  mutable bool summaryDirty_ = false;
};

}  // namespace recdesk::operations
