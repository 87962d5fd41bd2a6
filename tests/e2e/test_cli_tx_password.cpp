// recdesk-cli tx, password and unlock against recdesk-sim over a real pseudo-terminal: what each
// prints, and exit 0 on success, 1 with one sentence on a refusal or a locked recorder, 2 on a
// usage error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EndToEnd.h"

using namespace recdesk::test;
using namespace std::chrono_literals;

namespace {

CliRun cli(const Sim& sim, std::vector<std::string> args) {
  args.insert(args.begin(), {"--device", sim.path, "--timeout", "20", "--no-log"});
  return runCli(std::move(args), 40s);
}

// Every printable character but "#" as a key, the response digit (PIN digit + key code) mod 10.
std::string table() {
  std::string text = "# test table\n";
  for (int k = 0x21; k < 0x7F; ++k) {
    if (k == '#') continue;
    text += static_cast<char>(k);
    text += '=';
    for (int p = 0; p < 10; ++p) text += static_cast<char>('0' + (p + k) % 10);
    text += '\n';
  }
  return text;
}

}  // namespace

TEST(CliTransmitter, ShowsAndSetsTheTransmittersSettings) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--model", "T7", "--tx-frequency", "162475000"}, 60);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  CliRun r = cli(sim, {"tx"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Power:         high\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Scrambler:     off\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Frequency:     162.4750 MHz\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Second value:  12.5\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Range:         150.0000 to 174.0000 MHz\n")) << r.out;

  r = cli(sim, {"tx", "--frequency", "174", "--power", "low", "--scrambler", "on"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Frequency:     174.0000 MHz\n")) << r.out;
  r = cli(sim, {"tx"});
  EXPECT_TRUE(contains(r.out, "Power:         low\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Scrambler:     on\n")) << r.out;

  r = cli(sim, {"tx", "--frequency", "149.9999"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "does not accept this frequency")) << r.err;
  EXPECT_EQ(cli(sim, {"tx", "--power", "medium"}).code, 2);
}

TEST(CliTransmitter, ARecorderIsNoTransmitter) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({}, 60);
  const CliRun r = cli(sim, {"tx"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "is a recorder, not a transmitter")) << r.err;
}

TEST(CliPassword, ChangesThePasswordAndTellsARefusal) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--password", "1111"}, 60);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  // Not the factory password: the old one is needed, and there is no terminal to ask on.
  CliRun r = cli(sim, {"password", "--new", "2222"});
  EXPECT_EQ(r.code, 2) << r.err;
  EXPECT_TRUE(contains(r.err, "--old")) << r.err;
  r = cli(sim, {"password", "--old", "1111", "--new", "2222"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "password was changed")) << r.err;
  r = cli(sim, {"password", "--old", "1111", "--new", "3333"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "refused the password change")) << r.err;
  r = cli(sim, {"password", "--old", "2222", "--new", "33"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "exactly 4 characters")) << r.err;
  r = cli(sim, {"password", "--old", "2222", "--new", "6284"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.err, "reset to the factory default")) << r.err;
}

TEST(CliUnlock, UnlocksWithThePinTableAndRefusesWithoutOne) {
  TempDir dir;
  prepareEnvironment(dir);
  writeFile(dir / "pin.txt", table());
  writeFile(dir / "short.txt", "# no key of the recorder's name\nA=0123456789\n");
  // Answers in pieces of 5 bytes, 2 ms apart.
  Sim sim({"--locked", "4321", "--pin-table", (dir / "pin.txt").string(), "--split", "5"}, 60);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();

  CliRun r = cli(sim, {"info"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "is locked: unlock it first")) << r.err;
  r = cli(sim, {"unlock", "4321"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "PinTable")) << r.err;
  r = cli(sim, {"unlock", "4321", "--pin-table", (dir / "short.txt").string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, (dir / "short.txt").string())) << r.err;
  r = cli(sim, {"unlock", "1111", "--pin-table", (dir / "pin.txt").string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "refused the PIN")) << r.err;
  EXPECT_EQ(cli(sim, {"unlock"}).code, 2);

  // The setting names the table too.
  writeFile(dir / "s.ini", "[Options]\nPinTable=" + (dir / "pin.txt").string() + "\n");
  r = cli(sim, {"--settings", (dir / "s.ini").string(), "unlock", "4321"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "R5-12345 is unlocked")) << r.out;
  r = cli(sim, {"info"});
  EXPECT_EQ(r.code, 0) << r.err;
}

TEST(CliTransmitter, TheDemoServesATransmitterForTx) {
  TempDir dir;
  prepareEnvironment(dir);
  const CliRun r = runCli({"--demo", "--no-log", "tx", "--frequency", "155.5", "--scrambler", "on"}, 40s);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "Frequency:     155.5000 MHz\n")) << r.out;
  EXPECT_TRUE(contains(r.out, "Scrambler:     on\n")) << r.out;
}

TEST(CliUnlock, TheLockedDemoRecorderOpensWithTheDemoPinOnly) {
  TempDir dir;
  prepareEnvironment(dir);
  CliRun r = runCli({"--demo-locked", "--no-log", "info"}, 40s);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "R5-12345 on the built-in simulated recorder is locked: unlock it first")) << r.err;
  r = runCli({"--demo-locked", "--no-log", "unlock", "9999"}, 40s);
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(contains(r.err, "refused the PIN")) << r.err;
  r = runCli({"--demo", "--demo-locked", "--no-log", "unlock", "1234"}, 40s);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "R5-12345 is unlocked")) << r.out;
  // The table is the demo's own, in the demo's folder; the user's settings do not name it.
  EXPECT_TRUE(std::filesystem::exists(dir / "cache" / "recdesk" / "demo" / "pin" / "demo-pin-table.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "config" / "recdesk" / "recdesk.ini") &&
               contains(readFile(dir / "config" / "recdesk" / "recdesk.ini"), "PinTable"));
}

TEST(CliUnlock, ASimulatorLockedWithoutATableUsesTheDemoTableItNames) {
  TempDir dir;
  prepareEnvironment(dir);
  Sim sim({"--locked", "2580"}, 60);
  ASSERT_FALSE(sim.path.empty()) << sim.process.err();
  const std::string table = (dir / "cache" / "recdesk" / "demo" / "pin" / "demo-pin-table.txt").string();
  CliRun r = cli(sim, {"unlock", "2580", "--pin-table", table});
  ASSERT_EQ(r.code, 0) << r.err << sim.process.err();
  EXPECT_TRUE(contains(r.out, "is unlocked")) << r.out;
  EXPECT_TRUE(contains(sim.process.err(), table)) << sim.process.err();
}
