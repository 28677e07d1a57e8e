// archiver.cpp - the library's two entry points.
#include "pelkoran/archiver.h"

#include "container/archive_writer.h"
#include "command.h"
#include "fs/names.h"
#include "version.h"
#include "fs/walk.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

namespace lzh {
namespace {

// Copies `text` into `reply`, cut to fit `size` bytes with the NUL, and never
// in the middle of a UTF-8 character.
void copy_reply(const std::string& text, char* reply, std::uint32_t size)
{
    if (reply == nullptr || size == 0)
        return;
    std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;  // text[n] continues a character: cut before that character
    std::memcpy(reply, text.data(), n);
    reply[n] = '\0';
}

std::string success_report(const AddCommand& cmd, const WalkResult& walk, const UpdateReport& r)
{
    std::string s =
        message_sentence(Message::packed_report,
                         {cmd.archive, std::to_string(r.added), std::to_string(r.replaced),
                          std::to_string(r.kept), std::to_string(r.bytes_in), std::to_string(r.bytes_out)});
    if (!walk.skipped.empty()) {
        s += '\n';
        s += message_text(Message::special_files_left_out);
        for (const std::string& p : walk.skipped)
            s += "\n  " + shown_path(p);
    }
    return s;
}

}  // namespace
}  // namespace lzh

int ArchiverCommand(lzh::ArchiverWindow* window, const char* command, char* reply, std::uint32_t reply_size)
{
    using namespace lzh;
    std::string report;
    int result = kArchiverOk;
    try {
        if (command == nullptr)
            throw Error(Message::no_command);
        AddCommand cmd;
        try {
            cmd = parse_command(command);
        } catch (const Error&) {
            result = kArchiverBadCommand;
            throw;
        }
        FileStat archive_st;
        const bool archive_exists = stat_file(cmd.archive, archive_st);
        const WalkResult walk = collect_entries(cmd, archive_exists ? &archive_st : nullptr, window);
        if (walk.entries.empty())
            throw Error(Message::nothing_to_pack, {cmd.base + cmd.items.front()});
        WriteOptions options;
        options.method = cmd.method;
        options.effort = cmd.effort;
        options.verify = cmd.verify;
        const UpdateReport r = update_archive(cmd.archive, walk.entries, options, window);
        report = success_report(cmd, walk, r);
        if (window)
            for (const std::string& p : walk.skipped)
                window->on_skipped(shown_path(p));
    } catch (const Cancelled& e) {
        result = kArchiverCancelled;
        report = e.what();
    } catch (const Error& e) {
        if (result == kArchiverOk)
            result = kArchiverFailed;
        report = e.what();
    } catch (const std::bad_alloc&) {
        result = kArchiverFailed;
        report = message_text(Message::out_of_memory);
    } catch (const std::exception& e) {
        // Nothing may escape the library: the caller sees a failure, and the
        // archive is left as it was as for any other.
        result = kArchiverFailed;
        report = message_sentence(Message::internal_error_with, {e.what()});
    } catch (...) {
        result = kArchiverFailed;
        report = message_text(Message::internal_error);
    }
    if (result != kArchiverOk && window) {
        try {
            window->on_failure(report);
        } catch (...) {
            // The reply still carries the reason.
        }
    }
    copy_reply(report, reply, reply_size);
    return result;
}

std::uint16_t ArchiverGetVersion()
{
    return lzh::kEngineVersion;
}

const char* ArchiverGetName()
{
    return lzh::kEngineName;
}
