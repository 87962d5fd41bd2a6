#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "MemoryFileStore.h"
#include "TestSupport.h"
#include "app/IniDocument.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"

using recdesk::app::IniDocument;
using recdesk::app::SaveStep;
using recdesk::app::SettingsFile;
using recdesk::test::readFile;
using recdesk::test::TempDir;
using recdesk::test::writeFile;

TEST(IniDocument, LooksUpSectionsAndKeysWithoutRegardToCase) {
  const IniDocument doc(
      "[Options]\r\n"
      "  Port =  1000  \r\n"
      "ProfileIni=\r\n"
      "[Device Profiles for R5]\r\n"
      "NumProfiles=2\r\n"
      "[ options ]\r\n"
      "Baud=115200\r\n"
      "port=7\r\n");
  ASSERT_TRUE(doc.find("OPTIONS", "port"));
  EXPECT_EQ(*doc.find("OPTIONS", "port"), "1000");  // the first part of a repeated section wins
  EXPECT_EQ(*doc.find("options", "BAUD"), "115200");
  EXPECT_EQ(*doc.find("device profiles for r5", "numprofiles"), "2");
  ASSERT_TRUE(doc.find("Options", "ProfileIni"));
  EXPECT_EQ(*doc.find("Options", "ProfileIni"), "");  // present but empty
  EXPECT_FALSE(doc.find("Options", "Missing"));
  EXPECT_FALSE(doc.find("Device Profiles", "NumProfiles"));
  EXPECT_EQ(doc.sectionNames(), (std::vector<std::string>{"Options", "Device Profiles for R5"}));
  EXPECT_EQ(doc.keyNames("options"), (std::vector<std::string>{"Port", "ProfileIni", "Baud"}));
}

TEST(IniDocument, DamagedTextNeverStopsTheReadableKeys) {
  std::string text = "Orphan=1\n[Options\ngarbage without equals\n=novalue\n;Port=5\n[Options]\n";
  text += std::string("\0\x01\xff\xfe=bin\n", 9);
  text += "Huge=" + std::string(1 << 20, 'x') + "\n";
  text += "\xEF\xBB\xBFNotFirst=1\n";
  text += "Port=12abc";  // no final line break
  const IniDocument doc(text);
  EXPECT_FALSE(doc.find("Options", "Orphan"));
  EXPECT_FALSE(doc.find("Options", ";Port"));
  EXPECT_EQ(*doc.find("Options", "Port"), "12abc");
  EXPECT_EQ(doc.find("Options", "Huge")->size(), 1u << 20);
  EXPECT_EQ(doc.text(), text);  // nothing is lost when it is written back unchanged

  const IniDocument bom("\xEF\xBB\xBF[Options]\nPort=3\n");
  EXPECT_EQ(*bom.find("Options", "Port"), "3");
}

TEST(IniDocument, ChangingOneKeyKeepsEverythingElse) {
  const std::string original =
      "; written by hand\r\n"
      "[Options]\r\n"
      "Port=1\r\n"
      "Unknown = keep me \r\n"
      "\r\n"
      "[MainWindow]\r\n"
      "Left=5\r\n"
      "strange line\r\n";
  IniDocument doc(original);
  ASSERT_TRUE(doc.set("OPTIONS", "port", "1000"));
  ASSERT_TRUE(doc.set("Options", "Baud", "115200"));
  ASSERT_TRUE(doc.set("CommsLog", "Display", "1"));
  EXPECT_EQ(doc.text(),
            "; written by hand\r\n"
            "[Options]\r\n"
            "Port=1000\r\n"
            "Unknown = keep me \r\n"
            "Baud=115200\r\n"
            "\r\n"
            "[MainWindow]\r\n"
            "Left=5\r\n"
            "strange line\r\n"
            "\r\n"
            "[CommsLog]\r\n"
            "Display=1\r\n");

  // A value can never start a new line or section; names that could not be read back are refused.
  IniDocument plain("[A]\nx=1");
  ASSERT_TRUE(plain.set("A", "y", "evil\n[Options]\nPort=5"));
  EXPECT_EQ(plain.text(), "[A]\nx=1\ny=evil [Options] Port=5\n");
  EXPECT_FALSE(plain.find("Options", "Port"));
  EXPECT_FALSE(plain.set("A]", "k", "v"));
  EXPECT_FALSE(plain.set("A", "k=v", "v"));
  EXPECT_FALSE(plain.set("", "k", "v"));
  EXPECT_FALSE(plain.set("A", ";k", "v"));

  EXPECT_TRUE(plain.removeKey("a", "X"));
  EXPECT_TRUE(plain.removeSection("A"));
  EXPECT_EQ(plain.text(), "");
}

