// Names a text that the language file lacks.
std::string m() { return lang::text(TextId::AppName) + lang::text(TextId::Ghost); }
