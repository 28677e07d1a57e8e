// item_path.cpp - a dropped or named path made fit for the target list.
#include "item_path.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace pelkoran {

namespace {

// The system's resolution of `path`, or the empty text when it fails.
std::string RealPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return {};
    std::string result = real;
    std::free(real);
    return result;
}

std::string CurrentDirectory()
{
    std::vector<char> buffer(PATH_MAX);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE)
            return {};
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string Join(const std::string& dir, const std::string& name)
{
    return dir == "/" ? "/" + name : dir + "/" + name;
}

}  // namespace

std::string ResolveItemPath(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return path;
    std::string text = path;
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();

    const std::size_t slash = text.rfind('/');
    const std::string name = slash == std::string::npos ? text : text.substr(slash + 1);
    const std::string parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : text.substr(0, slash));
    if (text == "/")
        return text;

    if (name == "." || name == "..") {
        if (std::string real = RealPath(text); !real.empty())
            return real;
    } else if (std::string real = RealPath(parent); !real.empty()) {
        return Join(real, name);
    }
    // Not there: absolute, otherwise as given.
    if (text.front() == '/')
        return text;
    const std::string cwd = CurrentDirectory();
    return cwd.empty() ? text : Join(cwd, text);
}

}  // namespace pelkoran
