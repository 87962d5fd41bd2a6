#include "DemoPinTable.h"

namespace recdesk::sim {

std::string demoPinTableText() {
  std::string text =
      "# DEMO PIN RESPONSE TABLE - invented values for the simulated recorder only.\n"
      "# It is not any maker's table and unlocks no real recorder.\n";
  for (int c = 0x21; c < 0x7f; ++c) {
    if (c == '#' || c == '=') continue;
    text += static_cast<char>(c);
    text += '=';
    for (int d = 0; d < 10; ++d) text += static_cast<char>('0' + (c * 3 + d * 7 + 1) % 10);
    text += '\n';
  }
  return text;
}

}  // namespace recdesk::sim
