// test_support.h - scaffolding shared by the tests: a temporary directory, whole files, directory
// listings, an environment variable for a while, a child process.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace test_support {

// A fresh directory under /tmp, removed with all it holds when the object goes.
class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/pelkoran-test-XXXXXX";
        if (::mkdtemp(tmpl))
            path_ = tmpl;
    }
    ~TempDir()
    {
        std::error_code error;
        if (!path_.empty() && std::filesystem::remove_all(path_, error) == std::uintmax_t(-1))
            (void)!std::system(("rm -rf '" + path_ + "'").c_str());  // rm copes with trees past PATH_MAX
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

// Writes `data` to `path`, creating missing parent directories.
inline void write_file(const std::string& path, const std::string& data)
{
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ofstream(path, std::ios::binary) << data;
}

// The whole file; empty when it cannot be read.
inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The names in `dir`, sorted (temporary leftovers show up here).
inline std::vector<std::string> list_dir(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An environment variable set (or, for nullptr, removed) while the object lives; TZ takes effect at once.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        set(value);
    }
    ~ScopedEnv() { set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const char* value)
    {
        value ? ::setenv(name_.c_str(), value, 1) : ::unsetenv(name_.c_str());
        ::tzset();
    }
    std::string name_;
    std::optional<std::string> old_;
};

// Runs `body` in a child process; returns its exit status (-1: it did not exit). With `nobody`,
// a child of root first becomes user and group 65534 (root may write everywhere).
inline int run_in_child(const std::function<int()>& body, bool nobody = false)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        int rc = 98;
        try {
            if (!nobody || ::getuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0))
                rc = body();
        } catch (...) {
            rc = 99;
        }
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace test_support
