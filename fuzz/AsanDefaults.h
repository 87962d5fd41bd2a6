#pragma once
// AddressSanitizer's defaults for a fuzz target (include it in the target's one source file). The
// environment's ASAN_OPTIONS still win.
//
// quarantine_size_mb=64: a freed block is handed out again only after 64 MiB of later frees (the
// default is 256 MiB). An input frees far less than that, so a use after free within an input or
// from one input to the next is still caught; but cycling every input's blocks through 256 MiB kept
// the memory cold (page faults, cache misses) and took a third or more of the run.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }
