#pragma once
// A small name list for the tests of scripts/name-texts.py.
namespace recdesk::lang {
enum class TextId : int {
  AppName = 146,
  DownloadComplete = 57894,
  NotConnected = 57762,
  LinkSpeed = 57922,
  Ghost = 57777,  // named, but the language file lacks it
};
}
