// errno_text.cpp - a system error in a few Japanese words. The Windows
// backend maps its errors to the C runtime's errno values where the file
// layer meets the system, so one table serves both backends.
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
#ifdef EDQUOT
    case EDQUOT:
        return std::string(message_text(Message::sys_quota));
#endif
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
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return std::string(message_text(Message::sys_busy));
    default:
        return std::strerror(err);
    }
}

}  // namespace lzh
