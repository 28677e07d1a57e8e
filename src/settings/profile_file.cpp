// profile_file.cpp - reading and rewriting a Windows-style profile file line by line.
#include "profile_file.h"

#include "settings_platform.h"

namespace pelkoran {

namespace {

// A settings file larger than this is not ours; it is not read (and so
// never rewritten).
constexpr std::size_t kMaxFileSize = 64 * 1024 * 1024;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

// The line's content as the reader sees it (the first line may carry a BOM).
std::string_view Content(const std::string& line, std::size_t index)
{
    std::string_view text = line;
    if (index == 0 && text.substr(0, kUtf8Bom.size()) == kUtf8Bom)
        text.remove_prefix(kUtf8Bom.size());
    // A CR still at the end (a last line ended by a lone CR, or CR CR LF) ends
    // the line for the reader: a rewrite may turn it into a line end, and the
    // line must mean the same before and after.
    text = TrimBlanks(text);
    while (!text.empty() && text.back() == '\r')
        text = TrimBlanks(text.substr(0, text.size() - 1));
    return text;
}

// True when the line opens a section; `name` receives the section's name.
bool IsSectionLine(std::string_view content, std::string_view& name)
{
    if (content.empty() || content.front() != '[')
        return false;
    content.remove_prefix(1);
    std::size_t close = content.find(']');
    name = TrimBlanks(content.substr(0, close));
    return true;
}

// True when the line is a key=value line; `key` and `value` receive its parts.
bool IsKeyLine(std::string_view content, std::string_view& key, std::string_view& value)
{
    if (content.empty() || content.front() == ';')
        return false;
    std::size_t eq = content.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = TrimBlanks(content.substr(0, eq));
    value = TrimBlanks(content.substr(eq + 1));
    return true;
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The value as it is written: quoted when the reader would otherwise lose
// blanks at its ends or a pair of quotes around it.
std::string EncodeValue(std::string_view value)
{
    std::string text;
    for (char c : value) {
        if (c != '\r' && c != '\n')
            text += c;
    }
    bool needs_quotes = !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()) ||
                                          Unquote(text).size() != text.size());
    if (needs_quotes)
        return '"' + text + '"';
    return text;
}

}  // namespace

bool ProfileFile::Load(const std::string& path)
{
    lines_.clear();
    crlf_ = false;
    final_newline_ = true;
    std::string text;
    if (!ReadSettingsFile(path, kMaxFileSize, text))
        return false;
    Parse(text);
    return true;
}

void ProfileFile::Parse(std::string_view text)
{
    lines_.clear();
    crlf_ = false;
    final_newline_ = text.empty() || text.back() == '\n';
    bool first_end = true;
    while (!text.empty()) {
        std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (nl != std::string_view::npos) {
            bool cr = !line.empty() && line.back() == '\r';
            if (first_end)
                crlf_ = cr;
            first_end = false;
            if (cr)
                line.remove_suffix(1);
        }
        lines_.emplace_back(line);
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const
{
    bool in_section = false;
    bool seen_section = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view content = Content(lines_[i], i);
        std::string_view name;
        if (IsSectionLine(content, name)) {
            if (in_section)
                return std::nullopt;  // only the first section of that name counts
            in_section = !seen_section && SameName(name, section);
            seen_section = seen_section || in_section;
            continue;
        }
        std::string_view k;
        std::string_view v;
        if (in_section && IsKeyLine(content, k, v) && SameName(k, key))
            return std::string(Unquote(v));
    }
    return std::nullopt;
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value)
{
    std::string line = std::string(key) + "=" + EncodeValue(value);

    // Find the first section of that name: its header line and its last
    // non-blank line, and the key's line within it.
    std::size_t header = lines_.size();
    std::size_t last = lines_.size();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string_view content = Content(lines_[i], i);
        std::string_view name;
        if (IsSectionLine(content, name)) {
            if (header != lines_.size())
                break;
            if (SameName(name, section))
                header = last = i;
            continue;
        }
        if (header == lines_.size())
            continue;
        std::string_view k;
        std::string_view v;
        if (IsKeyLine(content, k, v) && SameName(k, key)) {
            lines_[i] = line;
            return;
        }
        if (!content.empty())
            last = i;
    }
    final_newline_ = true;
    if (header != lines_.size()) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last + 1), line);
        return;
    }
    if (!lines_.empty() && !Content(lines_.back(), lines_.size() - 1).empty())
        lines_.emplace_back();
    // Appended piece by piece: GCC 12 warns (-Wrestrict, a false alarm) on
    // "literal" + a temporary string.
    std::string header_line = "[";
    header_line.append(section).append("]");
    lines_.push_back(std::move(header_line));
    lines_.push_back(line);
}

std::string ProfileFile::Text() const
{
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || final_newline_)
            text += eol;
    }
    return text;
}

}  // namespace pelkoran
