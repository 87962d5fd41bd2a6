#pragma once
// The picture buttons of the main window (play, pause, stop, recorder start and stop): an icon from
// the desktop's icon theme, else the bundled one; Qt greys it when the button is disabled.
#include <QToolButton>

namespace recdesk::gui {

// Makes the bundled icons (":/icons/...") available; any number of calls.
void registerBundledIcons();

class PlayerButton : public QToolButton {
  Q_OBJECT
 public:
  enum class Kind { Play, Pause, Stop, Record, RecordStop };
  PlayerButton(Kind kind, QWidget* parent = nullptr);
  Kind kind() const { return kind_; }
  // The theme icon's name and the bundled fallback's resource path.
  static const char* themeName(Kind kind);
  static const char* fallbackPath(Kind kind);

 private:
  Kind kind_;
};

}  // namespace recdesk::gui
