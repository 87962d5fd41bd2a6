#include "lang/Strings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace recdesk::lang {
namespace {

// Renders one conversion with snprintf, after the argument was converted to the kind the conversion
// asks for. `flagsWidth` is the placeholder's flags, width and precision (no length modifier).
template <typename T>
void appendPrintf(std::string& out, const std::string& flagsWidth, char conversion, T value) {
  std::string fmt = "%" + flagsWidth;
  if constexpr (std::is_same_v<T, long long>) fmt += "ll";
  if constexpr (std::is_same_v<T, unsigned long long>) fmt += "ll";
  fmt += conversion;
  char small[128];
  const int n = std::snprintf(small, sizeof small, fmt.c_str(), value);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof small) {
    out.append(small, static_cast<std::size_t>(n));
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), fmt.c_str(), value);
  big.resize(static_cast<std::size_t>(n));
  out += big;
}

long long asSigned(const FormatArg::Value& v) {
  if (auto p = std::get_if<long long>(&v)) return *p;
  if (auto p = std::get_if<unsigned long long>(&v)) return static_cast<long long>(*p);
  if (auto p = std::get_if<double>(&v)) return static_cast<long long>(*p);
  long long parsed = 0;
  const auto& s = std::get<std::string>(v);
  std::from_chars(s.data(), s.data() + s.size(), parsed);
  return parsed;
}

unsigned long long asUnsigned(const FormatArg::Value& v) {
  if (auto p = std::get_if<unsigned long long>(&v)) return *p;
  return static_cast<unsigned long long>(asSigned(v));
}

double asDouble(const FormatArg::Value& v) {
  if (auto p = std::get_if<double>(&v)) return *p;
  if (auto p = std::get_if<long long>(&v)) return static_cast<double>(*p);
  if (auto p = std::get_if<unsigned long long>(&v)) return static_cast<double>(*p);
  try {
    return std::stod(std::get<std::string>(v));
  } catch (const std::exception&) {
    return 0.0;
  }
}

std::string asString(const FormatArg::Value& v) {
  if (auto p = std::get_if<std::string>(&v)) return *p;
  if (auto p = std::get_if<long long>(&v)) return std::to_string(*p);
  if (auto p = std::get_if<unsigned long long>(&v)) return std::to_string(*p);
  std::ostringstream s;
  s << std::get<double>(v);
  return s.str();
}

// A width or precision: the decimal number at `pos` (read past all its digits), capped at
// kMaxFieldWidth so that a width or precision in a text can never make a huge allocation.
constexpr unsigned long kMaxFieldWidth = 1024;
struct Field {
  bool given = false;
  unsigned long value = 0;
};
Field readBoundedNumber(std::string_view format, std::size_t& pos) {
  Field field;
  while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
    field.given = true;
    if (field.value <= kMaxFieldWidth) field.value = field.value * 10 + static_cast<unsigned long>(format[pos] - '0');
    ++pos;
  }
  field.value = std::min(field.value, kMaxFieldWidth);
  return field;
}

bool isFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }

// Length modifiers carry no meaning here (the argument's own kind decides): h hh l ll L q j z t, and
// the I64 / I32 / I forms that the recorder's file and line formats use ("%I64d").
void skipLengthModifier(std::string_view format, std::size_t& pos) {
  while (pos < format.size()) {
    switch (format[pos]) {
      case 'h':
      case 'l':
      case 'L':
      case 'q':
      case 'j':
      case 'z':
      case 't': ++pos; break;
      case 'I':
        ++pos;
        if (format.substr(pos, 2) == "64" || format.substr(pos, 2) == "32") pos += 2;
        break;
      default: return;
    }
  }
}

// The plain conversions that need no snprintf: "%s" without flags, width or precision, and whole
// numbers ("%d", "%u", "%ld", ...) with at most a zero flag and a width. They come out byte for byte as
// snprintf would write them.
void appendText(std::string& out, const FormatArg::Value& value) {
  if (const auto* p = std::get_if<std::string>(&value)) {
    out.append(p->c_str());  // as "%s" of the text: up to its first NUL byte
    return;
  }
  out.append(asString(value).c_str());
}

template <typename T>
void appendNumber(std::string& out, T value, bool zeroPad, std::size_t width) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const std::size_t size = static_cast<std::size_t>(end - digits);
  const std::size_t sign = digits[0] == '-' ? 1 : 0;
  const std::size_t pad = width > size ? width - size : 0;
  if (zeroPad) {
    out.append(digits, sign);  // the zeros go between the sign and the digits
    out.append(pad, '0');
    out.append(digits + sign, size - sign);
  } else {
    out.append(pad, ' ');
    out.append(digits, size);
  }
}

}  // namespace

