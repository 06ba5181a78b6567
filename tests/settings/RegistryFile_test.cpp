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
        {"Plain", {regtype::kSz, "user.normal"}},
        {"", {regtype::kSz, "default value"}},
        {"@", {regtype::kSz, "a name that looks like the default"}},
        {"a=b", {regtype::kSz, "x=y"}},
        {"[NotAKey]", {regtype::kSz, "[x]"}},
        {";NotAComment", {regtype::kSz, "; still data"}},
        {" padded ", {regtype::kSz, " padded "}},
        {"Blank", {regtype::kSz, " "}},
        {"Control", {regtype::kSz, "tab\there\nnew\rline\0nul\x01\x7f\\end"s}},
        {"TrailingNul", {regtype::kSz, "user.global\0"s}},
        {"Utf8", {regtype::kSz, "Übernehme Größe"}},
        {"Expand", {regtype::kExpandSz, "%HOME%\\music"}},
        {"Number", {regtype::kDword, "\x2a\x00\x00\x80"s}},
        {"Binary", {regtype::kBinary, "\x00\xff"s}},
        {"Empty binary", {0x7, ""}},
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

TEST(RegistryFile, ReadsHandWrittenFilesAndSkipsWhatItCannotRead) {
    const RegistryFile file = RegistryFile::Parse(
        "; comment\r\n"
        "orphan=sz:no key yet\r\n"
        "[Software\\Sonavoxa]\r\n"
        "  AppPathConfig=sz:User.Normal\r\n"
        "# another comment\n"
        "Broken=sz:bad escape \\q\n"
        "NoKind=just text\n"
        "Count=dword:2A\n"
        "TooLong=dword:123456789\n"
        "Bytes=hex(3):01,0\n"
        "[unterminated\n"
        "Lost=sz:after a broken header\n"
        "[software\\sonavoxa\\]\n"
        "appPATHconfig=sz:local\n");
    EXPECT_EQ(file.Find("SOFTWARE\\SONAVOXA", "AppPathConfig")->data, "local")
        << "keys and names ignore letter case; the later line wins";
    EXPECT_EQ(file.Find("Software\\Sonavoxa", "Count")->data, "\x2a\0\0\0"s);
    for (const char* dropped : {"orphan", "Broken", "NoKind", "TooLong", "Bytes", "Lost"}) {
        EXPECT_EQ(file.Find("Software\\Sonavoxa", dropped), nullptr) << dropped;
    }
    EXPECT_FALSE(file.HasKey("unterminated"));
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
