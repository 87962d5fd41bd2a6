#include "SimDownload.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "FlashPage.h"

namespace recdesk::sim {

namespace {

std::optional<std::uint64_t> number(const std::vector<std::string>& fields, std::size_t i) {
  if (i >= fields.size() || fields[i].empty() || fields[i].size() > 19) return std::nullopt;
  std::uint64_t v = 0;
  for (const char c : fields[i]) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return v;
}

}  // namespace

SimDownload& SimDownload::install(SimRecorder& device) {
  auto self = std::make_shared<SimDownload>(device);
  device.addCommand("DNL", [self](SimRecorder&, const std::string&, const std::vector<std::string>& fields) {
    self->request(fields);
  });
  device.addCommand("SMP", [self](SimRecorder&, const std::string&, const std::vector<std::string>& fields) {
    self->requestSample(fields);
  });
  device.setByteInterceptor([self](std::uint8_t b) { return self->control(b); });
  return *self;
}

const Recording* SimDownload::recording(std::uint16_t fileNumber) const {
  for (const auto& r : device_.recordings())
    if (r.format.fileNumber == fileNumber) return &r;
  return nullptr;
}

void SimDownload::request(const std::vector<std::string>& fields) {
  if (gone_) return;
  const auto file = number(fields, 2);
  const auto first = number(fields, 3);
  const auto last = number(fields, 4);
  const auto perBlock = number(fields, 5);
  open("DNL", file, first, last, perBlock,
       fields.size() > 5 ? fields[2] + "," + fields[3] + "," + fields[4] + "," + fields[5] : std::string(),
       fields.size() > 2 ? fields[2] : std::string());
}

void SimDownload::requestSample(const std::vector<std::string>& fields) {
  if (gone_) return;
  // "$R5,SMP,<file>,<pages>,<per block>": the recording's first pages.
  const auto file = number(fields, 2);
  const auto pages = number(fields, 3);
  const auto perBlock = number(fields, 4);
  std::optional<std::uint64_t> last;
  if (pages && *pages > 0) last = *pages - 1;
  open("SMP", file, pages ? std::optional<std::uint64_t>(0) : std::nullopt, last, perBlock,
       fields.size() > 4 ? fields[2] + "," + fields[3] + "," + fields[4] : std::string(),
       fields.size() > 2 ? fields[2] : std::string());
}

void SimDownload::open(const std::string& word, std::optional<std::uint64_t> file, std::optional<std::uint64_t> first,
                       std::optional<std::uint64_t> last, std::optional<std::uint64_t> perBlock,
                       const std::string& echo, const std::string& fileText) {
  ++stats_.requests;
  const Recording* rec = file && *file <= 0xFFFF ? recording(static_cast<std::uint16_t>(*file)) : nullptr;
  if (!rec || !first || !last || !perBlock || *perBlock == 0 || *perBlock > 256 || *first > *last ||
      *last >= rec->pageCount()) {
    open_ = false;
    ++stats_.refused;
    emitLine("$R5,NAK," + word + "," + fileText);
    return;
  }
  word_ = word;
  open_ = true;
  file_ = static_cast<std::uint16_t>(*file);
  first_ = *first;
  last_ = *last;
  perBlock_ = *perBlock;
  current_.reset();
  emitLine("$R5,ACK," + word + "," + echo);
}

bool SimDownload::control(std::uint8_t byte) {
  if (!open_ || (byte != 'n' && byte != 'r' && byte != 'c')) return false;
  if (gone_) return true;
  switch (byte) {
    case 'n': {
      if (faults_.silentNext > 0 || chance(faults_.silentProbability)) {
        if (faults_.silentNext > 0) --faults_.silentNext;
        ++stats_.silentRequests;
        return true;
      }
      const std::uint64_t start = current_ ? *current_ + perBlock_ : first_;
      if (start > last_ || (current_ && *current_ + perBlock_ < *current_)) {
        open_ = false;
        emitLine("$R5,MSG," + word_ + ",END," + std::to_string(file_));
        return true;
      }
      current_ = start;
      sendBlock(start);
      return true;
    }
    case 'r':
      if (faults_.ignoreRepeatNext > 0 || chance(faults_.ignoreRepeatProbability)) {
        if (faults_.ignoreRepeatNext > 0) --faults_.ignoreRepeatNext;
        ++stats_.silentRepeats;
        return true;
      }
      if (current_) {
        ++stats_.repeatsServed;
        sendBlock(*current_);
      }
      return true;
    default:  // 'c'
      open_ = false;
      ++stats_.cancels;
      emitLine("$R5,MSG," + word_ + ",CANCEL," + std::to_string(file_));
      return true;
  }
}

void SimDownload::sendBlock(std::uint64_t start) {
  const Recording* rec = recording(file_);
  if (!rec) return;
  const std::uint64_t count = std::min<std::uint64_t>(perBlock_, last_ - start + 1);
  std::string copy(static_cast<std::size_t>(count) * kPageSize, '\0');
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::uint64_t page = start + i;
    char* out = copy.data() + i * kPageSize;
    std::copy_n(reinterpret_cast<const char*>(rec->page(static_cast<std::size_t>(page))), kPageSize, out);
    if (faults_.stickyBadPages.count({file_, page})) out[100] = static_cast<char>(out[100] ^ 0x01);
    if (faults_.flakyBadPages.count({file_, page}))
      out[100] = static_cast<char>(out[100] ^ static_cast<char>(1 + device_.random()() % 255));
  }
  ++stats_.blocksSent;
  if (faults_.unplugAfterBlocks >= 0 && stats_.blocksSent > static_cast<std::uint64_t>(faults_.unplugAfterBlocks)) {
    gone_ = true;
    open_ = false;
    ++stats_.unplugs;
    if (onUnplug) {
      onUnplug();
    } else {
      device_.faults().silent = true;
    }
    return;
  }
  if (faults_.skipAheadNext > 0) {
    --faults_.skipAheadNext;
    ++stats_.skipped;
    return;
  }
  auto& rnd = device_.random();
  const CopyFaults f = decideFaults(start);
  if (f.flip) {
    // One payload byte of a page the flash holds right: the page's check byte always sees that.
    // (A flip in the trailer, or a second fault in a page already wrong, can cancel out in an 8-bit
    // check and pass unseen; those are left out.)
    std::vector<std::uint64_t> sound;
    for (std::uint64_t i = 0; i < count; ++i)
      if (!faults_.stickyBadPages.count({file_, start + i}) && !faults_.flakyBadPages.count({file_, start + i}))
        sound.push_back(i);
    if (!sound.empty()) {
      ++stats_.flipped;
      const std::size_t at = static_cast<std::size_t>(sound[rnd() % sound.size()] * kPageSize + rnd() % 512);
      copy[at] = static_cast<char>(copy[at] ^ static_cast<char>(1 + rnd() % 255));
    }
  }
  if (f.drop > 0) {
    ++stats_.dropped;
    copy.resize(copy.size() - std::min(copy.size(), f.drop));
  }
  if (f.extra > 0) {
    ++stats_.extra;
    copy.append(f.extra, '\x55');
  }
  if (f.late > std::chrono::nanoseconds(0)) ++stats_.late;
  if (f.doubled) {
    // Twice in one go, as when a transfer is repeated on the way.
    ++stats_.doubled;
    copy += std::string(copy);
  }
  emitBytes(std::move(copy), f.late);
}

