// INI lookup on Linux: the file is read once into its sections and "key=value" lines, split
// and trimmed by the profile rules listed in platform/ini.h.
#include <sys/stat.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/ini.h"
#include "text/ascii.h"

namespace platform {

namespace {

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

}  // namespace

// What the file holds, in its order.
struct IniFile::Impl {
    struct Entry {
        std::string key;
        std::string value;  // as a lookup returns it
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    std::vector<Section> sections;
};

IniFile::IniFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    const std::string text = fileText(path);
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = text::trimBlanks(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.starts_with('[')) {
            const std::size_t close = line.rfind(']');
            if (close != std::string_view::npos) {
                impl_->sections.push_back({std::string(line.substr(1, close - 1)), {}});
                continue;
            }
        }
        // A line without "=" (a comment, stray text) holds no value; keys before the first
        // section header belong to no section a lookup can name.
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || impl_->sections.empty()) continue;
        impl_->sections.back().entries.push_back(
            {std::string(text::trimBlanks(line.substr(0, equals))),
             lookupValue(text::trimBlanks(line.substr(equals + 1)))});
    }
}

IniFile::~IniFile() = default;

std::string IniFile::value(const char* section, const char* key, const char* defaultValue) const {
    const std::string_view wantedSection = text::trimBlanks(section);
    const std::string_view wantedKey = text::trimBlanks(key);
    for (const auto& s : impl_->sections) {
        if (!text::equalsIgnoringCase(s.name, wantedSection)) continue;
        // Only the first section of this name is searched.
        for (const auto& e : s.entries) {
            if (text::equalsIgnoringCase(e.key, wantedKey)) return e.value;
        }
        break;
    }
    return std::string(text::trimTrailingBlanks(defaultValue).substr(0, kMaxValueLength));
}

}  // namespace platform
