// targetlist_bench.cpp - how long the target list takes for a large drop, a large delete, and a run's removals.
//
// Usage: targetlist_bench [COUNT]   (default 100000 paths)
// Prints, in milliseconds:
//   drop        COUNT paths admitted in shuffled order (status query in memory)
//   drop+stat   the same with stat() on real paths (files under /usr, as many as found)
//   read all    the text of every row, as a view scrolling through the list
//   delete      half the rows, every other one, selected and deleted at once
//   run         every remaining row removed from the top, as the run does
#include <ctime>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "target_list.h"

namespace {

// Wall-clock and CPU time: the machine may be shared, so both are shown.
struct Timer {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();
};

void Print(const char* label, int count, const char* unit, const Timer& t)
{
    double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t.wall).count();
    double cpu = 1000.0 * static_cast<double>(std::clock() - t.cpu) / CLOCKS_PER_SEC;
    std::printf("%-10s %7d %-6s %8.1f ms wall %8.1f ms cpu\n", label, count, unit, wall, cpu);
}

// Names like a photo folder, a source tree and a download folder.
std::vector<std::string> MakePaths(int count)
{
    std::vector<std::string> paths;
    paths.reserve(count);
    const char* dirs[] = {"/home/user/写真/", "/home/user/src/project/", "/home/user/Downloads/"};
    for (int i = 0; i < count; ++i) {
        const char* dir = dirs[i % 3];
        char name[64];
        switch (i % 3) {
        case 0:
            std::snprintf(name, sizeof name, "IMG_%d.JPG", i);
            break;
        case 1:
            std::snprintf(name, sizeof name, "module%d.cpp", i);
            break;
        default:
            std::snprintf(name, sizeof name, "Report %d (final).pdf", i);
            break;
        }
        paths.push_back(std::string(dir) + name);
    }
    return paths;
}

std::vector<std::string> RealPaths(std::size_t limit)
{
    std::vector<std::string> paths;
    std::error_code ec;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (auto it = std::filesystem::recursive_directory_iterator("/usr", options, ec);
         it != std::filesystem::recursive_directory_iterator() && paths.size() < limit; it.increment(ec)) {
        if (ec)
            break;
        paths.push_back(it->path().string());
    }
    return paths;
}

void Measure(const char* label, std::vector<std::string> paths, pelkoran::StatusQuery query)
{
    std::mt19937 rng(1);
    std::shuffle(paths.begin(), paths.end(), rng);

    pelkoran::TargetList list(std::move(query));
    Timer t;
    int added = list.AddTargets(paths);
    Print(label, added, "paths", t);

    t = Timer();
    std::size_t bytes = 0;
    for (int i = 0; i < list.Count(); ++i)
        bytes += list.Model().RowText(i).size();
    Print("read all", list.Count(), "rows", t);
    if (bytes == 0)
        std::printf("(no rows)\n");

    int rows = list.Count();
    for (int i = 0; i < rows; i += 2)
        list.Model().SetSelected(i, true);
    int selected = list.Model().SelectedCount();
    t = Timer();
    list.RemoveSelectedTargets();
    Print("delete", selected, "rows", t);

    int left = list.Count();
    t = Timer();
    while (list.Count() > 0)
        list.RemoveTarget(list.FirstText());
    Print("run", left, "rows", t);
}

}  // namespace

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    Measure("drop", MakePaths(count), [](const std::string&) { return pelkoran::PathStatus{true, false}; });
    std::vector<std::string> real = RealPaths(static_cast<std::size_t>(count));
    if (!real.empty())
        Measure("drop+stat", std::move(real), pelkoran::QueryPathStatus);
    return 0;
}
