#pragma once
#include <string>

namespace recdesk::app {

// "a.b.c, build d" when c is even, "a.b.c" when c is odd.
std::string versionText(int a, int b, int c, int d);

}  // namespace recdesk::app
