#include "controls/PlayerButton.h"

#include <QIcon>

// The bundled icons live in a static library: their registration is pulled in by hand.
static void initBundledIcons() {
  static const bool done = [] {
    Q_INIT_RESOURCE(icons);
    return true;
  }();
  (void)done;
}

namespace recdesk::gui {

void registerBundledIcons() { initBundledIcons(); }

const char* PlayerButton::themeName(Kind kind) {
  switch (kind) {
    case Kind::Play: return "media-playback-start";
    case Kind::Pause: return "media-playback-pause";
    case Kind::Stop: return "media-playback-stop";
    case Kind::Record: return "media-record";
    case Kind::RecordStop: return "media-playback-stop";
  }
  return "";
}

const char* PlayerButton::fallbackPath(Kind kind) {
  switch (kind) {
    case Kind::Play: return ":/icons/play.png";
    case Kind::Pause: return ":/icons/pause.png";
    case Kind::Stop: return ":/icons/stop.png";
    case Kind::Record: return ":/icons/record.png";
    case Kind::RecordStop: return ":/icons/stop.png";
  }
  return "";
}

PlayerButton::PlayerButton(Kind kind, QWidget* parent) : QToolButton(parent), kind_(kind) {
  registerBundledIcons();
  setIcon(QIcon::fromTheme(QString::fromLatin1(themeName(kind)), QIcon(QString::fromLatin1(fallbackPath(kind)))));
  setIconSize(QSize(22, 22));
  setAutoRaise(false);
  setMinimumSize(34, 30);
}

}  // namespace recdesk::gui
