// The queries that follow the recording list (type, flash, free space, clock): while one awaits its
// answer the session says so and the commands that talk to the recorder wait, since a line sent now
// would drop that answer (a line purges what waits) and the chain would never finish. A query the
// recorder leaves unanswered ends with the keep-alive ping, and the commands are free again.
#include <gtest/gtest.h>

#include "SessionRig.h"
#include "app/Enabling.h"

using namespace recdesk;
using namespace recdesk::test;
using namespace std::chrono_literals;

namespace {
app::EnabledSet enablingOf(const session::SessionState& s) {
  app::EnablingSession e;
  e.running = s.running;
  e.connected = s.connected;
  e.querying = s.querying;
  e.recordingsSelected = true;
  return app::enabledControls(e, {}, app::Restrictions{});
}
}  // namespace

TEST(SessionScenario, RecorderCommandsWaitForTheQueriesAfterTheList) {
  Rig rig;
  rig.host->connectAttempt();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().listComplete; }, 30s)) << rig.logText();
  ASSERT_FALSE(rig.host->info().chainComplete);
  EXPECT_TRUE(rig.host->state().querying);
  app::EnabledSet e = enablingOf(rig.host->state());
  EXPECT_FALSE(e[app::Control::DownloadButton]);
  EXPECT_FALSE(e[app::Control::DownloadCmd]);
  EXPECT_FALSE(e[app::Control::ReadList]);
  EXPECT_FALSE(e[app::Control::FormatButton]);
  EXPECT_TRUE(e[app::Control::RecordingList]);  // the list can be worked with meanwhile
  EXPECT_TRUE(e[app::Control::Convert]);

  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().chainComplete; }, 10s)) << rig.logText();
  EXPECT_FALSE(rig.host->state().querying);
  e = enablingOf(rig.host->state());
  EXPECT_TRUE(e[app::Control::DownloadButton]);
  EXPECT_TRUE(e[app::Control::ReadList]);
  EXPECT_TRUE(rig.host->info().typeKnown && rig.host->info().freeKnown);
}

TEST(SessionScenario, AnUnansweredQueryEndsWithTheKeepAlivePing) {
  Rig rig;
  rig.device->addCommand("TYP", [](sim::SimRecorder&, const std::string&, const std::vector<std::string>&) {});
  rig.host->connectAttempt();
  ASSERT_TRUE(rig.loop.runUntil([&] { return rig.host->info().listComplete; }, 30s)) << rig.logText();
  EXPECT_TRUE(rig.host->state().querying);
  const std::size_t sent = rig.linesSent().size();
  ASSERT_TRUE(rig.loop.runUntil([&] { return !rig.host->state().querying; }, 3s)) << rig.logText();
  ASSERT_TRUE(rig.settle());
  const auto lines = rig.linesSent();
  EXPECT_NE(std::find(lines.begin() + static_cast<std::ptrdiff_t>(sent), lines.end(), "$R5,PING\r\n"), lines.end());
  EXPECT_FALSE(rig.host->info().chainComplete);
  EXPECT_TRUE(rig.host->flags().recorderConnected);
  EXPECT_TRUE(enablingOf(rig.host->state())[app::Control::DownloadButton]);
}
