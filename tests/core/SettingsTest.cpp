// The settings file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <fstream>
#include <sstream>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Numbers.h"
#include "core/Settings.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteAll(const fs::path& p, const std::string& text)
{
    std::ofstream out(p, std::ios::binary);
    out << text;
}

// A fresh directory per test, removed afterwards; environment restored.
class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/morvane-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        Save("MORVANE_INI");
        Save("XDG_CONFIG_HOME");
        Save("HOME");
        ::unsetenv("MORVANE_INI");
    }
    void TearDown() override
    {
        for (auto& [name, value] : env_) {
            if (value.first)
                ::setenv(name.c_str(), value.second.c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::error_code ec;
        for (auto& e : fs::recursive_directory_iterator(dir_, ec))
            ::chmod(e.path().c_str(), 0755);
        ::chmod(dir_.c_str(), 0755);
        fs::remove_all(dir_, ec);
    }
    void Save(const std::string& name)
    {
        const char* v = std::getenv(name.c_str());
        env_[name] = {v != nullptr, v ? v : ""};
    }
    // chmod keeps nobody out when the tests run as root
    // Runs body with rights that chmod restricts: directly for an ordinary user; as root
    // (as in CI) in a child process that first drops to the user "nobody".
    void AsUnprivileged(const std::function<void()>& body)
    {
        if (::geteuid() != 0) {
            body();
            return;
        }
        ::chmod(dir_.c_str(), 0777);  // nobody works below the test folder
        EXPECT_EXIT(
            {
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    std::_Exit(3);
                body();
                std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
            },
            ::testing::ExitedWithCode(0), "");
    }

    fs::path dir_;
    std::map<std::string, std::pair<bool, std::string>> env_;
};

TEST_F(Settings, DefaultsWhenFileOrKeyIsMissing)
{
    TSettings s((dir_ / "none.ini").string());
    EXPECT_EQ(s.ReadString("Open", "Dir", "/home"), "/home");
    EXPECT_EQ(s.ReadInteger("MainForm", "Left", 17), 17);
    EXPECT_TRUE(s.ReadBool("Scale", "Show", true));
    EXPECT_EQ(s.ReadFloat("Filter", "c_x", 1.5), 1.5);
    EXPECT_FALSE(s.ValueExists("Open", "Dir"));
    EXPECT_TRUE(s.ReadSection("Open").empty());
    EXPECT_FALSE(fs::exists(dir_ / "none.ini"));  // reading writes nothing
}

TEST_F(Settings, ReadsKeysWithoutRegardToCase)
{
    WriteAll(dir_ / "m.ini",
             "[FontzBar]\nSize=12\nName=Arial\n[MainForm]\nLeft=-20\nMaximized=1\nFlag=true\nOff=false\n"
             "Bad=12x\nRatio=0,25\nExact=1e-3\nEmpty=\n");
    TSettings s((dir_ / "m.ini").string());
    EXPECT_EQ(s.ReadInteger("FontZBar", "size", 0), 12);
    EXPECT_EQ(s.ReadString("FONTZBAR", "NAME", ""), "Arial");
    EXPECT_EQ(s.ReadInteger("mainform", "left", 0), -20);
    EXPECT_TRUE(s.ReadBool("MainForm", "Maximized", false));
    EXPECT_TRUE(s.ReadBool("MainForm", "Flag", false));
    EXPECT_FALSE(s.ReadBool("MainForm", "Off", true));
    EXPECT_EQ(s.ReadInteger("MainForm", "Bad", 99), 99);  // unreadable: the default
    EXPECT_TRUE(s.ReadBool("MainForm", "Bad", true));
    EXPECT_FALSE(s.ReadBool("MainForm", "Bad", false));
    EXPECT_EQ(s.ReadFloat("MainForm", "Bad", 2.0), 2.0);
    EXPECT_EQ(s.ReadFloat("MainForm", "Ratio", 0.0), 0.25);  // either decimal mark
    EXPECT_EQ(s.ReadFloat("MainForm", "Exact", 0.0), 1e-3);
    EXPECT_EQ(s.ReadInteger("MainForm", "Empty", 5), 5);
    EXPECT_EQ(s.ReadString("MainForm", "Empty", "x"), "");
    EXPECT_TRUE(s.ValueExists("mainFORM", "EMPTY"));
    EXPECT_EQ(s.ReadSection("MainForm"),
              (std::vector<std::string>{"Left", "Maximized", "Flag", "Off", "Bad", "Ratio", "Exact", "Empty"}));
}

TEST_F(Settings, EveryWriteReachesTheFileAndPersists)
{
    const std::string path = (dir_ / "p.ini").string();
    {
        TSettings a(path);
        a.WriteInteger("MainForm", "Top", 120);
        EXPECT_TRUE(a.LastWriteOk());
        TSettings b(path);  // a second object sees the file as it is now
        EXPECT_EQ(b.ReadInteger("MainForm", "Top", 0), 120);
        a.WriteBool("Scale", "Show", true);
        a.WriteBool("Scale", "Grid", false);
        a.WriteString("Open", "Dir", "/data/scan\xE4");  // Latin-1 kept as it is
        a.WriteFloat("Filter", "c_x", 0.1);
        a.WriteFloat("Filter", "d_x", 1.0 / 3.0);
        a.WriteInteger("mainform", "TOP", 7);  // same key, other spelling
    }
    const std::string text = ReadAll(path);
    EXPECT_NE(text.find("Show=1"), std::string::npos);
    EXPECT_NE(text.find("Grid=0"), std::string::npos);
    EXPECT_NE(text.find("c_x=0.1\n"), std::string::npos);
    EXPECT_EQ(text.find("TOP"), std::string::npos);
    TSettings c(path);
    EXPECT_EQ(c.ReadInteger("MainForm", "Top", 0), 7);
    EXPECT_TRUE(c.ReadBool("Scale", "Show", false));
    EXPECT_FALSE(c.ReadBool("Scale", "Grid", true));
    EXPECT_EQ(c.ReadString("Open", "Dir", ""), "/data/scan\xE4");
    EXPECT_EQ(c.ReadFloat("Filter", "c_x", 0), 0.1);
    EXPECT_EQ(c.ReadFloat("Filter", "d_x", 0), 1.0 / 3.0);  // exactly, full precision
    // nothing left over from the replacement files
    int files = 0;
    for (auto& e : fs::directory_iterator(dir_)) (void)e, ++files;
    EXPECT_EQ(files, 1);
}

TEST_F(Settings, FloatsAreWrittenWithAPointWhateverTheSeparator)
{
    const std::string path = (dir_ / "f.ini").string();
    SetDecimalSeparator(',');
    {
        TSettings a(path);
        a.WriteFloat("A3D", "Zoom", 2.5);
        EXPECT_EQ(a.ReadFloat("A3D", "Zoom", 0), 2.5);
    }
    SetDecimalSeparator('.');
    EXPECT_NE(ReadAll(path).find("Zoom=2.5"), std::string::npos);
}

TEST_F(Settings, EraseSectionAndDeleteKey)
{
    const std::string path = (dir_ / "e.ini").string();
    TSettings a(path);
    a.WriteString("DefautChecked", "1", "1");
    a.WriteString("DefautChecked", "2", "0");
    a.WriteString("Open", "Dir", "x");
    a.DeleteKey("defautchecked", "1");
    EXPECT_EQ(a.ReadSection("DefautChecked"), std::vector<std::string>{"2"});
    a.EraseSection("DEFAUTCHECKED");
    EXPECT_TRUE(a.ReadSection("DefautChecked").empty());
    TSettings b(path);
    EXPECT_FALSE(b.ValueExists("DefautChecked", "2"));
    EXPECT_EQ(b.ReadString("Open", "Dir", ""), "x");
}

TEST_F(Settings, AMissingFolderIsCreated)
{
    const std::string path = (dir_ / "missing" / "deeper" / "s.ini").string();
    TSettings a(path);
    a.WriteInteger("MainForm", "Left", 3);
    EXPECT_TRUE(a.LastWriteOk());
    TSettings b(path);
    EXPECT_EQ(b.ReadInteger("MainForm", "Left", 0), 3);
}

TEST_F(Settings, AFailedWriteKeepsTheValueInMemory)
{
    // the folder's place is taken by a plain file: nothing can be written there
    { std::ofstream(dir_ / "blocked") << "x"; }
    const std::string path = (dir_ / "blocked" / "s.ini").string();
    TSettings a(path);
    a.WriteInteger("MainForm", "Left", 3);
    EXPECT_FALSE(a.LastWriteOk());
    EXPECT_EQ(a.ReadInteger("MainForm", "Left", 0), 3);
}

TEST_F(Settings, EnvironmentOverridesTheLocation)
{
    const std::string path = (dir_ / "env.ini").string();
    ::setenv("MORVANE_INI", path.c_str(), 1);
    EXPECT_EQ(TSettings::DefaultPath((dir_ / "bin").string()), path);
}

TEST_F(Settings, BesideTheExecutableWhenWritable)
{
    fs::create_directory(dir_ / "bin");
    EXPECT_EQ(fs::path(TSettings::DefaultPath((dir_ / "bin").string())), dir_ / "bin" / "morvane.ini");
    WriteAll(dir_ / "bin" / "morvane.ini", "[Open]\nDir=/x\n");
    EXPECT_EQ(fs::path(TSettings::DefaultPath((dir_ / "bin").string())), dir_ / "bin" / "morvane.ini");
}

TEST_F(Settings, ReadOnlyFolderFallsBackToTheUserConfigKeepingSettings)
{
    const fs::path bin = dir_ / "bin";
    fs::create_directory(bin);
    WriteAll(bin / "morvane.ini", "[Open]\nDir=/kept\n");
    ::chmod(bin.c_str(), 0555);
    AsUnprivileged([&] {
    ASSERT_NE(::access(bin.c_str(), W_OK), 0);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "cfg").c_str(), 1);
    const std::string path = TSettings::DefaultPath(bin.string());
    EXPECT_EQ(fs::path(path), dir_ / "cfg" / "morvane" / "morvane.ini");
    {
        TSettings s(path);
        EXPECT_EQ(s.ReadString("Open", "Dir", ""), "/kept");  // seeded from the file beside the program
        s.WriteString("Open", "Dir", "/new");
        EXPECT_TRUE(s.LastWriteOk());
    }
    // an existing user file is not overwritten by the seed again
    EXPECT_EQ(TSettings::DefaultPath(bin.string()), path);
    EXPECT_EQ(TSettings(path).ReadString("Open", "Dir", ""), "/new");

    // without XDG_CONFIG_HOME: ~/.config
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", (dir_ / "home").c_str(), 1);
    fs::create_directory(dir_ / "home");
    EXPECT_EQ(fs::path(TSettings::DefaultPath(bin.string())), dir_ / "home" / ".config" / "morvane" / "morvane.ini");
    });
}

