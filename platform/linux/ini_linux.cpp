// INI lookup on Linux: inih parses the file, behind a line reader that makes inih's dialect
// agree with the Windows profile rules listed in platform/ini.h.
//
// inih on its own differs from those rules: an indented line continues the previous value, a
// ";" after a blank starts an inline comment, ":" also separates key and value, the first "]"
// ends a section name, lines longer than 200 bytes are cut and their rest parsed as a new line,
// and repeated sections are not told apart. So the reader splits and trims every file line
// itself and hands inih one canonical line per entry, in which no user text can be misread:
//   "[<n>]"           the n-th section header of the file (its name is kept aside),
//   "<k>=<value>"     key number k (its name is kept aside) and the percent-encoded value,
//   " <more value>"   further pieces of a long value, joined by inih's continuation lines.
#include <ini.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string_view>
#include <vector>

#include "platform/ini.h"

namespace platform {

namespace {

// Encoded value bytes per canonical line; inih's line buffer holds 199 characters.
constexpr std::size_t kPieceLength = 96;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i])) return false;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A UTF-16 file (as Notepad's "Unicode" writes it) as UTF-8 text; unpaired surrogates become
// U+FFFD and an odd last byte is dropped.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out;
    out.reserve(bytes.size() / 2);
    auto unit = [&](std::size_t i) -> char32_t {
        auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        return static_cast<char32_t>(hi << 8 | lo);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
            char32_t low = unit(i + 2);
            if (low >= 0xDC00 && low < 0xE000) {
                appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendUtf8(out, (c >= 0xD800 && c < 0xE000) ? 0xFFFD : c);
    }
    return out;
}

// The file's text, or nothing when it cannot be read (missing, a folder, a read error).
// Only a regular file is read: a named pipe would block the open and a device such as
// /dev/zero would never end.
std::string fileText(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    std::string bytes;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {};
    char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return {};
    std::string_view b = bytes;
    if (b.starts_with("\xEF\xBB\xBF")) return bytes.substr(3);
    if (b.starts_with("\xFF\xFE")) return utf16ToUtf8(b.substr(2), false);
    if (b.starts_with("\xFE\xFF")) return utf16ToUtf8(b.substr(2), true);
    return bytes;
}

// The value as a lookup returns it: up to a NUL, one pair of matching quotes removed, at most
// kMaxValueLength characters.
std::string lookupValue(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') &&
        raw.back() == raw.front()) {
        raw = raw.substr(1, raw.size() - 2);
    }
    return std::string(raw.substr(0, IniFile::kMaxValueLength));
}

bool plainByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
           c == '-' || c == '+' || c == '_';
}

std::string percentEncode(std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (plainByte(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

std::string percentDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(hexDigit(s[i + 1]) << 4 | hexDigit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// What the file holds, in its order.
struct ParsedIni {
    struct Entry {
        std::size_t key;  // index into keyNames
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    std::vector<Section> sections;
    std::vector<std::string> keyNames;
};

// Walks the file's lines and hands inih the canonical lines described at the top.
class CanonicalReader {
  public:
    CanonicalReader(std::string text, ParsedIni& ini) : text_(std::move(text)), ini_(ini) {}

    static char* read(char* buffer, int size, void* self) {
        return static_cast<CanonicalReader*>(self)->next(buffer, static_cast<std::size_t>(size));
    }

    static int handle(void* self, const char* section, const char* name, const char* value) {
        static_cast<CanonicalReader*>(self)->store(section, name, value);
        return 1;
    }

  private:
    struct Line {
        std::string text;
        bool continuation;
    };

    char* next(char* buffer, std::size_t size) {
        while (pending_.empty()) {
            if (pos_ >= text_.size()) return nullptr;
            std::size_t end = text_.find('\n', pos_);
            if (end == std::string::npos) end = text_.size();
            canonicalise(trim(std::string_view(text_).substr(pos_, end - pos_)));
            pos_ = end + 1;
        }
        const Line& line = pending_.front();
        currentIsContinuation_ = line.continuation;
        std::size_t n = std::min(line.text.size(), size - 2);
        std::memcpy(buffer, line.text.data(), n);
        buffer[n] = '\n';
        buffer[n + 1] = '\0';
        pending_.pop_front();
        return buffer;
    }

    void canonicalise(std::string_view line) {
        if (line.starts_with('[')) {
            std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                pending_.push_back({"[" + std::to_string(ini_.sections.size()) + "]", false});
                ini_.sections.push_back({std::string(line.substr(1, close - 1)), {}});
                return;
            }
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return;  // no value: comments and stray text
        std::string key(trim(line.substr(0, equals)));
        std::string value = percentEncode(lookupValue(trim(line.substr(equals + 1))));
        pending_.push_back({std::to_string(ini_.keyNames.size()) + "=" +
                                std::string(value.substr(0, std::min(value.size(), kPieceLength))),
                            false});
        ini_.keyNames.push_back(std::move(key));
        for (std::size_t at = kPieceLength; at < value.size(); at += kPieceLength) {
            pending_.push_back({" " + value.substr(at, kPieceLength), true});
        }
    }

    void store(const char* section, const char* name, const char* value) {
        // Keys before the first section header belong to no section a lookup can name.
        if (*section == '\0') return;
        auto& entries = ini_.sections[std::stoul(section)].entries;
        if (currentIsContinuation_) {
            if (!entries.empty()) entries.back().value += value;
        } else {
            entries.push_back({std::stoul(name), value});
        }
    }

    std::string text_;
    std::size_t pos_ = 0;
    ParsedIni& ini_;
    std::deque<Line> pending_;
    bool currentIsContinuation_ = false;
};

}  // namespace

struct IniFile::Impl : ParsedIni {};

IniFile::IniFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    CanonicalReader reader(fileText(path), *impl_);
    ini_parse_stream(&CanonicalReader::read, &reader, &CanonicalReader::handle, &reader);
    // The pieces of a value were joined still encoded (a piece may end inside an escape).
    for (auto& section : impl_->sections) {
        for (auto& entry : section.entries) entry.value = percentDecode(entry.value);
    }
}

IniFile::~IniFile() = default;

std::string IniFile::value(const char* section, const char* key, const char* defaultValue) const {
    std::string_view wantedSection = trim(section);
    std::string_view wantedKey = trim(key);
    for (const auto& s : impl_->sections) {
        if (!sameName(s.name, wantedSection)) continue;
        // Only the first section of this name is searched.
        for (const auto& e : s.entries) {
            if (sameName(impl_->keyNames[e.key], wantedKey)) return e.value;
        }
        break;
    }
    std::string_view fallback = defaultValue;
    while (!fallback.empty() && isBlank(fallback.back())) fallback.remove_suffix(1);
    return std::string(fallback.substr(0, kMaxValueLength));
}

}  // namespace platform
