#pragma once
// The recorders' flash page: the unit of the recorder's storage, of every block transfer on the link
// and of an IM2 file. Every layer counts in these pages, so the size lives here, below them all.
#include <cstddef>

namespace recdesk {

inline constexpr std::size_t kPageSize = 528;

}  // namespace recdesk