// Replaced lines leave their old text behind until its room is given back: through many changes every
// line keeps its text, in its place.
TEST(IniDocument, ManyChangesKeepEveryLine) {
  IniDocument doc("; top\r\n[A]\r\nk=1\r\nother = x \r\n[B]\r\nb=2\r\n");
  std::vector<std::string> added(7);
  std::string last;
  for (int i = 0; i < 300; ++i) {
    last = std::string(100 + i % 50, static_cast<char>('a' + i % 26));
    ASSERT_TRUE(doc.set("A", "k", last));
    added[i % 7] = std::to_string(i);
    ASSERT_TRUE(doc.set("b", "n" + std::to_string(i % 7), added[i % 7]));
    if (i % 40 == 39) {
      ASSERT_TRUE(doc.removeKey("B", "n6"));
      added[6].clear();
    }
  }
  std::string expected = "; top\r\n[A]\r\nk=" + last + "\r\nother = x \r\n[B]\r\nb=2\r\n";
  for (std::size_t n = 0; n < added.size(); ++n)
    if (!added[n].empty()) expected += "n" + std::to_string(n) + "=" + added[n] + "\r\n";
  EXPECT_EQ(doc.text(), expected);
  EXPECT_EQ(*doc.find("a", "K"), last);
  EXPECT_EQ(*doc.find("A", "other"), "x");
  EXPECT_EQ(*doc.find("B", "n3"), added[3]);
  const IniDocument copy = doc;
  EXPECT_EQ(copy.text(), expected);
}

// Look-ups compare name hashes before names: they answer as a walk through the lines from the top
// would, also for repeated sections and keys in any case and after every kind of change.
TEST(IniDocument, LookUpsAnswerAsAWalkThroughTheLines) {
  const std::vector<std::string> sections{"A", "a", "B", "A b", "ab", "", "[A]"};
  const std::vector<std::string> keys{"k", "K", "k2", "kk", "x", "=", ";k"};
  // The key's value for the first line of the section's parts that names it (the reference).
  const auto walk = [](const std::string& text, const std::string& section, const std::string& key) {
    std::optional<std::string> found;
    bool inSection = false;
    std::size_t start = 0;
    while (!found && start < text.size()) {
      const auto end = std::min(text.find('\n', start), text.size());
      const std::string line = text.substr(start, end - start);
      start = end + 1;
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        inSection = recdesk::app::sameName(line.substr(1, line.size() - 2), section);
      } else if (inSection && recdesk::app::sameName(line.substr(0, line.find('=')), key)) {
        found = line.substr(line.find('=') + 1);
      }
    }
    return found;
  };
  std::uint32_t seed = 1;
  const auto next = [&seed](std::size_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  for (int round = 0; round < 200; ++round) {
    std::string text = next(3) == 0 ? "k=before any section\n" : "";
    const std::size_t lines = next(12);
    for (std::size_t i = 0; i < lines; ++i) {
      if (next(3) == 0)
        text += "[" + sections[next(5)] + "]\n";
      else
        text += keys[next(5)] + "=" + std::to_string(i) + "\n";
    }
    const auto check = [&](const IniDocument& doc) {
      for (const auto& section : sections)
        for (const auto& key : keys) {
          const auto value = doc.find(section, key);
          const auto expected = walk(doc.text(), section, key);
          ASSERT_EQ(value.has_value(), expected.has_value()) << doc.text() << section << "/" << key;
          if (value) {
            EXPECT_EQ(*value, *expected) << doc.text() << section << "/" << key;
          }
        }
    };
    IniDocument doc(text);
    for (int change = 0; change < 3; ++change) {
      check(doc);
      // A change between look-ups: a new or replaced key, a removed key, a removed section. A copy
      // taken before it still answers for its own lines.
      const IniDocument before = doc;
      switch (next(3)) {
        case 0: doc.set(sections[next(5)], keys[next(5)], "new"); break;
        case 1: doc.removeKey(sections[next(5)], keys[next(5)]); break;
        default: doc.removeSection(sections[next(5)]); break;
      }
      check(before);
    }
    check(doc);
  }
}

TEST(SettingsFile, ReadsAnIntegerAndWhetherItHoldsNoneInOneLookUp) {
  recdesk::test::MemoryFileStore store;
  store.put("/s.ini", "[Options]\nA=12abc\nB=abc\nC=\n");
  SettingsFile f("/s.ini", store);
  bool noInteger = true;
  EXPECT_EQ(f.readInt("Options", "A", 5, noInteger), 12);
  EXPECT_FALSE(noInteger);
  EXPECT_EQ(f.readInt("Options", "B", 5, noInteger), 0);
  EXPECT_TRUE(noInteger);
  EXPECT_EQ(f.readInt("Options", "C", 5, noInteger), 0);
  EXPECT_TRUE(noInteger);
  EXPECT_EQ(f.readInt("Options", "Z", 5, noInteger), 5);
  EXPECT_FALSE(noInteger);  // missing is not damaged

  // The settings loaded note exactly the damaged keys.
  store.put("/s.ini", "[Options]\nPort=x\nBaud=115200\n[CommsLog]\nLeft=\nTop=7\n");
  const auto loaded = recdesk::app::loadSettings(f);
  EXPECT_EQ(loaded.noIntegers, (std::vector<std::string>{"Options.Port", "CommsLog.Left"}));
}

