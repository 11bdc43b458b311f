// Tests of the INI lookup: the Windows profile rules on files that other INI readers read
// differently (continuation lines, inline comments, ":" separators, long lines, BOMs,
// repeated keys and sections, quotes).
#include "platform/ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/support.h"

namespace {

struct Case {
    std::string file;
    const char* section;
    const char* key;
    std::string expected;  // "DEF": the default
};

std::string utf16(const std::string& ascii, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        out += bigEndian ? '\0' : c;
        out += bigEndian ? c : '\0';
    }
    return out;
}

TEST(IniLookup, FollowsTheProfileRules) {
    const std::string filler(195, 'y');
    const std::string longName(400, 'n');
    std::string mixed;  // 255 characters of every printable kind
    for (int i = 0; i < 255; ++i) mixed += static_cast<char>(i % 94 + 33);
    const Case cases[] = {
        // Missing section or key.
        {"[param]\ncomID=5\n", "other", "comID", "DEF"},
        {"[param]\ncomID=5\n", "param", "numStep", "DEF"},
        // Names in any letter case; blanks around names and values dropped.
        {"[PARAM]\r\nCOMID=7\r\n", "param", "comID", "7"},
        {"[Param]\ncomid=8\n", "PARAM", "ComId", "8"},
        {"[param]\n \t comID \t=\t  42 x  \t\r\n", "param", "comID", "42 x"},
        {"  [param]  \nk=1\n", " param ", " k ", "1"},
        // Blanks inside the brackets belong to the name (no lookup, whose names lose their
        // blanks, finds it).
        {"[ param ]\nk=1\n", "param", "k", "DEF"},
        // An indented line is an ordinary line, not a continuation of the value above.
        {"[p]\nfirst=1\n    second=2\n", "p", "first", "1"},
        {"[p]\nfirst=1\n    second=2\n", "p", "second", "2"},
        // ";" and "#" inside a value belong to it; comment lines name no key.
        {"[p]\nk=5 ; five\n", "p", "k", "5 ; five"},
        {"[p]\nk=5 # five\n", "p", "k", "5 # five"},
        {"[p]\n;k=1\n#k=2\nk=3\n", "p", "k", "3"},
        // Only "=" separates key and value; a line without one is no key.
        {"[p]\nk:5\n", "p", "k", "DEF"},
        {"[p]\nk:x=5\n", "p", "k:x", "5"},
        {"[p]\nk=a=b\n", "p", "k", "a=b"},
        {"[p]\nk\nk=4\n", "p", "k", "4"},
        // A section name runs to the line's last "]"; without one the line starts nothing.
        {"[a]b]\nk=1\n", "a]b", "k", "1"},
        {"[param] trailing text\nk=1\n", "param", "k", "1"},
        {"[first]\n[second\nk=1\n", "first", "k", "1"},
        // The first key in the first section of the name wins; later ones are not searched.
        {"[p]\nk=1\nK=2\n", "p", "k", "1"},
        {"[p]\na=1\n[o]\nb=0\n[P]\na=2\nb=3\n", "p", "a", "1"},
        {"[p]\na=1\n[o]\nb=0\n[P]\na=2\nb=3\n", "p", "b", "DEF"},
        {"[p]\n[p]\nk=1\n", "p", "k", "DEF"},
        {"k=1\n[p]\nj=2\n", "p", "k", "DEF"},  // before any section: in none
        // An empty value is a value.
        {"[p]\nk=\n", "p", "k", ""},
        {"[p]\nk=   \n", "p", "k", ""},
        // One pair of matching quotes is removed.
        {"[p]\nk=\"5\"\n", "p", "k", "5"},
        {"[p]\nk='5'\n", "p", "k", "5"},
        {"[p]\nk=\"\"5\"\"\n", "p", "k", "\"5\""},
        {"[p]\nk=\" 5 \"\n", "p", "k", " 5 "},
        {"[p]\nk=\"\"\n", "p", "k", ""},
        {"[p]\nk=\"5'\n", "p", "k", "\"5'"},
        {"[p]\nk=\"\n", "p", "k", "\""},
        // At most 255 characters, whatever they are; a NUL ends the value.
        {"[p]\nk=" + std::string(300, 'x') + "\n", "p", "k", std::string(255, 'x')},
        {"[p]\nk=\"" + std::string(300, 'x') + "\"\n", "p", "k", std::string(255, 'x')},
        {"[p]\nk=" + mixed + "\n", "p", "k", mixed},
        {std::string("[p]\nk=12\0"
                     "34\n",
                     12),
         "p", "k", "12"},
        // A long line never spills into a key of its own (some readers cut lines at 200 bytes), and
        // long names still match.
        {"[p]\njunk=" + filler + "comID=9\n", "p", "comID", "DEF"},
        {"[p]\n;" + filler + "numStep=4\n", "p", "numStep", "DEF"},
        {"[p]\njunk=" + filler + "comID=9\n", "p", "junk", filler + "comID=9"},
        {"[" + longName + "]\n" + longName + "=1\n", longName.c_str(), longName.c_str(), "1"},
        // Line ends and byte-order marks; a lone CR ends no line.
        {"[p]\nk=1", "p", "k", "1"},
        {"\xEF\xBB\xBF[p]\nk=1\n", "p", "k", "1"},
        {"[p]\rk=1\n", "p", "k", "DEF"},
        {utf16("[p]\r\nk=21\r\n", false), "p", "k", "21"},
        {utf16("[p]\r\nk=22\r\n", true), "p", "k", "22"},
        {"\xFF\xFE[p]\nk=1\n", "p", "k", "DEF"},  // not UTF-16 after its mark
        // Text that looks like the reader's own escapes stays literal.
        {"[0]\n0=%41%\n1=[0]\n", "0", "0", "%41%"},
        {"[0]\n0=%41%\n1=[0]\n", "0", "1", "[0]"},
        {"[%30]\n 0 = x \n", "%30", "0", "x"},
    };
    testsupport::TempDir dir;
    const std::string path = dir.file("t.ini");
    for (const auto& c : cases) {
        testsupport::writeFile(path, c.file);
        platform::IniFile file(path);
        EXPECT_EQ(file.value(c.section, c.key, "DEF"), c.expected)
            << "[" << c.section << "] " << c.key << " in:\n"
            << c.file;
    }
}

