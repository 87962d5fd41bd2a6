#include "app/IniDocument.h"

#include <algorithm>

namespace recdesk::app {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// Equal for names that sameName() takes for the same.
std::uint32_t IniDocument::nameHash(std::string_view name) {
  std::uint32_t h = 2166136261u;  // FNV-1a of the lower-case bytes
  for (char c : name) h = (h ^ static_cast<unsigned char>(lower(c))) * 16777619u;
  return h;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

IniDocument::Line IniDocument::classify(std::string raw, bool first) {
  Line line;
  std::string_view t = raw;
  if (first && t.substr(0, kBom.size()) == kBom) t.remove_prefix(kBom.size());
  if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
  t = trim(t);
  if (!t.empty()) {
    if (t.front() == '[') {
      const auto close = t.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        line.kind = Kind::kSection;
        line.name = std::string(trim(t.substr(1, close - 1)));
        line.hash = nameHash(line.name);
      }
    } else if (t.front() != ';' && t.front() != '#') {
      const auto eq = t.find('=');
      if (eq != std::string_view::npos) {
        const auto key = trim(t.substr(0, eq));
        if (!key.empty()) {
          line.kind = Kind::kKey;
          line.name = std::string(key);
          line.value = std::string(trim(t.substr(eq + 1)));
          line.hash = nameHash(line.name);
        }
      }
    }
  }
  line.raw = std::move(raw);
  return line;
}

void IniDocument::parse(std::string_view text) {
  lines_.clear();
  finalNewline_ = !text.empty() && text.back() == '\n';
  // One allocation for the lines instead of one per doubling.
  lines_.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines_.push_back(classify(std::string(text.substr(start, end - start)), lines_.empty()));
    start = end + 1;
  }
  crlf_ = !lines_.empty() && !lines_.front().raw.empty() && lines_.front().raw.back() == '\r';
}

std::string IniDocument::text() const {
  std::size_t total = 0;
  for (const auto& l : lines_) total += l.raw.size() + 1;
  std::string out;
  out.reserve(total);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].raw;
    if (i + 1 < lines_.size() || finalNewline_) out += '\n';
  }
  return out;
}

const std::string* IniDocument::find(std::string_view section, std::string_view key) const {
  const std::uint32_t sectionHash = nameHash(section);
  const std::uint32_t keyHash = nameHash(key);
  bool inSection = false;
  for (const auto& l : lines_) {
    if (l.kind == Kind::kSection) {
      inSection = l.hash == sectionHash && sameName(l.name, section);
    } else if (inSection && l.kind == Kind::kKey && l.hash == keyHash && sameName(l.name, key)) {
      return &l.value;
    }
  }
  return nullptr;
}

std::vector<std::string> IniDocument::sectionNames() const {
  std::vector<std::string> names;
  for (const auto& l : lines_) {
    if (l.kind != Kind::kSection) continue;
    if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, l.name); }))
      names.push_back(l.name);
  }
  return names;
}

std::vector<std::string> IniDocument::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  bool inSection = false;
  for (const auto& l : lines_) {
    if (l.kind == Kind::kSection) {
      inSection = sameName(l.name, section);
    } else if (inSection && l.kind == Kind::kKey &&
               std::none_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, l.name); })) {
      names.push_back(l.name);
    }
  }
  return names;
}

bool IniDocument::validSectionName(std::string_view section) {
  const auto t = trim(section);
  if (t.empty()) return false;
  return t.find_first_of(std::string_view("]\r\n\0", 4)) == std::string_view::npos;
}

bool IniDocument::validKeyName(std::string_view key) {
  const auto t = trim(key);
  if (t.empty() || t.front() == '[' || t.front() == ';' || t.front() == '#') return false;
  return t.find_first_of(std::string_view("=\r\n\0", 4)) == std::string_view::npos;
}

std::string IniDocument::newLine(std::string text) const {
  if (crlf_) text += '\r';
  return text;
}

bool IniDocument::set(std::string_view section, std::string_view key, std::string_view value) {
  if (!validSectionName(section) || !validKeyName(key)) return false;
  section = trim(section);
  key = trim(key);
  std::string clean(trim(value));
  for (auto& c : clean)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  clean = std::string(trim(clean));

  bool inSection = false;
  bool inFirstPart = false;  // new keys go to the end of the section's first part
  std::size_t insertAt = lines_.size();
  bool sectionFound = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto& l = lines_[i];
    if (l.kind == Kind::kSection) {
      inSection = sameName(l.name, section);
      inFirstPart = inSection && !sectionFound;
      if (inFirstPart) {
        sectionFound = true;
        insertAt = i + 1;
      }
    } else if (inSection && l.kind == Kind::kKey) {
      if (sameName(l.name, key)) {
        const bool cr = !l.raw.empty() && l.raw.back() == '\r';
        l.raw = l.name + "=" + clean + (cr ? "\r" : "");
        l.value = clean;
        finalNewline_ = true;
        return true;
      }
      if (inFirstPart) insertAt = i + 1;
    }
  }

  Line added;
  added.kind = Kind::kKey;
  added.name = std::string(key);
  added.value = clean;
  added.hash = nameHash(added.name);
  added.raw = newLine(added.name + "=" + clean);
  if (sectionFound) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(added));
  } else {
    // A blank line separates the new section from what comes before it.
    if (!lines_.empty()) {
      std::string_view last = lines_.back().raw;
      if (!last.empty() && last.back() == '\r') last.remove_suffix(1);
      if (!trim(last).empty()) lines_.push_back(Line{newLine(""), Kind::kOther, {}, {}, 0});
    }
    Line header;
    header.kind = Kind::kSection;
    header.name = std::string(section);
    header.hash = nameHash(header.name);
    header.raw = newLine("[" + header.name + "]");
    lines_.push_back(std::move(header));
    lines_.push_back(std::move(added));
  }
  finalNewline_ = true;
  return true;
}

bool IniDocument::removeKey(std::string_view section, std::string_view key) {
  bool inSection = false;
  bool removed = false;
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  for (auto& l : lines_) {
    if (l.kind == Kind::kSection) inSection = sameName(l.name, section);
    if (inSection && l.kind == Kind::kKey && sameName(l.name, key)) {
      removed = true;
      continue;
    }
    kept.push_back(std::move(l));
  }
  lines_ = std::move(kept);
  if (removed) finalNewline_ = true;
  return removed;
}

bool IniDocument::removeSection(std::string_view section) {
  bool inSection = false;
  bool removed = false;
  std::vector<Line> kept;
  kept.reserve(lines_.size());
  for (auto& l : lines_) {
    if (l.kind == Kind::kSection) inSection = sameName(l.name, section);
    if (inSection) {
      removed = true;
      continue;
    }
    kept.push_back(std::move(l));
  }
  lines_ = std::move(kept);
  if (removed) finalNewline_ = true;
  return removed;
}

}  // namespace recdesk::app
