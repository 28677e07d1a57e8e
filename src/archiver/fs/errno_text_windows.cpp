// errno_text_windows.cpp - a system error in a few Japanese words, for the
// Windows build (the C runtime's errno values; Windows errors are mapped to
// them where the file layer meets the system).
#include <cerrno>
#include <cstring>
#include <string>

#include "fs/file_io.h"
#include "pelkoran/messages.h"

namespace lzh {

std::string errno_text(int err)
{
    switch (err) {
    case EACCES:
    case EPERM:
        return std::string(message_text(Message::sys_permission));
    case ENOENT:
        return std::string(message_text(Message::sys_not_found));
    case ENOSPC:
        return std::string(message_text(Message::sys_no_space));
    case EROFS:
        return std::string(message_text(Message::sys_read_only_fs));
    case ENAMETOOLONG:
        return std::string(message_text(Message::sys_path_too_long));
    case ENOTDIR:
        return std::string(message_text(Message::sys_not_a_directory));
    case EISDIR:
        return std::string(message_text(Message::sys_is_a_directory));
#ifdef ELOOP
    case ELOOP:
        return std::string(message_text(Message::sys_link));
#endif
    case EMFILE:
    case ENFILE:
        return std::string(message_text(Message::sys_too_many_files));
    case EIO:
        return std::string(message_text(Message::sys_io));
    case EFBIG:
        return std::string(message_text(Message::sys_too_big));
    case EBUSY:
        return std::string(message_text(Message::sys_busy));
    default:
        return std::strerror(err);
    }
}

}  // namespace lzh
