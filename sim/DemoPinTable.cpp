#include "DemoPinTable.h"

#include <cstdlib>
#include <fstream>

#include "DemoRecorder.h"
#include "SimPassword.h"
#include "operations/PinTable.h"

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

std::filesystem::path demoPinTableFile() { return demoFolder("pin") / "demo-pin-table.txt"; }

bool writeDemoPinTable(const std::filesystem::path& file, std::string& error) {
  std::error_code ec;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  const std::string text = demoPinTableText();
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    error = "cannot write the demo PIN table " + file.string();
    return false;
  }
  return true;
}

bool lockWithDemoPin(SimRecorder& device, const std::filesystem::path& file, std::string& error,
                     const std::string& pin) {
  if (!writeDemoPinTable(file, error)) return false;
  auto table = operations::PinTable::parse(demoPinTableText(), file.string(), error);
  if (!table) return false;
  LockOptions lock;
  lock.pin = pin;
  lock.table = std::move(table);
  lock.tableName = file.string();
  installPassword(device, std::move(lock));
  return true;
}

}  // namespace recdesk::sim