TEST(SettingsFile, AWriteKeepsWhatAnotherWriterPutInBetweenEvenWithTheSameText) {
  // Each write reads the file again; a text equal to the one read before keeps the document read then.
  recdesk::test::MemoryFileStore store;
  store.put("/s.ini", "[A]\nk=1\n");
  SettingsFile f("/s.ini", store);
  EXPECT_EQ(f.readInt("A", "k", 0), 1);
  store.put("/s.ini", "[A]\nk=1\n");  // rewritten, unchanged
  ASSERT_TRUE(f.writeInt("A", "j", 2));
  EXPECT_EQ(store.content("/s.ini"), "[A]\nk=1\nj=2\n");
  store.put("/s.ini", "[A]\nk=3\nj=2\n");  // another writer, same size
  ASSERT_TRUE(f.writeInt("B", "m", 4));
  EXPECT_EQ(store.content("/s.ini"), "[A]\nk=3\nj=2\n\n[B]\nm=4\n");
  EXPECT_EQ(f.readInt("A", "k", 0), 3);
  store.put("/s.ini", "");  // emptied, then removed
  EXPECT_EQ(f.readInt("A", "k", 9), 9);
  ASSERT_TRUE(f.writeInt("A", "k", 5));
  EXPECT_EQ(store.content("/s.ini"), "[A]\nk=5\n");
}

TEST(SettingsFile, ReadsWithDefaultsAndPrivateProfileIntegers) {
  TempDir dir;
  SettingsFile missing(dir / "none.ini");
  EXPECT_EQ(missing.readInt("Options", "Port", 0), 0);
  EXPECT_EQ(missing.readText("Options", "ProfileIni", "NOINIT"), "NOINIT");
  EXPECT_TRUE(missing.readProblem().empty());

  writeFile(dir / "s.ini",
            "[Options]\nA=-1\nB=65535\nC=12abc\nD=abc\nE=\nF=+7\nG=99999999999999999999999\nH=-99999999999999999999999\n");
  SettingsFile f(dir / "s.ini");
  EXPECT_EQ(f.readInt("Options", "A", 5), -1);
  EXPECT_EQ(f.readInt("Options", "B", 5), 65535);
  EXPECT_EQ(f.readInt("Options", "C", 5), 12);
  // No leading digit, or nothing at all: no integer, read as 0 and never taken for the default.
  EXPECT_EQ(f.readInt("Options", "D", 5), 0);
  EXPECT_EQ(f.readInt("Options", "E", 5), 0);
  EXPECT_TRUE(f.holdsNoInteger("Options", "D"));
  EXPECT_TRUE(f.holdsNoInteger("Options", "E"));
  EXPECT_FALSE(f.holdsNoInteger("Options", "C"));
  EXPECT_FALSE(f.holdsNoInteger("Options", "Z"));  // missing is not damaged
  EXPECT_EQ(f.readInt("Options", "F", 5), 7);
  EXPECT_EQ(f.readInt("Options", "G", 5), INT64_MAX);
  EXPECT_EQ(f.readInt("Options", "H", 5), INT64_MIN);
  EXPECT_EQ(f.readInt("Options", "Z", 5), 5);

  // Changes made on the disk by someone else are seen, and are kept by the next write.
  writeFile(dir / "s.ini", "[Options]\nA=2\n[Device Profiles]\nNumProfiles=1\n");
  EXPECT_EQ(f.readInt("options", "a", 0), 2);
  writeFile(dir / "s.ini", "[Options]\nA=3\n[Device Profiles]\nNumProfiles=4\n");
  ASSERT_TRUE(f.writeInt("Options", "Port", 1000));
  EXPECT_EQ(readFile(dir / "s.ini"), "[Options]\nA=3\nPort=1000\n[Device Profiles]\nNumProfiles=4\n");
}

