#include "settings/RegistryFile.h"

#include <gtest/gtest.h>

namespace settings {
namespace {

using namespace std::string_literals;

TEST(RegistryFile, AwkwardNamesAndDataSurviveARoundTrip) {
    struct Case {
        std::string name;
        RegistryValue value;
    };
    const Case cases[] = {
        {"", {regtype::kSz, "default value"}},
        {"@", {regtype::kSz, "a name that looks like the default"}},
        {"a=b", {regtype::kSz, "x=y"}},
        {";NotAComment", {regtype::kSz, "; still data"}},
        {" padded ", {regtype::kSz, " padded "}},
        {"Control", {regtype::kSz, "tab\there\nnew\rline\0nul\x01\x7f\\end"s}},
        {"TrailingNul", {regtype::kSz, "user.global\0"s}},
        {"Expand", {regtype::kExpandSz, "%HOME%\\music"}},
        {"Number", {regtype::kDword, "\x2a\x00\x00\x80"s}},
        {"Binary", {regtype::kBinary, "\x00\xff"s}},
        {"Odd dword", {regtype::kDword, "\x01\x02"}},
        {"Big type", {0x12345678u, "x"}},
    };
    RegistryFile file;
    for (const Case& c : cases) ASSERT_TRUE(file.Set("Software\\Sonavoxa\\Tool", c.name, c.value));
    const std::string text = file.Serialize();
    const RegistryFile reread = RegistryFile::Parse(text);
    for (const Case& c : cases) {
        const RegistryValue* value = reread.Find("Software\\Sonavoxa\\Tool", c.name);
        ASSERT_NE(value, nullptr) << c.name << "\n" << text;
        EXPECT_EQ(*value, c.value) << c.name << "\n" << text;
    }
    EXPECT_EQ(reread.Serialize(), text);
}

TEST(RegistryFile, ReadsWhatAPersonMeant) {
    const RegistryFile file = RegistryFile::Parse(
        "\xEF\xBB\xBF[Software\\Sonavoxa]  \r\n"
        "  AppPathConfig = sz:User.Normal\r\n"
        "# another comment\n"
        "Plain = local\n"
        "Folder=sz:C:\\Music\\\n"
        "Count=DWORD:2A\n"
        "TooLong=dword:123456789\n"
        "Bytes=hex(3):01,0\n"
        "[unterminated\n"
        "Lost=sz:after a broken header\n"
        "[ software\\sonavoxa\\ ]\t\n"
        "appPATHconfig=sz:local\n");
    EXPECT_EQ(file.Find("SOFTWARE\\SONAVOXA", "AppPathConfig")->data, "local")
        << "the byte-order mark and the blanks hide nothing; the later line wins";
    EXPECT_EQ(file.Find("Software\\Sonavoxa", "Plain")->data, "local");
    EXPECT_EQ(file.Find("Software\\Sonavoxa", "Folder")->data, "C:\\Music\\");
    EXPECT_EQ(file.Find("Software\\Sonavoxa", "Count")->data, "\x2a\0\0\0"s);
    for (const char* unreadable : {"TooLong", "Bytes", "Lost"}) {
        EXPECT_EQ(file.Find("Software\\Sonavoxa", unreadable), nullptr) << unreadable;
    }
    EXPECT_FALSE(file.HasKey("unterminated"));
}

TEST(RegistryFile, ARewriteKeepsEveryLineItDidNotChange) {
    const std::string handWritten =
        "; my notes\r\n"
        "orphan=sz:no key yet\n"
        "[Software\\Sonavoxa\\RodividuZIDU]\n"
        "SkinVersion = 3.8\n"
        "Broken=dword:xyz\n"
        "[unterminated\n"
        "Other=sz:kept\n";
    RegistryFile file = RegistryFile::Parse(handWritten);
    ASSERT_TRUE(file.Set("Software\\Sonavoxa\\RodividuZIDU", "SkinVersion", {regtype::kSz, "3.9"}));
    ASSERT_TRUE(file.Set("Software\\Sonavoxa\\RodividuZIDU", "New", {regtype::kSz, "x"}));
    const std::string text = file.Serialize();
    for (const char* kept : {"; my notes", "orphan=sz:no key yet", "Broken=dword:xyz",
                             "[unterminated", "Other=sz:kept"}) {
        EXPECT_NE(text.find(kept), std::string::npos) << kept << "\n" << text;
    }
    EXPECT_EQ(text.find("3.8"), std::string::npos) << text;
    const RegistryFile reread = RegistryFile::Parse(text);
    EXPECT_EQ(reread.Find("Software\\Sonavoxa\\RodividuZIDU", "SkinVersion")->data, "3.9");
    EXPECT_EQ(reread.Find("Software\\Sonavoxa\\RodividuZIDU", "New")->data, "x");
    EXPECT_EQ(reread.Serialize(), text) << "a second rewrite changes nothing";
}

// Found by fuzzing: repeated byte-order marks, a line ending in two CRs, a key path ending in a
// backslash and a blank, and a key opened again after an unreadable key line each changed on
// rewrite (the last two lost values).
TEST(RegistryFile, RewritingTwiceChangesNothing) {
    for (const char* text : {"\xEF\xBB\xBF\xEF\xBB\xBF;o;o", "; note\r\r\n[k]\nx=sz:1\r\r\n",
                             "[k\\ ]\nx=sz:1\n", "[ k \\ \\ ] \nx=sz:1\n",
                             "[k]\nz=sz:0\n[broken\nw=sz:9\n[k]\nx=sz:1\n"}) {
        RegistryFile file = RegistryFile::Parse(text);
        file.Set("k", "y", {regtype::kSz, "2"});
        const std::string once = file.Serialize();
        const RegistryFile reread = RegistryFile::Parse(once);
        EXPECT_EQ(reread.Serialize(), once) << text;
        ASSERT_NE(reread.Find("k", "y"), nullptr) << once;
        if (file.Find("k", "x")) {
            EXPECT_NE(reread.Find("k", "x"), nullptr) << once;
        }
    }
}

TEST(RegistryFile, KeepsTheCaseItWasFirstWrittenWithAndSpellsOutATrailingBlank) {
    RegistryFile file;
    file.Set("Software\\Sonavoxa\\RodividuZIDU", "SkinVersion", {regtype::kSz, " "});
    file.Set("SOFTWARE\\SONAVOXA\\RODIVIDUZIDU", "SKINVERSION", {regtype::kSz, "3.9 "});
    EXPECT_NE(
        file.Serialize().find("[Software\\Sonavoxa\\RodividuZIDU]\nSkinVersion=sz:3.9\\x20\n"),
        std::string::npos)
        << file.Serialize();
}

TEST(RegistryFile, RefusesKeyPathsNoLineCanHold) {
    RegistryFile file;
    EXPECT_FALSE(file.AddKey("Software\nSonavoxa"));
    EXPECT_FALSE(file.Set("Soft\x01ware", "x", {}));
    EXPECT_EQ(file.Serialize().find("\n["), std::string::npos);
}

}  // namespace
}  // namespace settings
