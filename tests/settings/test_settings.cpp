// test_settings.cpp - Pelkoran.ini: reading hand-written files, the TRUE rule, other contents kept, location, garbage.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <tuple>

#include "settings.h"
#include "test_support.h"

namespace pelkoran {
namespace {

using test_support::list_dir;
using test_support::read_file;
using test_support::write_file;

// A temporary directory, and HOME pointed into it.
struct SettingsFile : ::testing::Test {
    test_support::TempDir dir;
    std::string path = dir / "Pelkoran.ini";
    std::string home = dir / "home";
    std::string old_home = std::getenv("HOME") ? std::getenv("HOME") : "";

    void SetUp() override { setenv("HOME", home.c_str(), 1); }
    void TearDown() override
    {
        setenv("HOME", old_home.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
};

// Runs `check` as an ordinary user: in a child process when we are root,
// who may read every file.
bool AsOrdinaryUser(const std::function<bool()>& check)
{
    return geteuid() != 0 ? check() : test_support::run_in_child([&] { return check() ? 0 : 1; }, true) == 0;
}

// No file gives the defaults. A file written by hand is read as the Windows
// profile functions read it: a BOM, any case of names, blanks, comments, the
// first key and the first section winning, quotes. Only "TRUE" is true.
TEST_F(SettingsFile, ReadsHandWrittenFilesAndOnlyUpperCaseTrueIsTrue)
{
    struct Case {
        const char* text;
        std::string output_dir;
        bool same_place, trim;
    };
    const Case cases[] = {
        {nullptr, home, true, false},
        {"\xEF\xBB\xBF[path]\r\n  outputdir =  C:\\out\\  \r\n; IsTrimEXT=FALSE\r\nIsTrimEXT=TRUE\r\n"
         "IsTrimEXT=FALSE\r\n[Path]\r\nIsSamePlace=FALSE\r\n",
         "C:\\out\\", true, true},
        {"[Path]\nIsSamePlace=true\nIsTrimEXT=True\nOutputDir=\n", "", false, false},
        {"[Path]\nIsSamePlace=1\nIsTrimEXT= TRUE \nOutputDir=\"  x  \"\n", "  x  ", false, true},
    };
    for (const Case& c : cases) {
        if (c.text)
            write_file(path, c.text);
        Settings s = LoadSettings(path);
        EXPECT_EQ(s.output_dir, c.output_dir) << (c.text ? c.text : "no file");
        EXPECT_EQ(s.same_place, c.same_place) << (c.text ? c.text : "no file");
        EXPECT_EQ(s.trim_ext, c.trim) << (c.text ? c.text : "no file");
    }
}

// A new file holds the three keys; values that would not read back plain are
// quoted. A file written by hand, reached through a link, keeps its other
// sections, comments, line ends, mode and the link; no temporary file stays.
TEST_F(SettingsFile, SavesTheThreeKeysKeepingEverythingElse)
{
    ASSERT_TRUE(SaveSettings(path, Settings{"  /srv/out dir/  ", false, true}));
    EXPECT_EQ(read_file(path),
              "[Path]\nOutputDir=\"  /srv/out dir/  \"\nIsSamePlace=FALSE\nIsTrimEXT=TRUE\n");
    for (std::string value : {"\"quoted\"", "'single'", "", "C:\\", "a=b;c", "\t"}) {
        ASSERT_TRUE(SaveSettings(path, Settings{value, true, false}));
        EXPECT_EQ(LoadSettings(path).output_dir, value);
    }

    const std::string real = dir / "real.ini";
    write_file(real,
               "; by hand\r\n[Window]\r\nWidth=640\r\n\r\n[Path]\r\nOutputDir=C:\\old\r\nNote=keep\r\n"
               "\r\n[Last]\r\nk=v\r\n");
    chmod(real.c_str(), 0640);
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(symlink(real.c_str(), path.c_str()), 0);
    ASSERT_TRUE(SaveSettings(path, Settings{"C:\\new\\", true, false}));
    EXPECT_EQ(read_file(real),
              "; by hand\r\n[Window]\r\nWidth=640\r\n\r\n[Path]\r\nOutputDir=C:\\new\\\r\nNote=keep\r\n"
              "IsSamePlace=TRUE\r\nIsTrimEXT=FALSE\r\n\r\n[Last]\r\nk=v\r\n");
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(list_dir(dir.path()), (std::vector<std::string>{"Pelkoran.ini", "real.ini"}));
}

// Method, level and verify live in [Compression]: a file without it (one of
// the three [Path] keys only) and values that are not the names, byte for
// byte, read as lh5, normal and off; verify is on only for "TRUE". Saving
// the defaults writes the three [Path] keys and nothing else; a key that
// differs from its default adds the section after the rest, and once there
// it is kept up to date, back to the defaults too.
TEST_F(SettingsFile, CompressionSectionOnlyOnceAChoiceDiffersFromTheDefaults)
{
    struct Case {
        const char* text;
        const char* method;
        const char* level;
        bool verify;
    };
    const Case reads[] = {
        {"[Path]\nOutputDir=/a\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n", "lh5", "normal", false},
        {"[Compression]\nMethod=lh7\nLevel=best\n[Path]\nOutputDir=/a\n", "lh7", "best", false},
        {"[compression]\nmethod = lh6 \nlevel=\"fast\"\n", "lh6", "fast", false},
        {"[Compression]\nMethod=LH7\nLevel=Best\nVerify=TRUE\n", "lh5", "normal", true},
        {"[Compression]\nMethod=-lh7-\nLevel=max\nVerify=true\n", "lh5", "normal", false},
        {"[Compression]\nVerify=1\n", "lh5", "normal", false},
        {"[Path]\nMethod=lh7\nLevel=best\nVerify=TRUE\n", "lh5", "normal", false},
    };
    for (const Case& c : reads) {
        write_file(path, c.text);
        Settings s = LoadSettings(path);
        EXPECT_EQ(std::tie(s.method, s.level, s.verify), std::tie(c.method, c.level, c.verify)) << c.text;
    }

    const std::string old_file = "[Path]\nOutputDir=/a\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n";
    ASSERT_EQ(unlink(path.c_str()), 0);
    Settings s{"/a", true, false};
    ASSERT_TRUE(SaveSettings(path, s));
    EXPECT_EQ(read_file(path), old_file);
    s.verify = true;
    ASSERT_TRUE(SaveSettings(path, s));
    EXPECT_EQ(read_file(path), old_file + "\n[Compression]\nVerify=TRUE\n");
    s.verify = false;
    ASSERT_TRUE(SaveSettings(path, s));
    EXPECT_EQ(read_file(path), old_file + "\n[Compression]\nVerify=FALSE\n");

    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_TRUE(SaveSettings(path, Settings{"/a", true, false, "lh7", "normal"}));
    EXPECT_EQ(read_file(path), old_file + "\n[Compression]\nMethod=lh7\nLevel=normal\n");
    ASSERT_TRUE(SaveSettings(path, Settings{"/b", false, false, "lh5", "normal"}));
    EXPECT_EQ(read_file(path),
              "[Path]\nOutputDir=/b\nIsSamePlace=FALSE\nIsTrimEXT=FALSE\n\n"
              "[Compression]\nMethod=lh5\nLevel=normal\n");
    Settings back = LoadSettings(path);
    EXPECT_EQ(std::tie(back.output_dir, back.method, back.level), std::tie("/b", "lh5", "normal"));
}

// What stands in the file's place never crashes or blocks a load; the save
// keeps what it could read, and leaves alone what it could not.
TEST_F(SettingsFile, GarbageNeverCrashesAndGivesWhatCanBeRead)
{
    std::string junk;
    for (int i = 0; i < 70000; ++i)
        junk += static_cast<char>((i * 7919) & 0xff);
    const std::string long_line = std::string(10 * 1024 * 1024, 'x') + "\n[Path]\n";
    struct Case {
        const char* what;
        std::function<void()> make;
        bool trim_read;
        std::string kept;  // empty: not saved, left exactly as it was
    };
    const Case cases[] = {
        {"10 MB line", [&] { write_file(path, long_line + "IsTrimEXT=TRUE\n"); }, true, long_line},
        {"binary", [&] { write_file(path, junk); }, false, junk},
        {"FIFO", [&] { mkfifo(path.c_str(), 0644); }, false, ""},
        {"directory", [&] { mkdir(path.c_str(), 0755); }, false, ""},
        {"unreadable",
         [&] {
             write_file(path, "[Path]\nIsTrimEXT=TRUE\n");
             chmod(path.c_str(), 0200);
         },
         false, ""},
    };
    chmod(dir.path().c_str(), 0777);
    auto identity = [](const struct stat& s) {
        return std::tuple(s.st_ino, s.st_mode, s.st_size, s.st_mtim.tv_nsec);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(path);
        c.make();
        struct stat before {
        }, after{};
        ASSERT_EQ(lstat(path.c_str(), &before), 0);
        EXPECT_TRUE(AsOrdinaryUser([&] {
            return LoadSettings(path).trim_ext == c.trim_read &&
                   SaveSettings(path, Settings{"/x", false, false}) == !c.kept.empty();
        }));
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        if (c.kept.empty()) {
            EXPECT_EQ(identity(after), identity(before));
        } else {
            EXPECT_TRUE(read_file(path).starts_with(c.kept));
            EXPECT_EQ(LoadSettings(path).output_dir, "/x");
        }
        EXPECT_EQ(list_dir(dir.path()), std::vector<std::string>{"Pelkoran.ini"});
    }
}

// Beside the program when it can be written there, else in the
// configuration directory: $XDG_CONFIG_HOME when absolute, else ~/.config.
TEST_F(SettingsFile, LivesBesideTheProgramWhenItCanElseInTheConfigDirectory)
{
    EXPECT_EQ(access((GetModuleDir() + "settings_tests").c_str(), X_OK), 0);
    const std::string bin = dir / "bin/";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    EXPECT_EQ(SettingsFilePath(bin), bin + "Pelkoran.ini");

    const std::string installed = dir / "usr/bin/";  // cannot be written: it does not exist
    setenv("XDG_CONFIG_HOME", (dir / "xdg").c_str(), 1);
    const std::string config = SettingsFilePath(installed);
    EXPECT_EQ(config, dir / "xdg/Pelkoran/Pelkoran.ini");
    ASSERT_TRUE(SaveSettings(config, Settings{"/y", true, true}));  // creates xdg/Pelkoran/
    EXPECT_TRUE(LoadSettings(config).trim_ext);
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(SettingsFilePath(installed), home + "/.config/Pelkoran/Pelkoran.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFilePath(installed), home + "/.config/Pelkoran/Pelkoran.ini");
}

// Another user (nobody) beside a program installed by root: a Pelkoran.ini
// that root wrote there is not theirs, so theirs lives in their
// configuration directory; one they may write is theirs and is rewritten in
// place (the folder takes no temporary file), whole, owner and inode kept;
// with no file, a folder they may write takes a new one.
TEST_F(SettingsFile, BesideTheProgramOnlyWhenThisUserMayWriteIt)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string bin = dir / "bin/", open_bin = dir / "open/";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(open_bin.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open_bin.c_str(), 0777), 0);
    ASSERT_EQ(mkdir(home.c_str(), 0777), 0);
    ASSERT_EQ(chmod(home.c_str(), 0777), 0);
    const std::string config = home + "/.config/Pelkoran/Pelkoran.ini";

    write_file(bin + "Pelkoran.ini", "[Path]\nOutputDir=/root-only\n");
    ASSERT_EQ(chmod((bin + "Pelkoran.ini").c_str(), 0644), 0);
    EXPECT_EQ(SettingsFilePath(bin), bin + "Pelkoran.ini");  // root's own
    EXPECT_TRUE(AsOrdinaryUser([&] {
        return SettingsFilePath(bin) == config && SaveSettings(config, Settings{"/mine", false, true}) &&
               LoadSettings(config).output_dir == "/mine";
    }));
    EXPECT_EQ(LoadSettings(bin + "Pelkoran.ini").output_dir, "/root-only");

    ASSERT_EQ(chmod((bin + "Pelkoran.ini").c_str(), 0666), 0);
    struct stat before {};
    ASSERT_EQ(stat((bin + "Pelkoran.ini").c_str(), &before), 0);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        const std::string ini = SettingsFilePath(bin);
        return ini == bin + "Pelkoran.ini" && SaveSettings(ini, Settings{"/shared", true, false});
    }));
    struct stat after {};
    ASSERT_EQ(stat((bin + "Pelkoran.ini").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    EXPECT_EQ(read_file(bin + "Pelkoran.ini"),
              "[Path]\nOutputDir=/shared\nIsSamePlace=TRUE\nIsTrimEXT=FALSE\n");
    EXPECT_EQ(list_dir(bin).size(), 1u);

    ASSERT_EQ(unlink((bin + "Pelkoran.ini").c_str()), 0);
    EXPECT_TRUE(AsOrdinaryUser([&] {
        return SettingsFilePath(bin) == config && SettingsFilePath(open_bin) == open_bin + "Pelkoran.ini";
    }));
}

}  // namespace
}  // namespace pelkoran
