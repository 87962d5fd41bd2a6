#include "window/GuiSession.h"

#include <cstdlib>

#include "DemoPinTable.h"
#include "DemoRecorder.h"
#include "SimPassword.h"
#include "SimTimer.h"
#include "SimDownload.h"
#include "SimLink.h"
#include "SimMaintenance.h"
#include "lang/Strings.h"
#include "link/LinkTransport.h"

#include <QCoreApplication>
#include <QTimer>

namespace recdesk::gui {

GuiSession::GuiSession(const GuiOptions& options)
    : demo_(options.demo),
      file_(options.settingsFile.value_or(app::defaultSettingsPath())),
      log_(options.logFolder.value_or(link::CommsLog::defaultFolder())) {
  settings_ = app::loadSettings(file_).settings;
  storedPrefix_ = settings_.filePrefix;

  link::LinkTransport::ChannelFactory channels;
  if (demo_) {
    // The simulated recorder sits behind the FTDI adapter's port code, so the speed agreement runs
    // too. Its recordings go to the demo's own folders, never into the user's.
    settings_.port = static_cast<std::int16_t>(link::kModeFtdi);
    settings_.baud = 2000000;
    settings_.filePrefix.clear();
    std::error_code ec;
    settings_.downloadFolder = sim::demoFolder("download").string();
    settings_.decryptFolder = sim::demoFolder("decode").string();
    std::filesystem::create_directories(settings_.downloadFolder, ec);
    std::filesystem::create_directories(settings_.decryptFolder, ec);
    auto device = options.demoDevice;
    if (!device) {
      sim::DeviceConfig config;
      config.seed = 1;
      config.clockOffsetSeconds = options.demoClockOffset;
      config.model = sim::parseModel(options.demoModel).value_or(sim::Model::R5);
      device = sim::makeDemoRecorder(config, 3, options.fullDemo ? sim::demoLengthForPeople() : sim::DemoLength::shortOnes());
      sim::SimDownload::install(*device);
      // Format, scan and flash check take their time, as on a recorder, so their windows can be seen.
      sim::SimMaintenance::install(*device, {}, [](std::chrono::nanoseconds delay, std::function<void()> call) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(delay).count();
        QTimer::singleShot(static_cast<int>(ms), QCoreApplication::instance(), std::move(call));
      });
      // Locked with the demo PIN under the demo's invented table, which this run names as its PIN
      // table (in memory only: the user's settings file keeps its own).
      std::string error;
      if (options.demoLocked && sim::lockWithDemoPin(*device, sim::demoPinTableFile(), error))
        settings_.pinTable = sim::demoPinTableFile().string();
      sim::SimTimerOptions timer;
      timer.armed = options.demoTimerArmed;
      sim::SimTimer::install(*device, timer);
    }
    simLink_ = std::make_shared<sim::SimLink>(device);
    channels = simLink_->channelFactory();
  } else {
    channels = link::defaultChannelFactory(link::ChannelConfig{});
  }

  host_ = std::make_unique<session::Host>(loop_, std::move(channels), ui_, settings_);
  host_->setLogSink([this](const std::string& text) { log_.append(text); });
  host_->setSettingsWriter([this](const std::string& section, const std::string& key) {
    // The demo never changes the user's link settings.
    if (demo_ || section != app::keys::kOptions) return;
    if (key == app::keys::kPort || key == app::keys::kBaud) app::saveLink(file_, settings_.port, settings_.baud);
  });
  operations_ = std::make_unique<operations::DownloadSession>(*host_);
  operations_->listReplies().naming = operations::FileNaming{settings_.downloadFolder, settings_.decryptFolder,
                                                             settings_.filePrefix};
}

GuiSession::~GuiSession() {
  // The operations go before the host, the host before the loop and the log.
  operations_.reset();
  host_.reset();
}

bool GuiSession::saveMainWindow(bool placement) {
  app::Settings toSave = settings_;
  if (demo_) toSave.filePrefix = storedPrefix_;
  return app::saveMainWindow(file_, toSave, placement);
}

void GuiSession::start() {
  log_.append(lang::text(TextId::AppName) + " " + lang::text(TextId::AppStarted) + "\r\n");
  host_->connectAttempt();
}

void GuiSession::closeRequest() {
  if (closing_) return;
  closing_ = true;
  if (host_->flags().download) log_.append(" " + lang::text(TextId::StoppingAfterBlock) + "\r\n");
  // The session writes the closing line with the reset line; without a recorder it is ours.
  const bool sessionWritesIt = host_->flags().recorderConnected && host_->linkOpen();
  host_->shutdown(true);
  if (!sessionWritesIt)
    log_.append(lang::text(TextId::AppName) + " " + lang::text(TextId::LogClosed) + ".\r\n\r\n\r\n");
}

}  // namespace recdesk::gui
