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

IniDocument::Line IniDocument::classify(std::size_t start, std::size_t size, bool first) const {
  Line line;
  line.start = start;
  line.size = size;
  const std::string_view whole = raw(line);
  std::string_view t = whole;
  if (first && t.substr(0, kBom.size()) == kBom) t.remove_prefix(kBom.size());
  if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
  t = trim(t);
  const auto at = [&whole](std::string_view part) { return static_cast<std::size_t>(part.data() - whole.data()); };
  if (!t.empty()) {
    if (t.front() == '[') {
      const auto close = t.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        const auto sectionName = trim(t.substr(1, close - 1));
        line.kind = Kind::kSection;
        line.nameAt = at(sectionName);
        line.nameSize = sectionName.size();
        line.hash = nameHash(sectionName);
      }
    } else if (t.front() != ';' && t.front() != '#') {
      const auto eq = t.find('=');
      if (eq != std::string_view::npos) {
        const auto key = trim(t.substr(0, eq));
        if (!key.empty()) {
          const auto keyValue = trim(t.substr(eq + 1));
          line.kind = Kind::kKey;
          line.nameAt = at(key);
          line.nameSize = key.size();
          line.valueAt = at(keyValue);
          line.valueSize = keyValue.size();
          line.hash = nameHash(key);
        }
      }
    }
  }
  return line;
}

void IniDocument::parse(std::string_view text) {
  text_.assign(text.data(), text.size());
  parseText();
}

void IniDocument::parse(std::string&& text) {
  text_ = std::move(text);
  parseText();
}

void IniDocument::parseText() {
  lines_.clear();
  unused_ = 0;
  finalNewline_ = !text_.empty() && text_.back() == '\n';
  // One allocation for the lines instead of one per doubling, with room for the three lines that a
  // key in a new section adds.
  std::size_t count = 4;
  for (auto at = text_.find('\n'); at != std::string::npos; at = text_.find('\n', at + 1)) ++count;
  lines_.reserve(count);
  std::size_t start = 0;
  while (start < text_.size()) {
    auto end = text_.find('\n', start);
    if (end == std::string::npos) end = text_.size();
    lines_.push_back(classify(start, end - start, lines_.empty()));
    start = end + 1;
  }
  crlf_ = !lines_.empty() && !raw(lines_.front()).empty() && raw(lines_.front()).back() == '\r';
  indexSections();
}

// Links the section lines from each to the next, so that a look-up steps from section to section.
void IniDocument::indexSections() {
  std::size_t next = lines_.size();
  for (std::size_t i = lines_.size(); i-- > 0;) {
    if (lines_[i].kind != Kind::kSection) continue;
    lines_[i].nextSection = next;
    next = i;
  }
  firstSection_ = next;
}

std::string IniDocument::text() const {
  std::size_t total = 0;
  for (const auto& l : lines_) total += l.size + 1;
  std::string out;
  out.reserve(total);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    out += raw(lines_[i]);
    if (i + 1 < lines_.size() || finalNewline_) out += '\n';
  }
  return out;
}

std::optional<std::string_view> IniDocument::find(std::string_view section, std::string_view key) const {
  const std::uint32_t sectionHash = nameHash(section);
  const std::uint32_t keyHash = nameHash(key);
  // Only the lines of the section's parts are looked at, part by part in file order.
  for (std::size_t at = firstSection_; at < lines_.size(); at = lines_[at].nextSection) {
    const Line& header = lines_[at];
    if (header.hash != sectionHash || !sameName(name(header), section)) continue;
    for (std::size_t i = at + 1; i < header.nextSection; ++i) {
      const Line& l = lines_[i];
      if (l.kind == Kind::kKey && l.hash == keyHash && sameName(name(l), key)) return value(l);
    }
  }
  return std::nullopt;
}

std::vector<std::string> IniDocument::sectionNames() const {
  std::vector<std::string> names;
  for (std::size_t at = firstSection_; at < lines_.size(); at = lines_[at].nextSection) {
    const std::string_view n = name(lines_[at]);
    if (std::none_of(names.begin(), names.end(), [&](const std::string& known) { return sameName(known, n); }))
      names.emplace_back(n);
  }
  return names;
}

