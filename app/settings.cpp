#include "app/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r\n\f\v";
  const auto b = s.find_first_not_of(blanks);
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(blanks);
  return s.substr(b, e - b + 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<std::int32_t> ParseIniInteger(const std::string& input) {
  const std::string text = Trim(input);
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const int d = DigitValue(text[i]);
    if (d < 0 || d >= base) return std::nullopt;
    magnitude = magnitude * base + static_cast<std::uint64_t>(d);
    if (magnitude > 0xFFFFFFFFull) return std::nullopt;
  }
  if (base == 16) {
    // Hexadecimal texts name the 32 bits themselves: $FFFFFFFF is -1.
    std::int64_t v = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    if (negative) v = -v;
    if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(v);
  }
  const std::int64_t v = negative ? -static_cast<std::int64_t>(magnitude)
                                  : static_cast<std::int64_t>(magnitude);
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

TIniText TIniText::Parse(const std::string& text) {
  TIniText ini;
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = Trim(raw);
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      ini.sections_.push_back({Trim(line.substr(1, line.size() - 2)), {}});
      continue;
    }
    // Lines in front of the first section belong to a nameless one, kept as they are.
    if (ini.sections_.empty()) ini.sections_.push_back({std::string(), {}});
    Line entry;
    entry.raw = raw;
    const auto eq = line.find('=');
    if (line.front() != ';' && eq != std::string::npos && eq > 0) {
      entry.key = Trim(line.substr(0, eq));
      entry.value = Trim(line.substr(eq + 1));
    }
    ini.sections_.back().lines.push_back(std::move(entry));
  }
  return ini;
}

std::string TIniText::Compose() const {
  std::string out;
  for (const Section& s : sections_) {
    if (!s.name.empty()) out += "[" + s.name + "]\n";
    for (const Line& l : s.lines) {
      if (l.key.empty())
        out += l.raw + "\n";
      else
        out += l.key + "=" + l.value + "\n";
    }
    out += "\n";
  }
  return out;
}

bool TIniText::HasSection(const std::string& section) const {
  for (const Section& s : sections_)
    if (!s.name.empty() && SameName(s.name, section)) return true;
  return false;
}

std::optional<std::string> TIniText::ReadString(const std::string& section,
                                                const std::string& key) const {
  for (const Section& s : sections_) {
    if (s.name.empty() || !SameName(s.name, section)) continue;
    for (const Line& l : s.lines)
      if (!l.key.empty() && SameName(l.key, key)) return l.value;
  }
  return std::nullopt;
}

std::int32_t TIniText::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t fallback) const {
  const auto text = ReadString(section, key);
  if (!text) return fallback;
  return ParseIniInteger(*text).value_or(fallback);
}

void TIniText::EraseSection(const std::string& section) {
  std::erase_if(sections_, [&](const Section& s) {
    return !s.name.empty() && SameName(s.name, section);
  });
}

void TIniText::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  Section* target = nullptr;
  for (Section& s : sections_)
    if (!s.name.empty() && SameName(s.name, section)) {
      target = &s;
      break;
    }
  if (!target) {
    sections_.push_back({section, {}});
    target = &sections_.back();
  }
  for (Line& l : target->lines)
    if (!l.key.empty() && SameName(l.key, key)) {
      l.value = value;
      return;
    }
  target->lines.push_back({key, value, key + "=" + value});
}

std::optional<TSettings> SettingsFromText(const std::string& text) {
  const TIniText ini = TIniText::Parse(text);
  if (!ini.HasSection(kSettingsSection)) return std::nullopt;
  TSettings s;
  s.Top = ini.ReadInteger(kSettingsSection, "Top", 0);
  s.Height = ini.ReadInteger(kSettingsSection, "Height", 532);
  s.Width = ini.ReadInteger(kSettingsSection, "Width", 660);
  s.Left = ini.ReadInteger(kSettingsSection, "Left", 0);
  s.WorkingFileName =
      ini.ReadString(kSettingsSection, "WorkingFileName").value_or(kDefaultWorkingFile);
  s.MDcolor = ini.ReadInteger(kSettingsSection, "MDcolor", kMoneyGreen);
  if (s.WorkingFileName.empty()) s.WorkingFileName = kDefaultWorkingFile;
  if (s.MDcolor == 0) s.MDcolor = kMoneyGreen;
  return s;
}

std::string SettingsToText(const std::string& existing, const TSettings& s) {
  TIniText ini = TIniText::Parse(existing);
  ini.EraseSection(kSettingsSection);
  ini.WriteString(kSettingsSection, "Top", std::to_string(s.Top));
  ini.WriteString(kSettingsSection, "Height", std::to_string(s.Height));
  ini.WriteString(kSettingsSection, "Left", std::to_string(s.Left));
  ini.WriteString(kSettingsSection, "Width", std::to_string(s.Width));
  ini.WriteString(kSettingsSection, "WorkingFileName", s.WorkingFileName);
  ini.WriteString(kSettingsSection, "MDcolor", std::to_string(s.MDcolor));
  return ini.Compose();
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream buf;
  buf << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return buf.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string pattern = (folder / (target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0)
    throw std::runtime_error("Cannot create file " + path + ": " + std::strerror(errno));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      ::unlink(pattern.c_str());
      throw std::runtime_error("Cannot write file " + path + ": " + std::strerror(err));
    }
    done += static_cast<size_t>(n);
  }
  // mkstemp creates the file private to its owner; a settings file is an ordinary file.
  ::fchmod(fd, 0644);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(pattern.c_str());
    throw std::runtime_error("Cannot write file " + path + ": " + std::strerror(err));
  }
  if (std::rename(pattern.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(pattern.c_str());
    throw std::runtime_error("Cannot write file " + path + ": " + std::strerror(err));
  }
}

std::optional<TSettings> ReadSettingsFile(const std::string& path) {
  const auto text = ReadWholeFile(path);
  if (!text) return std::nullopt;
  return SettingsFromText(*text);
}

std::string TextToRewrite(const std::string& path) {
  if (auto text = ReadWholeFile(path)) return std::move(*text);
  std::error_code ec;
  if (std::filesystem::exists(path, ec) || ec) {
    throw std::runtime_error(path + " exists but cannot be read, so it is left as it is");
  }
  return {};
}

void WriteSettingsFile(const std::string& path, const TSettings& s) {
  const std::string existing = TextToRewrite(path);
  WriteWholeFile(path, SettingsToText(existing, s));
}

}  // namespace app
