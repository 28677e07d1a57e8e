// settings.cpp - reading and writing the keys of Pelkoran.ini.
#include "settings.h"

#include <optional>

#include "profile_file.h"
#include "settings_platform.h"

namespace pelkoran {

namespace {

constexpr char kTrue[] = "TRUE";
constexpr char kFalse[] = "FALSE";

bool ReadFlag(const ProfileFile& file, const char* key, bool fallback, const char* section = kSettingsSection)
{
    std::optional<std::string> value = file.Get(section, key);
    if (!value)
        return fallback;
    return *value == kTrue;
}

// A value of [Compression] when it is one of `names`, else `fallback`.
template <std::size_t N>
std::string ReadName(const ProfileFile& file, const char* key, const char* const (&names)[N],
                     const char* fallback)
{
    std::optional<std::string> value = file.Get(kCompressionSection, key);
    if (value)
        for (const char* name : names)
            if (*value == name)
                return *value;
    return fallback;
}

constexpr const char* kMethods[] = {"lh5", "lh6", "lh7"};
constexpr const char* kLevels[] = {"fast", "normal", "best"};

}  // namespace

Settings DefaultSettings()
{
    Settings settings;
    settings.output_dir = HomeDirectory();
    settings.same_place = true;
    settings.trim_ext = false;
    return settings;
}

std::string GetModuleDirFile(const std::string& name)
{
    return GetModuleDir() + name;
}

std::string SettingsFilePath()
{
    return SettingsFilePath(GetModuleDir());
}

Settings LoadSettings(const std::string& path)
{
    Settings settings = DefaultSettings();
    ProfileFile file;
    if (!file.Load(path))
        return settings;
    if (std::optional<std::string> dir = file.Get(kSettingsSection, kKeyOutputDir))
        settings.output_dir = SettingsTextToUtf8(*dir);
    settings.same_place = ReadFlag(file, kKeyIsSamePlace, true);
    settings.trim_ext = ReadFlag(file, kKeyIsTrimExt, false);
    const Settings defaults;
    settings.method = ReadName(file, kKeyMethod, kMethods, defaults.method.c_str());
    settings.level = ReadName(file, kKeyLevel, kLevels, defaults.level.c_str());
    settings.verify = ReadFlag(file, kKeyVerify, false, kCompressionSection);
    return settings;
}

/*
 * SaveSettings - see the header. A symbolic link at `path` is written
 * through (its target is replaced, the link stays).
 */
bool SaveSettings(const std::string& path, const Settings& settings)
{
    const std::string target = SettingsWriteTarget(path);
    ProfileFile file;
    const std::optional<unsigned> mode = SettingsFileMode(target);
    const bool exists = mode.has_value();
    if (exists) {
        // An existing file we cannot read is not ours to replace.
        if (!file.Load(target))
            return false;
    } else if (!MakeDirectories(ParentDirectory(target))) {
        return false;
    }

    file.Set(kSettingsSection, kKeyOutputDir, settings.output_dir);
    file.Set(kSettingsSection, kKeyIsSamePlace, settings.same_place ? kTrue : kFalse);
    file.Set(kSettingsSection, kKeyIsTrimExt, settings.trim_ext ? kTrue : kFalse);
    const Settings defaults;
    const bool has_section =
        file.Get(kCompressionSection, kKeyMethod) || file.Get(kCompressionSection, kKeyLevel);
    if (has_section || settings.method != defaults.method || settings.level != defaults.level) {
        file.Set(kCompressionSection, kKeyMethod, settings.method);
        file.Set(kCompressionSection, kKeyLevel, settings.level);
    }
    if (settings.verify || file.Get(kCompressionSection, kKeyVerify))
        file.Set(kCompressionSection, kKeyVerify, settings.verify ? kTrue : kFalse);
    if (exists && !DirectoryWritable(ParentDirectory(target)))
        return RewriteInPlace(target, file.Text());
    return ReplaceSettingsFile(target, file.Text(), mode);
}

}  // namespace pelkoran