TEST(IniLookup, AMissingOrUnreadableFileGivesTheDefaultTrimmedAndCut) {
    testsupport::TempDir dir;
    platform::IniFile none(dir.file("absent.ini"));
    EXPECT_EQ(none.value("param", "comID", "3"), "3");
    EXPECT_EQ(none.value("p", "k", "  10.0  \t"), "  10.0");
    EXPECT_EQ(none.value("p", "k", std::string(300, 'd').c_str()), std::string(255, 'd'));
    platform::IniFile folder(dir.path());
    EXPECT_EQ(folder.value("param", "comID", "3"), "3");
}

TEST(IniLookup, OnlyRegularFilesAreReadSoNoDeviceOrPipeCanHangTheLoad) {
    testsupport::TempDir dir;
    // A named pipe with no writer would block the open; an endless device
    // would fill memory. Both read as a missing file.
    ASSERT_EQ(mkfifo(dir.file("pipe.ini").c_str(), 0600), 0);
    platform::IniFile pipe(dir.file("pipe.ini"));
    EXPECT_EQ(pipe.value("param", "comID", "3"), "3");
    ASSERT_EQ(symlink("/dev/zero", dir.file("zero.ini").c_str()), 0);
    platform::IniFile zero(dir.file("zero.ini"));
    EXPECT_EQ(zero.value("param", "comID", "3"), "3");
    // A link to a regular file is followed.
    testsupport::writeFile(dir.file("real.ini"), "[param]\ncomID=7\n");
    ASSERT_EQ(symlink(dir.file("real.ini").c_str(), dir.file("link.ini").c_str()), 0);
    platform::IniFile link(dir.file("link.ini"));
    EXPECT_EQ(link.value("param", "comID", "3"), "7");
}

}  // namespace