std::string formatText(std::string_view format, std::span<const FormatArg> args) {
  // Room for the format and the texts it takes, so that the result is allocated once.
  std::size_t room = format.size() + 16;
  for (const auto& arg : args)
    if (const auto* p = std::get_if<std::string>(&arg.value())) room += p->size();
  std::string out;
  out.reserve(room);
  static const FormatArg::Value kNoArgument = std::string();
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < format.size()) {
    // The text up to the next '%' as it is.
    const std::size_t percent = format.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(format.substr(i));
      break;
    }
    out.append(format.substr(i, percent - i));
    i = percent;
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      i += 2;
      continue;
    }
    // %[flags][width][.precision][length]conversion
    std::size_t j = i + 1;
    std::string flagsText;
    std::size_t flags = 0;
    bool zeroFlagOnly = true;  // no flag but '0'
    while (j < format.size() && isFlag(format[j])) {
      if (format[j] != '0') zeroFlagOnly = false;
      if (flags++ < 5) flagsText += format[j];  // repeated flags mean nothing more
      ++j;
    }
    const Field width = readBoundedNumber(format, j);
    bool hasPrecision = false;
    Field precision;
    if (j < format.size() && format[j] == '.') {
      ++j;
      hasPrecision = true;
      precision = readBoundedNumber(format, j);
    }
    // snprintf's placeholder without the length modifier.
    const auto flagsWidth = [&] {
      std::string t = flagsText;
      if (width.given) t += std::to_string(width.value);
      if (hasPrecision) {
        t += '.';
        if (precision.given) t += std::to_string(precision.value);
      }
      return t;
    };
    // A plain conversion: at most a zero flag and a width.
    const bool plain = zeroFlagOnly && !hasPrecision;
    const std::size_t widthValue = width.given ? width.value : 0;
    skipLengthModifier(format, j);
    if (j >= format.size()) {  // a lone '%' at the end: keep it as text
      out.append(format.substr(i));
      break;
    }
    const char conversion = format[j];
    const FormatArg::Value& value = next < args.size() ? args[next].value() : kNoArgument;
    // A whole number: written here when plain, by snprintf otherwise.
    const auto wholeNumber = [&](auto number, char printfConversion) {
      if (plain)
        appendNumber(out, number, flags > 0, widthValue);
      else
        appendPrintf(out, flagsWidth(), printfConversion, number);
    };
    switch (conversion) {
      case 'd':
      case 'i':
        wholeNumber(asSigned(value), 'd');
        ++next;
        break;
      case 'u':
        wholeNumber(asUnsigned(value), 'u');
        ++next;
        break;
      case 'x':
      case 'X':
      case 'o':
        appendPrintf(out, flagsWidth(), conversion, asUnsigned(value));
        ++next;
        break;
      case 'c':
        appendPrintf(out, flagsWidth(), 'c', static_cast<int>(static_cast<unsigned char>(asSigned(value))));
        ++next;
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
        appendPrintf(out, flagsWidth(), conversion, asDouble(value));
        ++next;
        break;
      case 's': {
        if (flags == 0 && !width.given && !hasPrecision) {
          appendText(out, value);
        } else {
          const std::string s = asString(value);
          appendPrintf(out, flagsWidth(), 's', s.c_str());
        }
        ++next;
        break;
      }
      default:  // not a conversion we know: keep the text as it stands
        out.append(format.substr(i, j - i + 1));
        break;
    }
    i = j + 1;
  }
  return out;
}

void Strings::loadText(std::string_view text, std::vector<std::string>* problems) {
  std::size_t lineNumber = 0;
  std::size_t pos = 0;
  // Editors may save the file with a UTF-8 byte order mark; it is not part of the first entry.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  std::unordered_map<int, std::size_t> definedOn;  // number -> line of this text that set it
  auto problem = [&](const std::string& why) {
    if (problems) problems->push_back("line " + std::to_string(lineNumber) + ": " + why);
  };
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos || line[start] == '#') {
      if (end == text.size()) break;
      continue;
    }
    line.remove_prefix(start);
    const std::size_t eq = line.find('=');
    int id = 0;
    std::string_view number = eq == std::string_view::npos ? line : line.substr(0, eq);
    while (!number.empty() && (number.back() == ' ' || number.back() == '\t')) number.remove_suffix(1);
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), id);
    if (eq == std::string_view::npos || ec != std::errc() || ptr != number.data() + number.size() || id < 0 ||
        id > 65535) {
      problem("expected NUMBER=TEXT");
    } else {
      std::string value;
      const std::string_view raw = line.substr(eq + 1);
      value.reserve(raw.size());
      for (std::size_t k = 0; k < raw.size(); ++k) {
        if (raw[k] == '\\' && k + 1 < raw.size()) {
          const char e = raw[++k];
          switch (e) {
            case 'n': value += '\n'; break;
            case 'r': value += '\r'; break;
            case 't': value += '\t'; break;
            case '\\': value += '\\'; break;
            default:
              value += '\\';
              value += e;
              problem("unknown escape \\" + std::string(1, e));
          }
        } else {
          value += raw[k];
        }
      }
      const auto [seen, fresh] = definedOn.try_emplace(id, lineNumber);
      if (!fresh) {
        problem("number " + std::to_string(id) + " repeats line " + std::to_string(seen->second) +
                "; the later text is used");
        seen->second = lineNumber;
      }
      texts_[id] = std::move(value);
    }
    if (end == text.size()) break;
  }
}

bool Strings::loadFile(const std::filesystem::path& file, std::vector<std::string>* problems) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  // A language library is a few tens of kilobytes; anything far larger is not one (and is not read
  // into memory).
  std::string content;
  char chunk[8192];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    content.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (content.size() > kMaxFileSize) {
      if (problems) problems->push_back("file larger than " + std::to_string(kMaxFileSize) + " bytes");
      return false;
    }
  }
  if (in.bad()) return false;
  texts_.clear();
  loadText(content, problems);
  return true;
}

bool Strings::load(int id, std::string& out) const {
  const auto it = texts_.find(id);
  if (it == texts_.end()) {
    out.clear();
    return false;
  }
  out = it->second;
  return true;
}

std::string Strings::text(int id) const {
  const auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

std::string Strings::format(int id, std::initializer_list<FormatArg> args) const {
  return formatText(text(id), std::span<const FormatArg>(args.begin(), args.size()));
}

std::string Strings::format(int id, std::span<const FormatArg> args) const { return formatText(text(id), args); }

Strings& strings() {
  static Strings instance;
  return instance;
}

}  // namespace recdesk::lang
