// cmd_list.cpp - `pelkoran-cli list ARCHIVE...`: one line per member.
#include "cli_texts.h"
#include "commands.h"

#include "pelkoran/archive_contents.h"

#include <algorithm>
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
    // The method column is as wide as its heading, and at least 5 ("-lh5-").
    const std::size_t method_width = std::max<std::size_t>(5, DisplayWidth(Text(CliText::list_method)));
    std::printf("%s %s %s %s  %s  %s\n", Pad(Text(CliText::list_method), method_width).c_str(),
                Pad(Text(CliText::list_original), 12, true).c_str(),
                Pad(Text(CliText::list_packed), 12, true).c_str(),
                Pad(Text(CliText::list_ratio), 6, true).c_str(), Pad(Text(CliText::list_time), 19).c_str(),
                Text(CliText::list_name));
    std::uint64_t total_original = 0, total_packed = 0;
    for (const lzh::MemberInfo& h : members) {
        std::string name = h.name;
        if (h.is_directory)
            name += name.empty() ? "./" : "/";  // an entry for the archive's top
        if (h.is_symlink)
            name += " -> " + h.link_target;
        const std::string time =
            h.mtime_known ? FormatTime(h.mtime) : Pad(Text(CliText::list_time_unknown), 19);
        std::printf("%s %12" PRIu64 " %12" PRIu64 " %6s  %s  %s\n",
                    Pad(EscapeControls(h.method), method_width).c_str(), h.original_size, h.packed_size,
                    FormatRatio(h.packed_size, h.original_size).c_str(), time.c_str(),
                    EscapeControls(name).c_str());
        total_original += h.original_size;
        total_packed += h.packed_size;
    }
    std::printf("%s %12" PRIu64 " %12" PRIu64 " %6s  ", Pad(Text(CliText::list_total), method_width).c_str(),
                total_original, total_packed, FormatRatio(total_packed, total_original).c_str());
    std::printf(Text(CliText::list_members), std::to_string(members.size()).c_str());
    std::printf("\n");
    return 0;
}

}  // namespace

int RunList(int argc, char** argv)
{
    return ForEachArchive(argc, argv, Text(CliText::list_usage), ListArchive);
}
