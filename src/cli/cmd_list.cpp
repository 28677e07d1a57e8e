// cmd_list.cpp - `pelkoran-cli list ARCHIVE...`: one line per member.
#include "commands.h"

#include "pelkoran/archive_contents.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

std::string FormatTime(std::int64_t t)
{
    std::time_t tt = std::time_t(t);
    std::tm tm{};
    char buf[32];
#ifdef _WIN32
    const bool local = localtime_s(&tm, &tt) == 0;
#else
    const bool local = localtime_r(&tt, &tm) != nullptr;
#endif
    if (!local || !std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm))
        return "?";
    return buf;
}

std::string FormatRatio(std::uint64_t packed, std::uint64_t original)
{
    if (original == 0)
        return "    -";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%5.1f%%", 100.0 * double(packed) / double(original));
    return buf;
}

// Columns a terminal gives `s` (UTF-8): two for East Asian wide characters.
std::size_t DisplayWidth(const std::string& s)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        width += c >= 0xE1 ? 2 : 1;  // U+1000 and above: CJK, kana, full-width forms
    }
    return width;
}

// `s` padded with blanks to `width` columns, on the left when `right` is set.
std::string Pad(const std::string& s, std::size_t width, bool right = false)
{
    std::size_t w = DisplayWidth(s);
    std::string fill(w < width ? width - w : 0, ' ');
    return right ? fill + s : s + fill;
}

// Prints the table for one archive; throws lzh::Error when it cannot be read.
int ListArchive(const char* path)
{
    const lzh::ArchiveContents contents(path);
    const std::vector<lzh::MemberInfo>& members = contents.members();
    WarnAboutLayout(path, contents.layout());
    std::printf("%s:\n", EscapeControls(path).c_str());
    std::printf("%s %s %s %s  %s  %s\n", Pad("方式", 5).c_str(), Pad("元のサイズ", 12, true).c_str(),
                Pad("格納サイズ", 12, true).c_str(), Pad("比率", 6, true).c_str(),
                Pad("更新日時", 19).c_str(), "名前");
    std::uint64_t total_original = 0, total_packed = 0;
    for (const lzh::MemberInfo& h : members) {
        std::string name = h.name;
        if (h.is_directory)
            name += name.empty() ? "./" : "/";  // an entry for the archive's top
        if (h.is_symlink)
            name += " -> " + h.link_target;
        const std::string time = h.mtime_known ? FormatTime(h.mtime) : Pad("不明", 19);
        std::printf("%-5s %12" PRIu64 " %12" PRIu64 " %6s  %s  %s\n", EscapeControls(h.method).c_str(),
                    h.original_size, h.packed_size, FormatRatio(h.packed_size, h.original_size).c_str(),
                    time.c_str(), EscapeControls(name).c_str());
        total_original += h.original_size;
        total_packed += h.packed_size;
    }
    std::printf("%s %12" PRIu64 " %12" PRIu64 " %6s  %zu 個のメンバー\n", Pad("合計", 5).c_str(),
                total_original, total_packed, FormatRatio(total_packed, total_original).c_str(),
                members.size());
    return 0;
}

}  // namespace

int RunList(int argc, char** argv)
{
    return ForEachArchive(argc, argv, "使い方: pelkoran-cli list ARCHIVE...", ListArchive);
}
