#include "Interrupt.h"

namespace recdesk::cli {

namespace {

volatile std::sig_atomic_t pressed = 0;

extern "C" void onInterrupt(int) { pressed = 1; }

}  // namespace

InterruptScope::InterruptScope() {
  pressed = 0;
  previous_ = std::signal(SIGINT, onInterrupt);
}

InterruptScope::~InterruptScope() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }

bool InterruptScope::interrupted() { return pressed != 0; }

void InterruptScope::clear() { pressed = 0; }

}  // namespace recdesk::cli