TEST(SettingsFile, FailedSaveLeavesTheOldFileWholeAndSaysSo) {
  TempDir dir;
  const auto path = dir / "recdesk.ini";
  const std::string original = "[Options]\nPort=3\nBaud=115200\n";
  writeFile(path, original);
  SettingsFile f(path);

  for (SaveStep failing : {SaveStep::kCreateTemp, SaveStep::kWrite, SaveStep::kSync, SaveStep::kRename}) {
    f.setFaultHook([failing](SaveStep step) { return step == failing ? ENOSPC : 0; });
    std::string error;
    EXPECT_FALSE(f.write({{"Options", "Port", "1000"}, {"Options", "Baud", "1000000"}}, &error));
    EXPECT_NE(error.find(path.string()), std::string::npos) << error;
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(f.readInt("Options", "Port", 0), 3);  // memory follows the disk, not the failed write
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  }
  f.setFaultHook({});
  // A name that could not be read back refuses the whole write, also the changes before it.
  EXPECT_FALSE(f.write({{"Options", "Port", "7"}, {"Options", "k=v", "1"}}));
  EXPECT_EQ(f.readInt("Options", "Port", 0), 3);
  EXPECT_EQ(readFile(path), original);
  EXPECT_TRUE(f.write({{"Options", "Port", "1000"}, {"Options", "Baud", "1000000"}}));
  EXPECT_EQ(readFile(path), "[Options]\nPort=1000\nBaud=1000000\n");
}

TEST(SettingsFile, NewFilesArePrivateAndFoldersAreCreated) {
  TempDir dir;
  const auto path = dir / "sub" / "folder" / "recdesk.ini";
  SettingsFile f(path);
  ASSERT_TRUE(f.writeText("Options", "RPW", "secret"));
  EXPECT_EQ(readFile(path), "[Options]\nRPW=secret\n");
  const auto perms = std::filesystem::status(path).permissions();
  EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);

  // A symbolic link keeps pointing at the file it names.
  std::filesystem::create_symlink(path, dir / "link.ini");
  SettingsFile viaLink(dir / "link.ini");
  ASSERT_TRUE(viaLink.writeInt("Options", "Port", 2));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
  EXPECT_EQ(readFile(path), "[Options]\nRPW=secret\nPort=2\n");
}

TEST(SettingsFile, OversizedOrUnreadableFilesAreNeverOverwritten) {
  TempDir dir;
  const auto path = dir / "big.ini";
  std::string big = "[Options]\nPort=4\n" + std::string(SettingsFile::kMaxFileSize, ';') + "\n[Late]\nKey=1\n";
  writeFile(path, big);
  SettingsFile f(path);
  EXPECT_EQ(f.readInt("Options", "Port", 0), 4);
  EXPECT_FALSE(f.readProblem().empty());
  std::string error;
  EXPECT_FALSE(f.writeInt("Options", "Port", 1000, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(std::filesystem::file_size(path), big.size());

  std::filesystem::create_directory(dir / "folder.ini");
  SettingsFile folder(dir / "folder.ini");
  EXPECT_EQ(folder.readText("Options", "ProfileIni", "NOINIT"), "NOINIT");
  EXPECT_FALSE(folder.writeInt("Options", "Port", 1));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.ini"));
}

TEST(SettingsFile, KeptInMemoryItEndsAsOnTheDisk) {
  // The same file, loaded with its repairs and then changed, on the disk and in memory.
  const std::string original =
      "; kept by hand\r\n[Options]\r\nPort=-1\r\nBaud=12345\r\n[MainWindow]\r\nFilePrefix=rec\r\nbroken line\r\n";
  TempDir dir;
  writeFile(dir / "s.ini", original);
  recdesk::test::MemoryFileStore store;
  const std::string inMemory = (dir / "memory" / "s.ini").string();
  store.put(inMemory, original);
  SettingsFile disk(dir / "s.ini");
  SettingsFile memory(inMemory, store);
  for (SettingsFile* f : {&disk, &memory}) {
    (void)recdesk::app::loadSettings(*f);
    ASSERT_TRUE(f->writeText("Options", "RPW", "x"));
    ASSERT_TRUE(f->removeKey("MainWindow", "FilePrefix"));
  }
  EXPECT_NE(readFile(dir / "s.ini"), original);  // repaired and changed
  EXPECT_EQ(store.content(inMemory), readFile(dir / "s.ini"));
  EXPECT_FALSE(std::filesystem::exists(dir / "memory"));

  // A change by another writer is seen, even one of the same size; a failed save changes nothing.
  store.put(inMemory, "[A]\nk=1\n");
  EXPECT_EQ(memory.readInt("A", "k", 0), 1);
  store.put(inMemory, "[A]\nk=2\n");
  EXPECT_EQ(memory.readInt("A", "k", 0), 2);
  memory.setFaultHook([](SaveStep step) { return step == SaveStep::kRename ? ENOSPC : 0; });
  std::string error;
  EXPECT_FALSE(memory.writeInt("A", "k", 3, &error));
  EXPECT_NE(error.find(inMemory), std::string::npos) << error;
  EXPECT_EQ(store.content(inMemory), "[A]\nk=2\n");
  EXPECT_EQ(memory.readInt("A", "k", 0), 2);
}