std::vector<std::string> IniDocument::keyNames(std::string_view section) const {
  std::vector<std::string> names;
  bool inSection = false;
  for (const auto& l : lines_) {
    if (l.kind == Kind::kSection) {
      inSection = sameName(name(l), section);
    } else if (inSection && l.kind == Kind::kKey &&
               std::none_of(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, name(l)); })) {
      names.emplace_back(name(l));
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

IniDocument::Line IniDocument::storeLine(const std::string& text, Kind kind, std::size_t nameAt, std::size_t nameSize,
                                         bool cr) {
  Line line;
  line.start = text_.size();
  text_ += text;
  if (cr) text_ += '\r';
  line.size = text_.size() - line.start;
  line.kind = kind;
  line.nameAt = nameAt;
  line.nameSize = nameSize;
  return line;
}

void IniDocument::dropUnused() {
  if (unused_ < 4096 || unused_ < text_.size() / 2) return;
  std::string kept;
  kept.reserve(text_.size() - std::min(unused_, text_.size()));
  for (auto& l : lines_) {
    const std::size_t start = kept.size();
    kept += raw(l);
    l.start = start;
  }
  text_ = std::move(kept);
  unused_ = 0;
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
    const Line& l = lines_[i];
    if (l.kind == Kind::kSection) {
      inSection = sameName(name(l), section);
      inFirstPart = inSection && !sectionFound;
      if (inFirstPart) {
        sectionFound = true;
        insertAt = i + 1;
      }
    } else if (inSection && l.kind == Kind::kKey) {
      if (sameName(name(l), key)) {
        // The line keeps the file's spelling of the name and its own line break.
        const bool cr = !raw(l).empty() && raw(l).back() == '\r';
        std::string text(name(l));
        text += '=';
        text += clean;
        Line replaced = storeLine(text, Kind::kKey, 0, l.nameSize, cr);
        replaced.valueAt = l.nameSize + 1;
        replaced.valueSize = clean.size();
        replaced.hash = l.hash;
        unused_ += l.size;
        lines_[i] = replaced;
        finalNewline_ = true;
        dropUnused();
        return true;
      }
      if (inFirstPart) insertAt = i + 1;
    }
  }

  Line added = storeLine(std::string(key) + "=" + clean, Kind::kKey, 0, key.size(), crlf_);
  added.valueAt = key.size() + 1;
  added.valueSize = clean.size();
  added.hash = nameHash(key);
  if (sectionFound) {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), added);
  } else {
    // A blank line separates the new section from what comes before it.
    if (!lines_.empty()) {
      std::string_view last = raw(lines_.back());
      if (!last.empty() && last.back() == '\r') last.remove_suffix(1);
      if (!trim(last).empty()) lines_.push_back(storeLine(std::string(), Kind::kOther, 0, 0, crlf_));
    }
    Line header = storeLine("[" + std::string(section) + "]", Kind::kSection, 1, section.size(), crlf_);
    header.hash = nameHash(section);
    lines_.push_back(header);
    lines_.push_back(added);
  }
  finalNewline_ = true;
  indexSections();
  return true;
}

bool IniDocument::removeKey(std::string_view section, std::string_view key) { return removeLines(section, key); }

bool IniDocument::removeSection(std::string_view section) { return removeLines(section, std::nullopt); }

bool IniDocument::removeLines(std::string_view section, std::optional<std::string_view> key) {
  bool inSection = false;
  bool removed = false;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::kSection) inSection = sameName(name(l), section);
    if (inSection && (!key || (l.kind == Kind::kKey && sameName(name(l), *key)))) {
      removed = true;
      unused_ += l.size;
      continue;
    }
    lines_[kept++] = l;
  }
  lines_.resize(kept);
  if (!removed) return false;
  finalNewline_ = true;
  indexSections();
  dropUnused();
  return true;
}

}  // namespace recdesk::app
