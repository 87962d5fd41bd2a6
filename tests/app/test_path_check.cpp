#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "app/PathCheck.h"

using recdesk::app::checkFolderPath;
using recdesk::app::PathProblem;

TEST(PathCheck, AcceptsOrdinaryAbsolutePaths) {
  for (const char* p : {"/", "/home/me/Recordings", "/home/me/Rec 2006/", "/media/usb/.hidden", "/a/b.c/d."})
    EXPECT_TRUE(checkFolderPath(p).ok()) << p;
}

TEST(PathCheck, RefusesEachMalformedShapeAndNamesTheComponent) {
  struct Case {
    const char* path;
    PathProblem problem;
    std::size_t component;
  };
  const Case cases[] = {
      {"", PathProblem::NotAbsolute, 0},
      {"home/me", PathProblem::NotAbsolute, 0},
      {"/home//me", PathProblem::EmptyComponent, 1},
      {"/home/me//", PathProblem::EmptyComponent, 2},
      {"/home/../etc", PathProblem::DotComponent, 1},
      {"/home/./x", PathProblem::DotComponent, 1},
      {"/home/ me", PathProblem::BlankAtEdge, 1},
      {"/home/me\t/x", PathProblem::BlankAtEdge, 1},
      {"/home/a\nb", PathProblem::ControlCharacter, 1},
      {"/x\x7f", PathProblem::ControlCharacter, 0},
  };
  for (const auto& c : cases) {
    const auto r = checkFolderPath(c.path);
    EXPECT_EQ(r.problem, c.problem) << c.path;
    EXPECT_EQ(r.component, c.component) << c.path;
  }
  EXPECT_EQ(checkFolderPath("/" + std::string(5000, 'a')).problem, PathProblem::TooLong);
}

TEST(PathCheck, CreatesMissingFoldersAndReportsTheOneInTheWay) {
  recdesk::test::TempDir dir;
  std::filesystem::path failed;
  EXPECT_TRUE(recdesk::app::createFolders(dir / "a/b/c", failed));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c"));
  EXPECT_TRUE(recdesk::app::createFolders(dir / "a/b/c", failed));  // already there

  std::ofstream(dir / "file") << "x";
  EXPECT_FALSE(recdesk::app::createFolders(dir / "file/sub", failed));
  EXPECT_EQ(failed, dir / "file");
}
