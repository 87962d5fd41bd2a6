// Every text by name, every name in the language file.
constexpr int kBaudRate = 57600;
std::string c() { return lang::text(TextId::AppName) + lang::format(TextId::LinkSpeed, {57600}); }
