#pragma once
// The settings file "Brelona.cfg": an ini text whose section SETTINGS holds the main window's
// geometry, the working database file and the mosaic colour. The file is read from the current
// working directory at start-up and written next to the executable at shut-down; sections other
// than SETTINGS are kept and written back in front of it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace app {

// The money green of the stripes and of the default mosaic (a colour value with red in the
// lowest byte: C0DCC0).
inline constexpr std::int32_t kMoneyGreen = 12639424;
inline constexpr const char* kDefaultWorkingFile = "Problems.d";
inline constexpr const char* kSettingsFileName = "Brelona.cfg";
inline constexpr const char* kSettingsSection = "SETTINGS";

// A small ini document that keeps its sections in file order. Section and key names match
// without regard to letter case; blanks around names and values are ignored; lines whose first
// non-blank character is ";" are comments.
class TIniText {
 public:
  struct Line {
    std::string key;    // trimmed; empty for a comment line
    std::string value;  // trimmed
    std::string raw;    // the line as read, written back for comments
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };

  static TIniText Parse(const std::string& text);
  // Sections in order, each as "[NAME]", its lines, then an empty line.
  std::string Compose() const;

  bool HasSection(const std::string& section) const;
  // The value of the first matching key, if any.
  std::optional<std::string> ReadString(const std::string& section, const std::string& key) const;
  // An integer value: decimal, or hexadecimal with "$", "0x" or "0X", optionally signed; a value
  // that is not such an integer of 32 bits counts as missing.
  std::int32_t ReadInteger(const std::string& section, const std::string& key,
                           std::int32_t fallback) const;
  // Removes every section of that name.
  void EraseSection(const std::string& section);
  // Sets a key, adding the section at the end and the key at the end of its section as needed.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  const std::vector<Section>& Sections() const { return sections_; }

 private:
  std::vector<Section> sections_;
};

// Parses an integer as the settings file writes and accepts it.
std::optional<std::int32_t> ParseIniInteger(const std::string& text);

struct TSettings {
  int Top = 0;
  int Height = 532;
  int Left = 0;
  int Width = 660;
  std::string WorkingFileName = kDefaultWorkingFile;
  std::int32_t MDcolor = kMoneyGreen;
};

// Reads the settings from ini text: nullopt when the text has no section SETTINGS (the window
// then keeps its designed geometry). Missing or unreadable keys take their defaults; an empty
// working file name becomes "Problems.d" and a mosaic colour of 0 becomes money green.
std::optional<TSettings> SettingsFromText(const std::string& text);

// The whole new file: the sections of `existing` other than SETTINGS, then SETTINGS with Top,
// Height, Left, Width, WorkingFileName and MDcolor in this order, then an empty line.
std::string SettingsToText(const std::string& existing, const TSettings& s);

// Reads a settings file; nullopt when it does not exist, cannot be read or has no SETTINGS.
std::optional<TSettings> ReadSettingsFile(const std::string& path);

// Writes the settings into `path`, keeping its other sections. The new text goes to a temporary
// file in the same folder that is then renamed over the old one, so a failure never leaves a
// half-written file. Throws std::runtime_error with a readable message on failure.
void WriteSettingsFile(const std::string& path, const TSettings& s);

// The text of a file about to be rewritten with some of its lines changed: empty when there is
// no such file; throws std::runtime_error when there is one that cannot be read, so a file that
// could not be read is never written over.
std::string TextToRewrite(const std::string& path);

// Reads a whole file into a string; nullopt when it cannot be opened.
std::optional<std::string> ReadWholeFile(const std::string& path);
// Writes a whole file through a temporary file and a rename; throws std::runtime_error.
void WriteWholeFile(const std::string& path, const std::string& bytes);

}  // namespace app
