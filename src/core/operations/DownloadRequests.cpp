#include "operations/DownloadRequests.h"

#include "lang/Strings.h"

namespace recdesk::operations {

std::string request::transfer(std::uint16_t fileNumber, std::uint64_t firstPage, std::uint64_t lastPage,
                              unsigned pagesPerBlock) {
  return lang::formatText("$R5,DNL,%lu,%lld,%lld,%u\r\n",
                          {static_cast<unsigned long>(fileNumber), static_cast<long long>(firstPage),
                           static_cast<long long>(lastPage), pagesPerBlock});
}

}  // namespace recdesk::operations