bool SimDownload::chance(double probability) {
  return probability > 0 && std::uniform_real_distribution<double>(0, 1)(device_.random()) < probability;
}

CopyFaults SimDownload::decideFaults(std::uint64_t start) {
  if (copiesOf_ != start) {
    copiesOf_ = start;
    copies_ = 0;
  }
  const std::uint64_t copy = copies_++;
  const auto take = [this](int& next, double probability) {
    if (next > 0) {
      --next;
      return true;
    }
    return chance(probability);
  };
  CopyFaults f;
  f.flip = take(faults_.flipNext, faults_.flipProbability);
  if (take(faults_.dropBytesNext, faults_.dropProbability)) f.drop = faults_.dropCount;
  if (take(faults_.extraBytesNext, faults_.extraProbability)) f.extra = faults_.extraCount;
  f.doubled = take(faults_.doubleNext, faults_.doubleProbability);
  if (faults_.lateNext > 0) {
    --faults_.lateNext;
    f.late = faults_.lateBy;
  } else if (chance(faults_.lateProbability)) {
    const auto most = std::chrono::duration_cast<std::chrono::microseconds>(faults_.lateBy).count();
    f.late = std::chrono::microseconds(1 + static_cast<long long>(device_.random()() % static_cast<std::uint64_t>(std::max<long long>(most, 1))));
  }
  if (faults_.shape) faults_.shape(start, copy, f);
  return f;
}

std::chrono::nanoseconds SimDownload::wireTime(std::size_t bytes) const {
  if (pacing_.bitsPerSecond == 0) return std::chrono::nanoseconds(0);
  return std::chrono::nanoseconds(static_cast<std::int64_t>(
      static_cast<long double>(bytes) * 10 * 1e9L / static_cast<long double>(pacing_.bitsPerSecond)));
}

void SimDownload::emitLine(const std::string& line) {
  if (!pacing_.schedule || !pacing_.now) {
    device_.sendLine(line);
    return;
  }
  // The line shares the wire with the block data: it comes after every byte sent before it.
  emit(device_.frameLine(line), std::chrono::nanoseconds(0));
}

