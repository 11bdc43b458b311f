// Tests of the INI lookup: the Windows profile rules on files that inih alone would read
// differently (continuation lines, inline comments, ":" separators, long lines, BOMs,
// repeated keys and sections, quotes).
#include "platform/ini.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/support.h"

namespace {

using testsupport::TempDir;

class IniLookup : public ::testing::Test {
  protected:
    // Writes `text` as the file and returns the value of section/key (default "DEF").
    std::string lookup(const std::string& text, const char* section, const char* key) {
        testsupport::writeFile(path_, text);
        platform::IniFile file(path_);
        return file.value(section, key, "DEF");
    }

    TempDir dir_;
    std::string path_ = dir_.file("t.ini");
};

TEST_F(IniLookup, MissingFileSectionOrKeyGivesTheDefault) {
    platform::IniFile none(dir_.file("absent.ini"));
    EXPECT_EQ(none.value("param", "comID", "3"), "3");
    EXPECT_EQ(lookup("[param]\r\ncomID=5\r\n", "other", "comID"), "DEF");
    EXPECT_EQ(lookup("[param]\r\ncomID=5\r\n", "param", "numStep"), "DEF");
    // A folder is not a readable file.
    platform::IniFile folder(dir_.path());
    EXPECT_EQ(folder.value("param", "comID", "3"), "3");
}

TEST_F(IniLookup, NamesMatchWithoutRegardToCase) {
    EXPECT_EQ(lookup("[PARAM]\nCOMID=7\n", "param", "comID"), "7");
    EXPECT_EQ(lookup("[Param]\ncomid=8\n", "PARAM", "ComId"), "8");
}

TEST_F(IniLookup, BlanksAroundNamesAndValuesAreDropped) {
    EXPECT_EQ(lookup("[param]\n \t comID \t=\t  42 x  \t\r\n", "param", "comID"), "42 x");
    EXPECT_EQ(lookup("  [param]  \nk=1\n", "param", "k"), "1");
    // Blanks inside the brackets belong to the name (so no lookup, whose names lose their
    // blanks, finds that section).
    EXPECT_EQ(lookup("[ param ]\nk=1\n", "param", "k"), "DEF");
    EXPECT_EQ(lookup("[param]\nk=1\n", " param ", " k "), "1");
}

TEST_F(IniLookup, AnIndentedLineIsAnOrdinaryLineNotAContinuation) {
    const std::string text = "[param]\nfirst=1\n    second=2\n\tthird = 3\n";
    EXPECT_EQ(lookup(text, "param", "first"), "1");
    EXPECT_EQ(lookup(text, "param", "second"), "2");
    EXPECT_EQ(lookup(text, "param", "third"), "3");
}

TEST_F(IniLookup, CommentCharactersInsideAValueBelongToIt) {
    EXPECT_EQ(lookup("[param]\nk=5 ; five\n", "param", "k"), "5 ; five");
    EXPECT_EQ(lookup("[param]\nk=5 # five\n", "param", "k"), "5 # five");
    EXPECT_EQ(lookup("[param]\nk=;x\n", "param", "k"), ";x");
    // Whole-line comments name no key, even when they look like an assignment.
    EXPECT_EQ(lookup("[param]\n;k=1\n#k=2\nk=3\n", "param", "k"), "3");
}

TEST_F(IniLookup, OnlyEqualsSeparatesKeyAndValue) {
    EXPECT_EQ(lookup("[param]\nk:5\n", "param", "k"), "DEF");
    EXPECT_EQ(lookup("[param]\nk:x=5\n", "param", "k:x"), "5");
    EXPECT_EQ(lookup("[param]\nk=a=b\n", "param", "k"), "a=b");
    // A line with no "=" is no key.
    EXPECT_EQ(lookup("[param]\nk\nk=4\n", "param", "k"), "4");
}

TEST_F(IniLookup, SectionNameRunsToTheLastBracket) {
    EXPECT_EQ(lookup("[a]b]\nk=1\n", "a]b", "k"), "1");
    EXPECT_EQ(lookup("[param] trailing text\nk=1\n", "param", "k"), "1");
    // Without a closing bracket the line starts no section: k stays in [first].
    EXPECT_EQ(lookup("[first]\n[second\nk=1\n", "first", "k"), "1");
}

TEST_F(IniLookup, TheFirstKeyInTheFirstSectionOfTheNameWins) {
    EXPECT_EQ(lookup("[param]\nk=1\nK=2\n", "param", "k"), "1");
    // A later section of the same name is not searched, neither for a key the first one
    // lacks nor for a key it has.
    const std::string text = "[param]\na=1\n[other]\nb=0\n[PARAM]\na=2\nb=3\n";
    EXPECT_EQ(lookup(text, "param", "a"), "1");
    EXPECT_EQ(lookup(text, "param", "b"), "DEF");
    EXPECT_EQ(lookup(text, "other", "b"), "0");
    // Even an empty first section hides a later one.
    EXPECT_EQ(lookup("[param]\n[param]\nk=1\n", "param", "k"), "DEF");
}

TEST_F(IniLookup, KeysBeforeAnySectionBelongToNone) {
    EXPECT_EQ(lookup("k=1\n[param]\nj=2\n", "param", "k"), "DEF");
    EXPECT_EQ(lookup("k=1\n[param]\nj=2\n", "param", "j"), "2");
}

TEST_F(IniLookup, AnEmptyValueIsAValueNotTheDefault) {
    EXPECT_EQ(lookup("[param]\nk=\n", "param", "k"), "");
    EXPECT_EQ(lookup("[param]\nk=   \n", "param", "k"), "");
}

TEST_F(IniLookup, OnePairOfMatchingQuotesIsRemoved) {
    EXPECT_EQ(lookup("[p]\nk=\"5\"\n", "p", "k"), "5");
    EXPECT_EQ(lookup("[p]\nk='5'\n", "p", "k"), "5");
    EXPECT_EQ(lookup("[p]\nk=\"\"5\"\"\n", "p", "k"), "\"5\"");
    EXPECT_EQ(lookup("[p]\nk=\" 5 \"\n", "p", "k"), " 5 ");
    EXPECT_EQ(lookup("[p]\nk=\"\"\n", "p", "k"), "");
    EXPECT_EQ(lookup("[p]\nk=\"5'\n", "p", "k"), "\"5'");
    EXPECT_EQ(lookup("[p]\nk=\"\n", "p", "k"), "\"");
    EXPECT_EQ(lookup("[p]\nk=5\"\n", "p", "k"), "5\"");
}

TEST_F(IniLookup, ValuesAreCutAt255Characters) {
    const std::string long300(300, 'x');
    EXPECT_EQ(lookup("[p]\nk=" + long300 + "\n", "p", "k"), std::string(255, 'x'));
    EXPECT_EQ(lookup("[p]\nk=\"" + long300 + "\"\n", "p", "k"), std::string(255, 'x'));
    // Exactly 255 characters come back whole, whatever bytes they are.
    std::string mixed;
    for (int i = 0; i < 255; ++i) mixed += static_cast<char>(i % 94 + 33);
    EXPECT_EQ(lookup("[p]\nk=" + mixed + "\n", "p", "k"), mixed);
}

TEST_F(IniLookup, ALongLineNeverSpillsIntoAKeyOfItsOwn) {
    // inih alone cuts lines at 200 bytes and reads the rest as a new line.
    std::string filler(195, 'y');
    const std::string text = "[param]\njunk=" + filler + "comID=9\n;" + filler + "numStep=4\n";
    EXPECT_EQ(lookup(text, "param", "comID"), "DEF");
    EXPECT_EQ(lookup(text, "param", "numStep"), "DEF");
    EXPECT_EQ(lookup(text, "param", "junk"), filler + "comID=9");
    // A very long key name still matches, and so does a very long section name.
    const std::string name(400, 'n');
    EXPECT_EQ(lookup("[" + name + "]\n" + name + "=1\n", name.c_str(), name.c_str()), "1");
}

TEST_F(IniLookup, ANulByteEndsAValue) {
    EXPECT_EQ(lookup(std::string("[p]\nk=12\0"
                                 "34\n",
                                 12),
                     "p", "k"),
              "12");
}

TEST_F(IniLookup, LineEndsAndByteOrderMarks) {
    EXPECT_EQ(lookup("[p]\r\nk=1\r\n", "p", "k"), "1");
    EXPECT_EQ(lookup("[p]\nk=1", "p", "k"), "1");
    EXPECT_EQ(lookup("\xEF\xBB\xBF[p]\nk=1\n", "p", "k"), "1");
    // A lone CR ends no line.
    EXPECT_EQ(lookup("[p]\rk=1\n", "p", "k"), "DEF");

    auto utf16 = [](const std::string& ascii, bool bigEndian) {
        std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char c : ascii) {
            out += bigEndian ? '\0' : c;
            out += bigEndian ? c : '\0';
        }
        return out;
    };
    EXPECT_EQ(lookup(utf16("[p]\r\nk=21\r\n", false), "p", "k"), "21");
    EXPECT_EQ(lookup(utf16("[p]\r\nk=22\r\n", true), "p", "k"), "22");
    // Text after a UTF-16 mark that is no valid UTF-16 gives no wrong match.
    EXPECT_EQ(lookup("\xFF\xFE[p]\nk=1\n", "p", "k"), "DEF");
}

TEST_F(IniLookup, TheDefaultLosesTrailingBlanksAndIsCut) {
    platform::IniFile none(dir_.file("absent.ini"));
    EXPECT_EQ(none.value("p", "k", "  10.0  \t"), "  10.0");
    EXPECT_EQ(none.value("p", "k", std::string(300, 'd').c_str()), std::string(255, 'd'));
}

TEST_F(IniLookup, EncodingLookalikesInTheFileStayLiteral) {
    // The reader escapes user text before inih sees it; text that looks like an escape or a
    // canonical line must come back unchanged and must not name another entry.
    const std::string text = "[0]\n0=%41%\n1=[0]\n[%30]\n 0 = x \n";
    EXPECT_EQ(lookup(text, "0", "0"), "%41%");
    EXPECT_EQ(lookup(text, "0", "1"), "[0]");
    EXPECT_EQ(lookup(text, "%30", "0"), "x");
}

}  // namespace
