// INI lookup seam: values of an INI-style settings file by section and key, with the lookup
// rules of the Windows profile functions (GetPrivateProfileString), so a file reads the same
// on every system.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// The rules every backend follows:
// - Lines end at LF; CR and other blanks at either end of a line are dropped, so an indented
//   line is an ordinary line (there are no continuation lines).
// - "[name]" starts a section: the text between the "[" and the line's last "]" is the name,
//   blanks inside the brackets included; text after the "]" is ignored.
// - "key=value" splits at the first "="; blanks around the key and around the value are
//   dropped. Everything after the "=" belongs to the value: ";" and "#" start no comment
//   there. A line without "=" holds no value (comment lines are such lines).
// - Section and key names match without regard to ASCII letter case. Only the first section
//   of a name is searched, and within it the first line of the key wins.
// - One pair of matching quotes (" or ') around a value is removed.
// - At most kMaxValueLength characters of a value are returned; a NUL byte ends a value.
// - A leading UTF-8 byte-order mark is skipped; a UTF-16 file (with its byte-order mark) is
//   read as text too.
// - A missing or unreadable file, section or key gives the default.
class IniFile {
  public:
    static constexpr std::size_t kMaxValueLength = 255;

    // The Linux backend reads and parses the file here, once; the Windows backend only keeps
    // the path and asks the system for each value.
    explicit IniFile(const std::string& path);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // The value of `key` in `section`, or `defaultValue` (trailing blanks dropped, cut to
    // kMaxValueLength) when the file, the section or the key is missing.
    std::string value(const char* section, const char* key, const char* defaultValue) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
