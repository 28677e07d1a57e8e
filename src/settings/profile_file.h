// profile_file.h - a Windows-style profile file ([section] and key=value lines), read and rewritten in place.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelkoran {

/*
 * ProfileFile - the lines of a profile file, kept as they are, with lookup
 * and update of single values.
 *
 * Lexical rules, as the Windows profile functions read such files:
 * - a section starts at a line "[name]" (blanks around it allowed);
 * - "key=value" lines belong to the section above them; blanks around the
 *   key and the value are not part of them; a value wrapped in a pair of
 *   double or single quotes loses the pair;
 * - section and key names match without regard to ASCII letter case;
 * - the first section of a name and the first key of a name in it win;
 * - any other line (comments starting with ';', garbage) is kept as is.
 * Lines end in LF or CR LF; a file that uses CR LF keeps it on rewrite, a
 * new file uses LF. Bytes are not converted (no encoding is assumed).
 */
class ProfileFile {
public:
    ProfileFile() = default;

    // Reads the file. Returns false when it does not exist, cannot be read
    // or is not a regular file; the object is then empty.
    bool Load(const std::string& path);
    // Parses `text` as the contents of a file.
    void Parse(std::string_view text);

    // The value of `key` in `section`, or nullopt when either is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Sets the value: replaces the key's line in place, or adds the key at
    // the end of the section, or adds the section at the end of the file.
    // A value with blanks at either end or wrapped in quotes is written in
    // double quotes so that it reads back the same. Line breaks in a value
    // cannot be stored and are dropped.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The whole file as it would be written.
    std::string Text() const;

private:
    std::vector<std::string> lines_;  // without their line ends
    bool crlf_ = false;
    bool final_newline_ = true;
};

}  // namespace pelkoran
