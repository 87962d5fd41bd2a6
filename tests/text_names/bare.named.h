// Bare text numbers where the program fetches its texts, and numbers that are no texts.
#include <string>
// text 146 in a comment stays as it is
constexpr int kAppNameText = TextId::AppName;
constexpr int kBaudRate = 57600;
const char* kQuoted = "57894";
char buffer[128];
const int kTable[] = {136, 140, 143, 147};
std::string f(bool done) {
  logEvent(TextId::NotConnected);
  log(lang::text(TextId::AppName) + lang::format(TextId::LinkSpeed, {3000000}));
  return lang::text(done ? TextId::DownloadComplete : TextId::NotConnected) + lang::text(TextId::LinkSpeed);
}
bool g(int p) { return p == 128 || lang::strings().has(TextId::DownloadComplete); }