void SimDownload::emitBytes(std::string bytes, std::chrono::nanoseconds late) {
  if (device_.faults().silent) return;
  stats_.bytesSent += bytes.size();
  if (!pacing_.schedule || !pacing_.now) {
    device_.sendBytes(bytes);
    return;
  }
  emit(std::move(bytes), late);
}

void SimDownload::emit(std::string bytes, std::chrono::nanoseconds late) {
  if (bytes.empty()) return;
  using TimePoint = std::chrono::steady_clock::time_point;
  const TimePoint now = pacing_.now();
  // The recorder answers once it has finished sending what it was sending, after its turnaround
  // (reading the flash); a late answer later still.
  const TimePoint start = std::max(now, wireFree_) + pacing_.turnaround + late;
  wireFree_ = start + wireTime(bytes.size());
  SimRecorder* device = &device_;
  const auto handOver = [this, device, now](TimePoint at, std::string piece) {
    pacing_.schedule(at - now, [device, piece = std::move(piece)] { device->sendBytes(piece); });
  };
  if (pacing_.pieceBytes == 0) {
    handOver(wireFree_, std::move(bytes));
    return;
  }
  // The adapter's partial piece fills on when these bytes start before its quiet time is up.
  std::size_t carried = 0;
  if (!piece_.bytes.empty() && start < piece_.end + pacing_.latency) {
    *piece_.calledOff = true;
    carried = piece_.bytes.size();
    bytes.insert(0, piece_.bytes);
  }
  piece_ = Piece{};
  const std::size_t size = pacing_.pieceBytes;
  std::size_t at = 0;
  for (; bytes.size() - at >= size; at += size)
    handOver(start + wireTime(at + size - carried), bytes.substr(at, size));
  if (at == bytes.size()) return;
  piece_.bytes = bytes.substr(at);
  piece_.end = wireFree_;
  piece_.calledOff = std::make_shared<bool>(false);
  pacing_.schedule(piece_.end + pacing_.latency - now,
                   [device, rest = piece_.bytes, calledOff = piece_.calledOff] {
                     if (!*calledOff) device->sendBytes(rest);
                   });
}

// ---- recdesk-sim ----

void CallQueue::schedule(std::chrono::nanoseconds delay, std::function<void()> call) {
  const auto due = std::chrono::steady_clock::now() + std::max(delay, std::chrono::nanoseconds(0));
  calls_.emplace(due, std::move(call));
}

std::optional<std::chrono::nanoseconds> CallQueue::runDue() {
  for (;;) {
    if (calls_.empty()) return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    auto first = calls_.begin();
    if (first->first > now) return first->first - now;
    auto call = std::move(first->second);
    calls_.erase(first);
    call();
  }
}

namespace {

bool wholeNumber(const std::string& text, long long low, long long high, long long& out) {
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || !end || *end != '\0' || v < low || v > high) return false;
  out = v;
  return true;
}

bool filePage(const std::string& text, std::pair<std::uint16_t, std::uint64_t>& out) {
  const auto colon = text.find(':');
  long long file = 0, page = 0;
  if (colon == std::string::npos || !wholeNumber(text.substr(0, colon), 0, 65535, file) ||
      !wholeNumber(text.substr(colon + 1), 0, 1LL << 40, page))
    return false;
  out = {static_cast<std::uint16_t>(file), static_cast<std::uint64_t>(page)};
  return true;
}

}  // namespace

