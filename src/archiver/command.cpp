// command.cpp - tokenizer and parser of the command language (see command.h).
#include "command.h"

#include <algorithm>

namespace lzh {

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool ends_in_separator(std::string_view s)
{
    return !s.empty() && (s.back() == '/' || s.back() == '\\');
}

// An item must name something below the base directory: no absolute path, no
// empty or ".." component, which would store a name that escapes the folder a
// reader extracts into.
void check_item(const std::string& item)
{
    if (item.empty())
        throw Error(Message::empty_item);
    if (item.front() == '/')
        throw Error(Message::item_not_relative, {item});
    std::string_view rest = item;
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part == "..")
            throw Error(Message::item_with_dotdot, {item});
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
}

// What separates the components of a path here.
#ifdef _WIN32
constexpr std::string_view kSeparators = "/\\";
#else
constexpr std::string_view kSeparators = "/";
#endif

// Whether `base` names the root of the file system ("/"; on Windows also a
// drive's root, "C:\", and the current drive's, "\").
bool is_root(std::string_view base)
{
#ifdef _WIN32
    if (base.size() >= 2 && base[1] == ':' &&
        ((base[0] >= 'A' && base[0] <= 'Z') || (base[0] >= 'a' && base[0] <= 'z')))
        base.remove_prefix(2);
#endif
    return !base.empty() && base.find_first_not_of(kSeparators) == std::string_view::npos;
}

// Whether `item` names its base directory itself: nothing but separators and ".".
bool names_base_itself(std::string_view item)
{
    while (!item.empty()) {
        const std::size_t end = std::min(item.find_first_of(kSeparators), item.size());
        const std::string_view part = item.substr(0, end);
        if (!part.empty() && part != ".")
            return false;
        item.remove_prefix(std::min(end + 1, item.size()));
    }
    return true;
}

}  // namespace

std::vector<Token> tokenize_command(std::string_view text)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (true) {
        while (i < n && is_blank(text[i]))
            ++i;
        if (i == n)
            break;
        Token tok;
        if (text[i] == '"') {
            tok.quoted = true;
            ++i;
            while (true) {
                if (i == n)
                    throw Error(Message::unclosed_quote);
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {  // "" stands for one "
                        tok.text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                tok.text += text[i++];
            }
            if (i < n && !is_blank(text[i]))
                throw Error(Message::no_blank_after_quote, {tok.text});
        } else {
            while (i < n && !is_blank(text[i])) {
                if (text[i] == '"')
                    throw Error(Message::misplaced_quote, {std::string(text)});
                tok.text += text[i++];
            }
        }
        tokens.push_back(std::move(tok));
    }
    return tokens;
}

AddCommand parse_command(std::string_view text)
{
    const std::vector<Token> tokens = tokenize_command(text);
    if (tokens.empty())
        throw Error(Message::empty_command);
    if (tokens[0].quoted || tokens[0].text != "a")
        throw Error(Message::unknown_command, {tokens[0].text});

    AddCommand cmd;
    bool directories = false;
    std::vector<std::string> paths;
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (t.quoted || t.text.empty() || t.text[0] != '-') {
            paths.push_back(t.text);
            continue;
        }
        const std::string_view sw = t.text;
        if (sw == "-d1")
            directories = true;
        else if (sw == "-lh5")
            cmd.method = &kLh5;
        else if (sw == "-lh6")
            cmd.method = &kLh6;
        else if (sw == "-lh7")
            cmd.method = &kLh7;
        else if (sw == "-fast")
            cmd.effort = Effort::fast;
        else if (sw == "-normal")
            cmd.effort = Effort::normal;
        else if (sw == "-best")
            cmd.effort = Effort::best;
        else if (sw == "-verify")
            cmd.verify = true;
        else
            throw Error(Message::unknown_switch, {t.text});
    }
    if (paths.empty() || paths[0].empty())
        throw Error(Message::no_archive_path);
    cmd.archive = paths[0];
    if (ends_in_separator(cmd.archive))
        throw Error(Message::archive_path_is_directory, {cmd.archive});
    if (paths.size() < 2 || !ends_in_separator(paths[1]))
        throw Error(Message::no_base_directory);
    cmd.base = paths[1];
    if (paths.size() < 3)
        throw Error(Message::no_items);
    if (!directories)
        throw Error(Message::no_d1_switch);
    for (std::size_t i = 2; i < paths.size(); ++i) {
        // The root has no name to store it under (packing "/" or "C:\").
        if (is_root(cmd.base) && names_base_itself(paths[i]) && (paths[i].empty() || paths[i].front() != '/'))
            throw Error(Message::root_has_no_name, {cmd.base});
        check_item(paths[i]);
        cmd.items.push_back(paths[i]);
    }
    return cmd;
}

std::string quote_token(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        out += c;
        if (c == '"')
            out += '"';
    }
    out += '"';
    return out;
}

}  // namespace lzh
