// test_support.h - scaffolding shared by the tests: a temporary directory, whole files, directory listings.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
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
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
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

}  // namespace test_support