int takeDownloadOption(int argc, char** argv, int& i, SimDownloadOptions& options, std::string& error) {
  const std::string arg = argv[i];
  static const char* const kOptions[] = {"--pace", "--turnaround", "--flip", "--flip-next", "--drop-bytes-next",
                                         "--extra-bytes-next", "--silent-blocks", "--skip-ahead", "--bad-page",
                                         "--weak-page", "--unplug-after-blocks", "--pieces", "--latency",
                                         "--double-next", "--late-next", "--late-by"};
  if (std::find_if(std::begin(kOptions), std::end(kOptions), [&](const char* o) { return arg == o; }) ==
      std::end(kOptions))
    return 0;
  if (i + 1 >= argc) {
    error = arg + " needs a value";
    return -1;
  }
  const std::string value = argv[++i];
  long long n = 0;
  auto& f = options.faults;
  const auto count = [&](int& slot) {
    if (!wholeNumber(value, 0, 1 << 30, n)) return false;
    slot = static_cast<int>(n);
    return true;
  };
  bool ok = true;
  if (arg == "--pace") {
    ok = wholeNumber(value, 300, 100000000, n);
    options.paceBitsPerSecond = static_cast<std::uint32_t>(n);
  } else if (arg == "--turnaround") {
    char* end = nullptr;
    options.turnaroundMs = std::strtod(value.c_str(), &end);
    ok = end && *end == '\0' && options.turnaroundMs >= 0 && options.turnaroundMs <= 60000;
  } else if (arg == "--flip") {
    char* end = nullptr;
    f.flipProbability = std::strtod(value.c_str(), &end);
    ok = end && *end == '\0' && f.flipProbability >= 0 && f.flipProbability <= 1;
  } else if (arg == "--flip-next") {
    ok = count(f.flipNext);
  } else if (arg == "--drop-bytes-next") {
    ok = count(f.dropBytesNext);
  } else if (arg == "--extra-bytes-next") {
    ok = count(f.extraBytesNext);
  } else if (arg == "--silent-blocks") {
    ok = count(f.silentNext);
  } else if (arg == "--skip-ahead") {
    ok = count(f.skipAheadNext);
  } else if (arg == "--bad-page" || arg == "--weak-page") {
    std::pair<std::uint16_t, std::uint64_t> fp;
    ok = filePage(value, fp);
    (arg == "--bad-page" ? f.stickyBadPages : f.flakyBadPages).insert(fp);
  } else if (arg == "--pieces") {
    ok = wholeNumber(value, 1, 1 << 20, n);
    options.pieceBytes = static_cast<std::size_t>(n);
  } else if (arg == "--latency") {
    char* end = nullptr;
    options.latencyMs = std::strtod(value.c_str(), &end);
    ok = end && *end == '\0' && options.latencyMs >= 0 && options.latencyMs <= 1000;
  } else if (arg == "--double-next") {
    ok = count(f.doubleNext);
  } else if (arg == "--late-next") {
    ok = count(f.lateNext);
  } else if (arg == "--late-by") {
    ok = wholeNumber(value, 0, 60000, n);
    f.lateBy = std::chrono::milliseconds(n);
  } else if (arg == "--unplug-after-blocks") {
    ok = wholeNumber(value, 0, 1LL << 40, n);
    f.unplugAfterBlocks = n;
  }
  if (!ok) {
    error = arg + ": bad value '" + value + "' (see --help)";
    return -1;
  }
  return 1;
}

const char* downloadOptionsHelp() {
  return "download:\n"
         "  --pace BPS             send answers at BPS bit/s (10 bits per byte); default: at once\n"
         "  --turnaround MS        the recorder answers MS milliseconds after a request (with --pace)\n"
         "  --flip P               flip one byte of a block sent with probability P (0..1)\n"
         "  --flip-next N          flip one byte in each of the next N blocks sent\n"
         "  --drop-bytes-next N    the next N blocks sent lose 100 bytes at their end\n"
         "  --extra-bytes-next N   the next N blocks sent carry 16 bytes too many\n"
         "  --silent-blocks N      the next N block requests (\"n\") are not heard\n"
         "  --skip-ahead N         the next N blocks are lost on the way (the recorder moves on)\n"
         "  --bad-page F:P         page P of recording F is bad the same way on every read\n"
         "  --weak-page F:P        page P of recording F is bad differently on every read\n"
         "  --unplug-after-blocks K  the link is lost after K blocks\n"
         "  --pieces BYTES         with --pace: hand answers over in pieces of BYTES, as a USB adapter\n"
         "  --latency MS           with --pieces: a partial piece goes over after MS quiet milliseconds\n"
         "  --double-next N        the next N blocks sent go out twice in one go\n"
         "  --late-next N          with --pace: the next N blocks sent leave late (see --late-by)\n"
         "  --late-by MS           how late a late block is (default 50)\n";
}

SimDownload& installDownload(SimRecorder& device, const SimDownloadOptions& options, CallQueue& calls,
                             std::function<void()> unplug) {
  SimDownload& download = SimDownload::install(device);
  download.faults() = options.faults;
  download.onUnplug = std::move(unplug);
  if (options.paceBitsPerSecond > 0) {
    DownloadPacing pacing;
    pacing.bitsPerSecond = options.paceBitsPerSecond;
    pacing.turnaround = std::chrono::microseconds(static_cast<long long>(options.turnaroundMs * 1000.0));
    pacing.pieceBytes = options.pieceBytes;
    pacing.latency = std::chrono::microseconds(static_cast<long long>(options.latencyMs * 1000.0));
    pacing.schedule = [&calls](std::chrono::nanoseconds delay, std::function<void()> call) {
      calls.schedule(delay, std::move(call));
    };
    pacing.now = [] { return std::chrono::steady_clock::now(); };
    download.setPacing(std::move(pacing));
  }
  return download;
}

}  // namespace recdesk::sim
