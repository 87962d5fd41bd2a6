#include "operations/RecordingFolders.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

#include "audio/Im2Format.h"
#include "lang/Strings.h"
#include "operations/RecordingList.h"

namespace fs = std::filesystem;

namespace recdesk::operations {

namespace {

constexpr std::size_t kMaxComponent = 64;

bool unsafeCharacter(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || std::strchr("*:|?\"><", c) != nullptr;
}

std::string baseName(const std::string& prefix, const std::string& deviceName, std::uint16_t fileNumber) {
  const std::string p = safeNameComponent(prefix);
  const std::string d = safeNameComponent(deviceName);
  if (p.empty()) return lang::formatText("%s.%u", {d, static_cast<unsigned>(fileNumber)});
  return lang::formatText("%s.%s.%u", {p, d, static_cast<unsigned>(fileNumber)});
}

std::uint64_t pagesOfFile(const fs::path& file) {
  std::error_code ec;
  const auto length = fs::file_size(file, ec);
  if (ec) return 0;
  return dataPagesInLength(length);
}

}  // namespace

std::string safeNameComponent(const std::string& text) {
  std::string out;
  out.reserve(std::min(text.size(), kMaxComponent));
  for (const char ch : text) {
    if (out.size() >= kMaxComponent) break;
    out.push_back(unsafeCharacter(static_cast<unsigned char>(ch)) ? '_' : ch);
  }
  if (out == "." || out == "..") out.assign(out.size(), '_');
  return out;
}

fs::path usableFolder(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && (f.back() == '/' || f.back() == '\\')) f.pop_back();
  return fs::path(f);
}

RecordingFiles recordingFiles(const std::string& downloadFolder, const std::string& decodeFolder,
                              const std::string& prefix, const std::string& deviceName, std::uint16_t fileNumber) {
  const std::string base = baseName(prefix, deviceName, fileNumber);
  RecordingFiles files;
  files.im2Name = base + ".im2";
  files.im2 = usableFolder(downloadFolder) / files.im2Name;
  files.wav = usableFolder(decodeFolder) / (base + ".wav");
  files.info = usableFolder(downloadFolder) / (base + ".txt");
  return files;
}

std::optional<fs::path> findIm2(const std::string& downloadFolder, const std::string& prefix,
                                const std::string& deviceName, std::uint16_t fileNumber, bool anyPrefix) {
  const fs::path folder = usableFolder(downloadFolder);
  const fs::path exact = folder / (baseName(prefix, deviceName, fileNumber) + ".im2");
  std::error_code ec;
  if (fs::is_regular_file(exact, ec)) return exact;
  if (!anyPrefix) return std::nullopt;

  const std::string tail = baseName("", deviceName, fileNumber) + ".im2";
  std::vector<std::string> found;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < tail.size() || name.compare(name.size() - tail.size(), tail.size(), tail) != 0) continue;
    // "device.n.im2" itself, or "<prefix>.device.n.im2".
    if (name.size() != tail.size() && name[name.size() - tail.size() - 1] != '.') continue;
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc)) continue;
    found.push_back(name);
  }
  if (found.empty()) return std::nullopt;
  std::sort(found.begin(), found.end());
  return folder / found.front();
}

std::string im2HeaderMismatch(const fs::path& im2, const RecordingEntry& entry, const std::string& deviceName) {
  std::ifstream in(im2, std::ios::binary);
  if (!in) return "the file cannot be read";
  std::uint8_t page[kPageSize];
  in.read(reinterpret_cast<char*>(page), static_cast<std::streamsize>(sizeof page));
  if (in.gcount() != static_cast<std::streamsize>(sizeof page)) return "the file is shorter than one page";

  const auto fileNumber = audio::readU16(page + audio::kOffFileNumber);
  if (fileNumber != entry.fileNumber)
    return lang::formatText("its header page is of recording %u", {static_cast<unsigned>(fileNumber)});

  // The serial number is what follows the last "-" of the device name, when that is a number.
  const auto dash = deviceName.rfind('-');
  const std::string serialText = dash == std::string::npos ? std::string() : deviceName.substr(dash + 1);
  if (!serialText.empty() && serialText.size() <= 5 && serialText.find_first_not_of("0123456789") == std::string::npos) {
    const unsigned long serial = std::stoul(serialText);
    const auto pageSerial = audio::readU16(page + audio::kOffSerial);
    if (serial <= 0xFFFF && serial != pageSerial)
      return lang::formatText("its header page is of the recorder with serial number %05u", {static_cast<unsigned>(pageSerial)});
  }

  const audio::DateTime t = audio::unpackStartTime(audio::readU32(page + audio::kOffStartTime));
  if (t != entry.start)
    return "its recording began at " + audio::formatDateTime(t) + ", this one at " + entry.start.format("%Y/%m/%d %H:%M:%S");

  const std::int64_t lastPage = audio::readS32(page + audio::kOffPageNumber);
  if (entry.pages == 0 || lastPage < 0 || static_cast<std::uint64_t>(lastPage) != entry.pages - 1)
    return lang::formatText("its recording has %lld pages, this one %llu",
                            {static_cast<long long>(lastPage) + 1, static_cast<unsigned long long>(entry.pages)});
  return {};
}

