#include "common/IniDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/SettingKeys.h"

namespace velkora {
namespace {

TEST(IniDocument, EveryKeyAndTextReadsBackExactlyAfterPrinting) {
    // Texts and keys that INI readers and writers commonly mangle.
    const std::vector<std::string> values = {"全部で@1通のメールが届いています",
                                             "",
                                             "0",
                                             "@Invalid()",
                                             "@ByteArray(abc)",
                                             "a,b, c",
                                             "\"quoted\"",
                                             "\"",
                                             "back\\slash\\",
                                             "\\n is not a line break",
                                             "a=b",
                                             ";semicolon",
                                             "#hash",
                                             "  leading",
                                             "trailing  ",
                                             "\r\n",
                                             "line 1\r\nline 2\nline 3\r",
                                             "tab\tinside",
                                             "[section]",
                                             "\x01\x1F\x7F",
                                             std::string("nul\0byte", 8),
                                             std::string(kOptionsNotstr),
                                             std::string(5000, 'x')};
    const std::vector<std::string> keys = {"Notstr",     "notstr",         "key with = and ]",
                                           "日本語キー", "\"quoted key\"", "Wavdir"};
    IniDocument written;
    for (std::size_t i = 0; i < values.size(); ++i) {
        written.set("setting", "Value" + std::to_string(i), values[i]);
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        written.set("setting", keys[i], "for key " + std::to_string(i));
    }
    const IniDocument read = IniDocument::parse(written.print());
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(read.find("setting", "Value" + std::to_string(i)), values[i]) << i;
    }
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(read.find("setting", keys[i]), "for key " + std::to_string(i)) << keys[i];
    }
    EXPECT_EQ(read.find("setting", "NOTSTR"), std::nullopt);
    EXPECT_EQ(read.find("other", "Notstr"), std::nullopt);
}

TEST(IniDocument, HandEditedLinesAreReadAndKept) {
    IniDocument doc = IniDocument::parse(
        "\xEF\xBB\xBF; written by hand\r\n[other]\r\nAgentnm=not ours\r\n\r\n[setting]\r\n"
        "  Timeupval = 30  \r\nQuoted = \"a \\\"b\\\" c\" \r\nOpen=\"not closed\r\n"
        "# a comment inside\r\nno equals sign here\r\nTwice=first\r\nTwice=second\r\n\r\n"
        "[tail]\r\nx=y\r\n");
    EXPECT_EQ(doc.find("setting", "Timeupval"), "30");
    EXPECT_EQ(doc.find("setting", "Quoted"), "a \"b\" c");
    EXPECT_EQ(doc.find("setting", "Open"), "\"not closed");
    EXPECT_EQ(doc.find("setting", "Twice"), "second");
    EXPECT_EQ(doc.find("setting", "Agentnm"), std::nullopt);  // another section
    EXPECT_EQ(doc.find("other", "Agentnm"), "not ours");

    EXPECT_TRUE(doc.set("setting", "Twice", "third"));
    EXPECT_FALSE(doc.set("setting", "Twice", "third"));  // nothing to rewrite
    EXPECT_TRUE(doc.set("setting", "Checktimerval", "5"));
    EXPECT_TRUE(doc.set("new", "k", "v"));
    // Both copies of a doubled key change; a new key goes after the section's last entry and
    // a new section at the end.
    EXPECT_EQ(doc.print(),
              "\xEF\xBB\xBF; written by hand\r\n[other]\r\nAgentnm=not ours\r\n\r\n[setting]\r\n"
              "  Timeupval = 30  \r\nQuoted = \"a \\\"b\\\" c\" \r\nOpen=\"not closed\r\n"
              "# a comment inside\r\nno equals sign here\r\nTwice=\"third\"\nTwice=\"third\"\n"
              "Checktimerval=\"5\"\n\r\n[tail]\r\nx=y\r\n[new]\nk=\"v\"\n");
}

TEST(IniDocument, WritingOneKeyNeverChangesWhatAnotherReads) {
    // Hand-edited files: a value ending in a CR of its own, before CR LF and at the very end;
    // two byte order marks, the second hiding the section header; LF and CR LF mixed.
    const std::vector<std::string> texts = {
        "[setting]\r\nr=\r\r\nq=1\r\n",
        "[setting]\nr=\r\r\nlast=\r\r",
        "\xEF\xBB\xBF\xEF\xBB\xBF[setting]\r\nhidden=1\r\n",
        "\xEF\xBB\xBF\xEF\xBB\xBF\xEF\xBB\xBF[setting]\nhidden=1\n[setting]\nshown=2\n",
        "[setting]\r\na = x\r \r\n\r\n[setting]\nb=\"\\r\"\r\n",
    };
    const std::vector<std::string> keys = {"r", "q", "last", "hidden", "shown", "a", "b", "new"};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        IniDocument doc = IniDocument::parse(text);
        const IniDocument before = IniDocument::parse(text);
        doc.set("setting", "new", "written");
        doc.set("setting", "q", "changed");
        const IniDocument after = IniDocument::parse(doc.print());
        for (const std::string& key : keys) {
            if (key == "new" || key == "q") {
                continue;
            }
            EXPECT_EQ(after.find("setting", key), before.find("setting", key)) << key;
        }
        EXPECT_EQ(after.find("setting", "new"), "written");
    }
}

}  // namespace
}  // namespace velkora