TEST_F(Settings, ReadOnlyFileBesideTheExecutableFallsBack)
{
    const fs::path bin = dir_ / "bin";
    fs::create_directory(bin);
    WriteAll(bin / "morvane.ini", "[Open]\nDir=/ro\n");
    ::chmod((bin / "morvane.ini").c_str(), 0444);
    AsUnprivileged([&] {
    ASSERT_NE(::access((bin / "morvane.ini").c_str(), W_OK), 0);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "cfg").c_str(), 1);
    const std::string path = TSettings::DefaultPath(bin.string());
    EXPECT_EQ(fs::path(path), dir_ / "cfg" / "morvane" / "morvane.ini");
    EXPECT_EQ(TSettings(path).ReadString("Open", "Dir", ""), "/ro");
    });
}

TEST_F(Settings, AWriteInAReadOnlyFolderFailsWithoutThrowing)
{
    const fs::path ro = dir_ / "ro";
    fs::create_directory(ro);
    WriteAll(ro / "s.ini", "[A]\nB=1\n");
    ::chmod(ro.c_str(), 0555);
    AsUnprivileged([&] {
    ASSERT_NE(::access(ro.c_str(), W_OK), 0);
    TSettings s((ro / "s.ini").string());
    EXPECT_NO_THROW(s.WriteInteger("A", "B", 2));
    EXPECT_FALSE(s.LastWriteOk());
    EXPECT_EQ(s.ReadInteger("A", "B", 0), 2);
    EXPECT_EQ(ReadAll(ro / "s.ini"), "[A]\nB=1\n");  // the old file is intact
    });
}

}  // namespace
