// cmd_pack.cpp - pelkoran-cli pack: the target list and the compression run without a window.
#include "cli_texts.h"
#include "cli_window.h"
#include "commands.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "compress_run.h"
#include "item_path.h"
#include "method_switches.h"
#include "target_list.h"

namespace {

using pelkoran::ArchiverLibrary;
using pelkoran::MessageType;
using pelkoran::RunResult;

constexpr int kExitPacked = 0;
constexpr int kExitItemFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* out)
{
    std::fputs(Text(CliText::pack_usage), out);
}

struct PackOptions {
    bool same_place = true;
    bool output_dir_given = false;
    std::string output_dir;
    bool trim_ext = false;
    bool dry_run = false;
    std::string method = pelkoran::kDefaultMethod;
    std::string level = pelkoran::kDefaultLevel;
    bool verify = false;
    std::vector<std::string> paths;

    // The switches for the command text; none for the defaults, so the
    // texts stay those of a run without these options.
    std::string Switches() const { return pelkoran::CommandSwitches(method, level, verify); }
};

// "--name VALUE" or "--name=VALUE" at argv[i]: true (value in `value`,
// `i` moved past it) when `arg` is that option.
bool OptionValue(const std::string& name, int argc, char** argv, int& i, std::string& value, bool& missing)
{
    const std::string arg = argv[i];
    if (arg == name) {
        if (i + 1 >= argc) {
            missing = true;
            return true;
        }
        value = argv[++i];
        return true;
    }
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

// Parses the arguments after "pack"; false (with a message) when they are wrong.
bool ParseArguments(int argc, char** argv, PackOptions& options)
{
    bool same_place_given = false;
    bool options_done = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (options_done || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            options.paths.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--same-place") {
            same_place_given = true;
        } else if (arg == "--trim-ext") {
            options.trim_ext = true;
        } else if (arg == "--dry-run") {
            options.dry_run = true;
        } else if (arg == "--verify") {
            options.verify = true;
        } else if (bool missing = false; OptionValue("--method", argc, argv, i, options.method, missing)) {
            if (missing || !pelkoran::IsMethodName(options.method)) {
                std::fputs(Text(CliText::pack_bad_method), stderr);
                return false;
            }
        } else if (OptionValue("--level", argc, argv, i, options.level, missing)) {
            if (missing || !pelkoran::IsLevelName(options.level)) {
                std::fputs(Text(CliText::pack_bad_level), stderr);
                return false;
            }
        } else if (arg == "--output-dir" || arg.compare(0, 13, "--output-dir=") == 0) {
            if (arg == "--output-dir") {
                if (i + 1 >= argc) {
                    std::fputs(Text(CliText::pack_no_output_dir), stderr);
                    return false;
                }
                options.output_dir = argv[++i];
            } else {
                options.output_dir = arg.substr(13);
            }
            options.output_dir_given = true;
        } else {
            std::fprintf(stderr, Text(CliText::pack_unknown_option), arg.c_str());
            return false;
        }
    }
    if (options.paths.empty()) {
        std::fputs(Text(CliText::pack_no_items), stderr);
        return false;
    }
    // --same-place wins over --output-dir.
    options.same_place = same_place_given || !options.output_dir_given;
    return true;
}

// The run's reporter, as a command line has it: messages to stderr, the
// completion message to stdout (only when there was something to pack: a
// run over nothing has finished nothing).
class CliReporter : public pelkoran::RunReporter {
public:
    CliReporter(const PackOptions& options, bool any_listed) : options_(options), any_listed_(any_listed) {}
    void Message(const std::string& text, MessageType type) override
    {
        if (type == MessageType::kInformation) {
            if (!options_.dry_run && any_listed_)
                std::printf("%s\n", text.c_str());
        } else {
            std::fprintf(stderr, "pelkoran-cli pack: %s\n", text.c_str());
        }
    }
    void ItemFailed(const std::string& reason) override
    {
        std::fprintf(stderr, "pelkoran-cli pack: %s\n", reason.c_str());
    }

private:
    const PackOptions& options_;
    bool any_listed_;
};

// The engine, with its report printed when it fails an item.
class ReportingLibrary : public ArchiverLibrary {
public:
    int Command(lzh::ArchiverWindow* window, const std::string& text, char* reply,
                std::uint32_t reply_size) override
    {
        int rc = pelkoran::DefaultArchiverLibrary().Command(window, text, reply, reply_size);
        if (rc != 0)
            std::fprintf(stderr, "pelkoran-cli pack: %s\n", reply_size > 0 ? reply : "");
        return rc;
    }
    std::uint16_t GetVersion() override { return pelkoran::DefaultArchiverLibrary().GetVersion(); }
    std::string GetName() override { return pelkoran::DefaultArchiverLibrary().GetName(); }
};

// --dry-run: each command text on its own line, nothing written.
class PrintingLibrary : public ArchiverLibrary {
public:
    int Command(lzh::ArchiverWindow*, const std::string& text, char* reply, std::uint32_t reply_size) override
    {
        std::printf("%s\n", text.c_str());
        if (reply_size > 0)
            reply[0] = '\0';
        return 0;
    }
    std::uint16_t GetVersion() override { return pelkoran::DefaultArchiverLibrary().GetVersion(); }
    std::string GetName() override { return pelkoran::DefaultArchiverLibrary().GetName(); }
};

}  // namespace

int RunPack(int argc, char** argv)
{
    PackOptions options;
    if (argc == 1 && (std::strcmp(argv[0], "--help") == 0 || std::strcmp(argv[0], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    if (!ParseArguments(argc, argv, options)) {
        PrintUsage(stderr);
        return kExitUsage;
    }

    // Admit the paths as a drop does: each once, those that are not there
    // skipped with a note.
    pelkoran::TargetList targets;
    std::vector<std::string> paths;
    bool skipped = false;
    for (const std::string& path : options.paths) {
        std::string absolute = pelkoran::ResolveItemPath(path);
        if (!pelkoran::QueryPathStatus(absolute).exists) {
            std::fprintf(stderr, Text(CliText::pack_path_missing), path.c_str());
            skipped = true;
            continue;
        }
        paths.push_back(absolute);
    }
    targets.AddTargets(paths);

    CliWindow window;
    CliReporter reporter(options, targets.Count() > 0);
    const pelkoran::RunOptions run_options{options.same_place, options.output_dir, options.trim_ext,
                                           options.Switches()};
    ReportingLibrary engine;
    PrintingLibrary printer;
    ArchiverLibrary& library = options.dry_run ? static_cast<ArchiverLibrary&>(printer) : engine;
    std::fflush(stdout);
    switch (pelkoran::OnCompress(run_options, reporter, &window, targets, library)) {
    case RunResult::kCompleted:
        // A skipped path was not packed either: a script must learn of it.
        return skipped ? kExitItemFailed : kExitPacked;
    case RunResult::kItemFailed:
    case RunResult::kAlreadyRunning:
        return kExitItemFailed;
    case RunResult::kOutputDirRejected:
        return kExitUsage;
    }
    return kExitItemFailed;
}
