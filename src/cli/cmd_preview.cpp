// recdesk-cli preview NUMBER [--csv FILE]: the levels of a recording's first pages (at most 300),
// fetched straight from the recorder without a file: a text graph per channel, the per-channel means,
// and optionally a CSV file with page, lowest and highest per channel.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "Cli.h"
#include "MaintenanceCli.h"
#include "operations/DownloadMath.h"

namespace recdesk::cli {
namespace {

constexpr int kGraphWidth = 60;
constexpr int kGraphRows = 9;

// One channel: each column covers some pages (lowest of their lows, highest of their highs); each row
// a band of sample values, the top row the loudest positive.
void printGraph(const operations::LevelTables& t, std::size_t ch) {
  const std::size_t pages = t.count();
  const std::size_t columns = std::min<std::size_t>(pages, kGraphWidth);
  std::vector<std::string> rows(kGraphRows, std::string(columns, ' '));
  const auto rowOf = [](int v) {
    const int r = static_cast<int>((32767 - v) * static_cast<long long>(kGraphRows) / 65536);
    return std::clamp(r, 0, kGraphRows - 1);
  };
  for (std::size_t c = 0; c < columns; ++c) {
    const std::size_t first = c * pages / columns, last = std::max(first + 1, (c + 1) * pages / columns);
    int low = 32767, high = -32768;
    for (std::size_t i = first; i < last; ++i) {
      low = std::min<int>(low, t.low[ch][i]);
      high = std::max<int>(high, t.high[ch][i]);
    }
    for (int r = rowOf(high); r <= rowOf(low); ++r) rows[static_cast<std::size_t>(r)][c] = '#';
  }
  static const char* const kLabels[kGraphRows] = {"+32767", "", "", "", "     0", "", "", "", "-32768"};
  for (int r = 0; r < kGraphRows; ++r) std::printf("  %6s |%s|\n", kLabels[r], rows[static_cast<std::size_t>(r)].c_str());
}

bool writeCsv(const std::string& path, const operations::LevelPreviewResult& r) {
  std::ofstream out(path, std::ios::trunc);
  if (!out) return false;
  out << (r.channels == 2 ? "page,low1,high1,low2,high2\n" : "page,low1,high1\n");
  for (std::size_t i = 0; i < r.tables.count(); ++i) {
    out << i << ',' << r.tables.low[0][i] << ',' << r.tables.high[0][i];
    if (r.channels == 2) out << ',' << r.tables.low[1][i] << ',' << r.tables.high[1][i];
    out << '\n';
  }
  out.flush();
  return static_cast<bool>(out);
}

int runPreview(CliContext& context) {
  const auto number = static_cast<std::uint16_t>(context.number("NUMBER").value_or(0));
  const auto csv = context.value("--csv");
  auto ms = openMaintenanceSession(context);
  if (!ms) return kExitFailure;
  CliSession& session = ms->session();
  if (const std::string why = whyNotNow(session); !why.empty()) return fail(why);
  operations::RecordingList& list = ms->rs.operations->list();
  const auto row = list.findFileNumber(number);
  if (!row) return fail("the recorder holds no recording " + std::to_string(number));
  if (list.row(*row).entry.pages == 0) return fail("recording " + std::to_string(number) + " holds no pages");
  operations::LevelPreview& preview = ms->rs.operations->preview();
  if (!preview.start(*row, operations::normaliseAcceleration(session.settings().acceleration)))
    return fail("the level preview could not start");
  auto& watch = ms->watch;
  session.runUntil(
      [&] {
        if (watch.previewProgress) {
          watch.previewProgress = false;
          session.ui().progress("Level preview", watch.previewPagesDone, watch.previewPages);
        }
        return watch.preview.has_value();
      },
      std::chrono::minutes(10));
  session.ui().progressDone();
  if (!watch.preview) return fail("the level preview did not end within 10 minutes");
  const operations::LevelPreviewResult& r = *watch.preview;
  if (!r.complete) return fail("the level preview of recording " + std::to_string(number) + " did not complete: " + r.problem);

  std::printf("Levels of recording %u, first %zu page(s), %s:\n", static_cast<unsigned>(r.fileNumber), r.tables.count(),
              r.channels == 2 ? "stereo" : "mono");
  for (std::size_t ch = 0; ch < static_cast<std::size_t>(r.channels); ++ch) {
    std::printf("Channel %zu:\n", ch + 1);
    printGraph(r.tables, ch);
  }
  for (std::size_t ch = 0; ch < static_cast<std::size_t>(r.channels); ++ch)
    std::printf("Channel %zu: mean %d, lowest %d, highest %d\n", ch + 1, r.statistics.mean[ch], r.statistics.lowest[ch],
                r.statistics.highest[ch]);
  if (csv) {
    if (!writeCsv(*csv, r)) return fail("cannot write " + *csv);
    std::printf("Levels written to %s\n", csv->c_str());
  }
  return kExitOk;
}

}  // namespace

RECDESK_CLI_COMMAND("preview", "show the levels of a recording's first pages without downloading it", runPreview,
                    argument(integer("NUMBER", "", 0, 65535, "the recording"), true),
                    file("--csv", "FILE", "also write page, lowest and highest per channel to FILE"));

}  // namespace recdesk::cli