std::optional<std::vector<fs::path>> moveAside(const RecordingFiles& files, std::string& error) {
  const auto aside = [](const fs::path& file, unsigned n) {
    fs::path moved = file;
    moved.replace_filename(file.stem().string() + ".old-" + std::to_string(n) + file.extension().string());
    return moved;
  };
  std::error_code ec;
  unsigned n = 1;
  for (;; ++n) {
    if (n > 9999) {
      error = "no free name to move " + files.im2.string() + " aside to";
      return std::nullopt;
    }
    if (!fs::exists(aside(files.im2, n), ec) && !fs::exists(aside(files.info, n), ec)) break;
  }
  std::vector<fs::path> moved;
  std::vector<fs::path> from;
  for (const fs::path& file : {files.im2, files.info}) {
    if (!fs::exists(fs::symlink_status(file, ec))) continue;
    const fs::path to = aside(file, n);
    fs::rename(file, to, ec);
    if (ec) {
      error = "cannot move " + file.string() + " to " + to.string() + ": " + ec.message();
      std::error_code back;
      for (std::size_t i = 0; i < moved.size(); ++i) fs::rename(moved[i], from[i], back);
      return std::nullopt;
    }
    moved.push_back(to);
    from.push_back(file);
  }
  return moved;
}

std::uint64_t dataPagesInLength(std::uint64_t length) {
  const std::uint64_t count = length / kPageSize;
  return count == 0 ? 0 : count - 1;
}

std::uint64_t pagesOnDisk(const std::string& downloadFolder, const std::string& prefix,
                          const std::string& deviceName, std::uint16_t fileNumber, bool anyPrefix) {
  const auto file = findIm2(downloadFolder, prefix, deviceName, fileNumber, anyPrefix);
  return file ? pagesOfFile(*file) : 0;
}

std::uint64_t recordingPagesOnDisk(const std::string& downloadFolder, const std::string& prefix,
                                   const std::string& deviceName, const RecordingEntry& entry) {
  const auto file = findIm2(downloadFolder, prefix, deviceName, entry.fileNumber, false);
  if (!file) return 0;
  const std::uint64_t pages = pagesOfFile(*file);
  if (pages == 0 || !im2HeaderMismatch(*file, entry, deviceName).empty()) return 0;
  return pages;
}

bool filterPrefixOnce(std::string& text) {
  const std::size_t at = text.find_first_of(kRefusedPrefixCharacters);
  if (at == std::string::npos) return false;
  text.erase(at, 1);
  return true;
}

std::string cleanPrefix(std::string text) { return app::checkPrefix(text).text; }

std::optional<fs::path> refreshForPrefix(RecordingList& list, const std::string& downloadFolder,
                                         const std::string& prefix) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const RecordingEntry& e = list.row(i).entry;
    list.setPagesOnDisk(i, recordingPagesOnDisk(downloadFolder, prefix, list.deviceName(), e));
    list.setSelected(i, !list.completeOnDisk(i));
  }
  const auto first = list.firstSelected();
  if (!first) return std::nullopt;
  const std::uint16_t n = list.row(*first).entry.fileNumber;
  if (pagesOnDisk(downloadFolder, prefix, list.deviceName(), n, false) == 0) return std::nullopt;
  return findIm2(downloadFolder, prefix, list.deviceName(), n, false);
}

void loadDownloaded(const RecordingList& list, std::size_t row, const std::string& downloadFolder,
                    const std::string& prefix, const PlayerLoadHook& load) {
  if (!load) return;
  const RecordingEntry* e = list.entry(row);
  if (e == nullptr) {
    load(std::nullopt);
    return;
  }
  load(findIm2(downloadFolder, prefix, list.deviceName(), e->fileNumber, true));
}

std::string folderProblem(const std::string& folder) {
  if (folder.empty()) return "no folder is set";
  for (const char ch : folder) {
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) return "the folder name holds a control character";
  }
  return {};
}

}  // namespace recdesk::operations
