#pragma once
// The lines and bytes the download sends to the recorder.
//
// A request names the file, the first and the last page, and the pages per block: the header
// request asks for the recording's last page alone, a data request for the pages from the first
// missing one to the last. Each block is then pulled with one control byte.
#include <cstdint>
#include <string>

namespace recdesk::operations::request {

inline constexpr char kNextBlock = 'n';
inline constexpr char kRepeatBlock = 'r';
inline constexpr char kCancel = 'c';

// "$R5,DNL,<file>,<first>,<last>,<pages per block>\r\n"
std::string transfer(std::uint16_t fileNumber, std::uint64_t firstPage, std::uint64_t lastPage,
                     unsigned pagesPerBlock);
// The header page: the recording's last page (of `pages`), one page per block.
inline std::string header(std::uint16_t fileNumber, std::uint64_t pages) {
  return transfer(fileNumber, pages - 1, pages - 1, 1);
}
// The data pages from `firstPage` to the recording's last one.
inline std::string data(std::uint16_t fileNumber, std::uint64_t firstPage, std::uint64_t pages,
                        unsigned pagesPerBlock) {
  return transfer(fileNumber, firstPage, pages - 1, pagesPerBlock);
}
// The bad-block scan the download asks for after it had to accept bad pages.
inline constexpr const char* kBadBlockScan = "$R5,BAD\r\n";

}  // namespace recdesk::operations::request
