// test_settings.cpp - Pelkoran.ini: defaults, the TRUE rule, other contents kept, location, garbage.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "settings.h"

namespace pelkoran {
namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// A temporary directory, and HOME pointed into it.
struct SettingsFile : ::testing::Test {
    std::string dir;
    std::string path;
    std::string old_home;

    void SetUp() override
    {
        char tmpl[] = "/tmp/pelkoran-settings-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        path = dir + "/Pelkoran.ini";
        if (const char* h = std::getenv("HOME"))
            old_home = h;
        setenv("HOME", (dir + "/home").c_str(), 1);
    }
    void TearDown() override
    {
        setenv("HOME", old_home.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        std::system(("chmod -R u+rwx '" + dir + "'; rm -rf '" + dir + "'").c_str());
    }
    // Entries of `d` other than `.` and `..`.
    std::vector<std::string> Entries(const std::string& d)
    {
        std::vector<std::string> names;
        if (DIR* dp = opendir(d.c_str())) {
            while (dirent* e = readdir(dp)) {
                std::string n = e->d_name;
                if (n != "." && n != "..")
                    names.push_back(n);
            }
            closedir(dp);
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(SettingsFile, MissingFileGivesDefaults)
{
    Settings s = LoadSettings(path);
    EXPECT_EQ(s.output_dir, dir + "/home");
    EXPECT_TRUE(s.same_place);
    EXPECT_FALSE(s.trim_ext);
}

TEST_F(SettingsFile, NewFileHoldsTheThreeKeysAndReadsBack)
{
    Settings s{"  /srv/out dir/  ", false, true};
    ASSERT_TRUE(SaveSettings(path, s));
    EXPECT_EQ(ReadFile(path), "[Path]\nOutputDir=\"  /srv/out dir/  \"\nIsSamePlace=FALSE\nIsTrimEXT=TRUE\n");
    Settings r = LoadSettings(path);
    EXPECT_EQ(r.output_dir, s.output_dir);
    EXPECT_FALSE(r.same_place);
    EXPECT_TRUE(r.trim_ext);
    // Written whole and renamed: no temporary file is left beside it.
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Pelkoran.ini"});
}

TEST_F(SettingsFile, OnlyUpperCaseTrueIsTrue)
{
    for (const char* value : {"true", "True", "1", "yes", ""}) {
        WriteFile(path, std::string("[Path]\nIsSamePlace=") + value + "\nIsTrimEXT=" + value + "\n");
        Settings s = LoadSettings(path);
        EXPECT_FALSE(s.same_place) << value;
        EXPECT_FALSE(s.trim_ext) << value;
    }
    WriteFile(path, "[Path]\nIsSamePlace = TRUE \nIsTrimEXT=TRUE\nOutputDir=\n");
    Settings s = LoadSettings(path);
    EXPECT_TRUE(s.same_place);
    EXPECT_TRUE(s.trim_ext);
    EXPECT_EQ(s.output_dir, "");  // present but empty is not missing
}

TEST_F(SettingsFile, KeepsOtherSectionsKeysAndComments)
{
    std::string before = "; written by hand\r\n[Window]\r\nWidth=640\r\n\r\n[Path]\r\nOutputDir=C:\\old\r\nNote=keep me\r\n";
    WriteFile(path, before);
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(SaveSettings(path, Settings{"C:\\new\\", true, false}));
    EXPECT_EQ(ReadFile(path),
              "; written by hand\r\n[Window]\r\nWidth=640\r\n\r\n[Path]\r\nOutputDir=C:\\new\\\r\nNote=keep me\r\n"
              "IsSamePlace=TRUE\r\nIsTrimEXT=FALSE\r\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(SettingsFile, GarbageNeverCrashesAndGivesWhatCanBeRead)
{
    // A 10 MB line before the section.
    WriteFile(path, std::string(10 * 1024 * 1024, 'x') + "\n[Path]\nIsTrimEXT=TRUE\n");
    EXPECT_TRUE(LoadSettings(path).trim_ext);

    // Binary garbage, NUL bytes included.
    std::string junk;
    for (int i = 0; i < 70000; ++i)
        junk += static_cast<char>((i * 7919) & 0xff);
    WriteFile(path, junk);
    Settings s = LoadSettings(path);
    EXPECT_TRUE(s.same_place);
    ASSERT_TRUE(SaveSettings(path, Settings{"/x", false, false}));
    EXPECT_EQ(ReadFile(path).substr(0, junk.size()), junk);  // the garbage is kept
    EXPECT_EQ(LoadSettings(path).output_dir, "/x");
}

TEST_F(SettingsFile, DirectoryOrFifoInItsPlaceIsLeftAlone)
{
    // A FIFO must neither block the read nor be replaced.
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    EXPECT_TRUE(LoadSettings(path).same_place);
    EXPECT_FALSE(SaveSettings(path, Settings{"/x", false, false}));
    ASSERT_EQ(unlink(path.c_str()), 0);

    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    EXPECT_EQ(LoadSettings(path).output_dir, dir + "/home");
    EXPECT_FALSE(SaveSettings(path, Settings{"/x", true, false}));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Pelkoran.ini"});
}

TEST_F(SettingsFile, UnreadableFileIsNeitherReadNorReplaced)
{
    WriteFile(path, "[Path]\nIsTrimEXT=TRUE\n[Other]\na=1\n");
    chmod(path.c_str(), 0200);
    chmod(dir.c_str(), 0777);
    // Root reads every file: check as an ordinary user, in a child process.
    auto check = [&] {
        return !LoadSettings(path).trim_ext && !SaveSettings(path, Settings{"/x", true, false});
    };
    if (geteuid() == 0) {
        pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            bool ok = setgid(65534) == 0 && setuid(65534) == 0 && check();
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    } else {
        EXPECT_TRUE(check());
    }
    chmod(path.c_str(), 0600);
    EXPECT_EQ(ReadFile(path), "[Path]\nIsTrimEXT=TRUE\n[Other]\na=1\n");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"Pelkoran.ini"});
}

TEST_F(SettingsFile, LivesBesideTheProgramWhenItCanElseInTheConfigDirectory)
{
    std::string bin = dir + "/bin/";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    EXPECT_EQ(SettingsFilePath(bin), bin + "Pelkoran.ini");

    // A directory that cannot be written (here: one that does not exist).
    std::string installed = dir + "/usr/bin/";
    setenv("XDG_CONFIG_HOME", (dir + "/xdg").c_str(), 1);
    std::string config = SettingsFilePath(installed);
    EXPECT_EQ(config, dir + "/xdg/Pelkoran/Pelkoran.ini");
    ASSERT_TRUE(SaveSettings(config, Settings{"/y", true, true}));  // creates xdg/Pelkoran/
    EXPECT_TRUE(LoadSettings(config).trim_ext);

    // A relative XDG_CONFIG_HOME is ignored, as the base directory rules say.
    setenv("XDG_CONFIG_HOME", "relative", 1);
    EXPECT_EQ(SettingsFilePath(installed), dir + "/home/.config/Pelkoran/Pelkoran.ini");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFilePath(installed), dir + "/home/.config/Pelkoran/Pelkoran.ini");
}

TEST_F(SettingsFile, SavingThroughASymlinkKeepsTheLink)
{
    std::string real = dir + "/real.ini";
    WriteFile(real, "[Other]\na=1\n");
    ASSERT_EQ(symlink(real.c_str(), path.c_str()), 0);
    ASSERT_TRUE(SaveSettings(path, Settings{"/z", true, false}));
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(LoadSettings(real).output_dir, "/z");
}

TEST(ModuleDir, IsTheTestProgramsDirectory)
{
    std::string dir = GetModuleDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(GetModuleDirFile("Pelkoran.ini"), dir + "Pelkoran.ini");
    EXPECT_EQ(access((dir + "settings_tests").c_str(), X_OK), 0);
}

}  // namespace
}  // namespace pelkoran
