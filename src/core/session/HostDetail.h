#pragma once
// What the session owner's source files (Host.cpp, HostConnection.cpp, HostQueryChain.cpp) share,
// and nothing else includes.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "lang/Strings.h"

namespace recdesk::session::host_detail {

// Every link opens at this speed; the adapters agree a faster one with the recorder afterwards.
inline constexpr std::uint32_t kOpenSpeed = 115200;
inline constexpr std::size_t kReadChunk = 4096;
inline constexpr std::size_t kMaxVersionText = 256;
// The highest speed the adapters can run; a confirmation beyond it is not a speed we can use.
inline constexpr long long kMaxLinkSpeed = 3000000;

inline std::string fmt(std::string_view format, std::initializer_list<lang::FormatArg> args) {
  return lang::formatText(format, args);
}

}  // namespace recdesk::session::host_detail
