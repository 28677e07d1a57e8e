// compress_target.cpp - the archive command for one item.
//
// Worked example, the file C:\work\memo.txt packed next to itself:
//   drive "C:", dir "\work\", name "memo", ext ".txt"
//   a "C:\work\memo.txt.lzh" "C:\work\" -d1 "memo.txt"
// The base directory is the item's parent, and the item is given relative
// to it, so the archive stores "memo.txt" (or "photos/..." for a folder).
#include "compress_target.h"

#include "pelkoran/command_text.h"

#include <vector>

namespace pelkoran {

namespace {

constexpr char kArchiveExt[] = ".lzh";
constexpr std::uint32_t kReplySize = 512;

bool HasDrive(std::string_view path)
{
    if (path.size() < 2 || path[1] != ':')
        return false;
    char c = path[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

char OutputSeparator(PathRules rules)
{
    return rules == PathRules::kWindows ? '\\' : '/';
}

PathParts SplitPath(std::string_view path, PathRules rules)
{
    const bool windows = rules == PathRules::kWindows;
    PathParts parts;
    std::string_view rest = path;
    if (windows && HasDrive(path)) {
        parts.drive = std::string(path.substr(0, 2));
        rest = path.substr(2);
    }
    std::string_view separators = windows ? std::string_view("\\/") : std::string_view("/");
    std::size_t last = rest.find_last_of(separators);
    std::string_view final_part = rest;
    if (last != std::string_view::npos) {
        parts.dir = std::string(rest.substr(0, last + 1));
        final_part = rest.substr(last + 1);
    }
    std::size_t dot = final_part.rfind('.');
    if (dot == std::string_view::npos) {
        parts.name = std::string(final_part);
    } else {
        parts.name = std::string(final_part.substr(0, dot));
        parts.ext = std::string(final_part.substr(dot));
    }
    return parts;
}

std::string ArchivePath(const std::string& full_path, bool same_place, bool trim_ext,
                        const std::string& output_dir, const PathStatus& status, PathRules rules)
{
    PathParts parts = SplitPath(full_path, rules);
    bool trimmable = status.exists && !status.is_directory && trim_ext;

    std::string archive;
    if (same_place) {
        archive = trimmable ? parts.drive + parts.dir + parts.name : full_path;
    } else {
        archive = output_dir;
        archive += OutputSeparator(rules);
        archive += parts.name;
        if (!trimmable)
            archive += parts.ext;
    }
    archive += kArchiveExt;
    return archive;
}

std::string BuildCommandText(const std::string& full_path, bool same_place, bool trim_ext,
                             const std::string& output_dir, const PathStatus& status,
                             const std::string& switches, PathRules rules)
{
    PathParts parts = SplitPath(full_path, rules);
    std::string archive = ArchivePath(full_path, same_place, trim_ext, output_dir, status, rules);

    std::string text = "a ";
    text += lzh::quote_token(archive);
    text += ' ';
    text += lzh::quote_token(parts.drive + parts.dir);
    text += " -d1 ";
    if (!switches.empty()) {
        text += switches;
        text += ' ';
    }
    text += lzh::quote_token(parts.name + parts.ext);
    return text;
}

bool CompressTarget(const std::string& full_path, bool same_place, bool trim_ext,
                    const std::string& output_dir, lzh::ArchiverWindow* window, ArchiverLibrary& library,
                    const StatusQuery& query, const std::string& switches)
{
    // The status decides only whether the extension may go; a failed query
    // (the item vanished) still issues the command, and the library says
    // whether it could be packed.
    PathStatus status = query(full_path);
    std::string text = BuildCommandText(full_path, same_place, trim_ext, output_dir, status, switches);
    std::vector<char> reply(kReplySize, '\0');
    return library.Command(window, text, reply.data(), kReplySize) == 0;
}

}  // namespace pelkoran
