// compress_run.h - the compression run over the target list, its options and its reporter.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "pelkoran/archiver.h"
#include "archiver_library.h"
#include "compress_target.h"
#include "target_list.h"

namespace pelkoran {

// The run's texts for the user, byte for byte, in Japanese; RunText() words
// them in the language of the engine's messages.
inline constexpr const char kMsgNoSuchDirectory[] = "指定のディレクトリ(%s)がありません";
inline constexpr const char kMsgNotADirectory[] = "ディレクトリを指定してください";
inline constexpr const char kMsgAllDone[] = "圧縮がすべて終了しました。";
// An output directory that exists but takes no new file; the second %s says why.
inline constexpr const char kMsgCannotWriteDirectory[] = "指定のディレクトリ(%s)には書き込めません (%s)";
// An item whose archive would be the item itself (trimming "x.txt.lzh").
inline constexpr const char kMsgArchiveIsItem[] = "書庫が項目そのものになるため圧縮できません: %s";
// An item whose stored name would replace what an earlier item of the same
// run put into the same archive: the item, the earlier item, the archive.
inline constexpr const char kMsgSameStoredName[] =
    "%s は圧縮しません: この実行で先に圧縮した %s と同じ名前で書庫 %s に入り、それを置き換えるためです";
// Heads the list of entries the library left out, one path a line after it.
inline constexpr const char kMsgSkipped[] =
    "次の特殊ファイル (FIFO・ソケット・デバイス) は書庫に入れませんでした:";

// One text of the run in both languages.
struct RunWording {
    const char* japanese;
    const char* english;
};

// Every text of the run (the kMsg texts above, the reasons of
// kMsgCannotWriteDirectory, the count that ends a long list), "%s" standing
// for the same values in both languages.
const std::vector<RunWording>& RunWordings();

// `japanese`, one of RunWordings(), in lzh::message_language().
const char* RunText(const char* japanese);

// The kind of message box: an error with an OK button, or the completion
// message with an OK button and the information icon.
enum class MessageType {
    kError,        // MB_OK
    kInformation,  // MB_OK | MB_ICONINFORMATION
};

// What a run is told by its front end, read once before it starts.
struct RunOptions {
    bool same_place = true;  // each archive beside its item
    std::string output_dir;  // the output directory field, as typed (for !same_place)
    bool trim_ext = false;   // "x.txt" packs into "x.lzh"
    // Method and effort switches for every command text ("-lh7 -best");
    // empty adds none to the texts.
    std::string switches;
};

/*
 * RunReporter - what the run tells its front end (the window, `pelkoran
 * --pack`, pelkoran-cli), in the order the run does it.
 */
class RunReporter {
public:
    virtual ~RunReporter() = default;
    // A message box with `text` (UTF-8) of the given type; returns when closed.
    virtual void Message(const std::string& text, MessageType type) = 0;
    // Keyboard focus to the output directory field (after its rejection).
    virtual void FocusOutputDir() {}
    // Item `number` of `count` (1-based) is about to be packed.
    virtual void ItemStarting(int /*number*/, int /*count*/) {}
    // The run itself refused an item (the library was not called), for
    // `reason`; shown as the library's failures are.
    virtual void ItemFailed(const std::string& reason) = 0;
    // The entries the library reported as left out (ArchiverWindow::on_skipped
    // of the run's window) since the last call, which forgets them.
    virtual std::vector<std::string> TakeSkipped() { return {}; }
    // Item `path` was packed into `archive` and has left the list.
    virtual void ItemDone(const std::string& /*path*/, const std::string& /*archive*/) {}
};

// How a run ended.
enum class RunResult {
    kCompleted,          // every item packed; the completion message was shown
    kItemFailed,         // the library failed an item; it and those after it stay listed
    kOutputDirRejected,  // the output directory was missing or not a directory
    kAlreadyRunning,     // a run over this list was under way (started again during a
                         // library call); nothing was done
};

// Removes ASCII white space (blank, tab, CR, LF, VT, FF) at both ends.
std::string TrimWhiteSpace(const std::string& text);

// Whether texts like "C:\" name a drive root here. On Linux they name
// nothing: such a text is checked like any other, so that a run never writes
// a file literally named "C:\\name.lzh" into the working directory.
inline constexpr bool kHasDriveRoots = kPlatformPathRules == PathRules::kWindows;

// Whether a new file can be made in a directory: the empty text when it
// can, else why not (for kMsgCannotWriteDirectory).
using DirectoryProbe = std::function<std::string(const std::string& dir)>;

// The real probe: access() for this user, then a file created and removed.
std::string ProbeWritableDirectory(const std::string& dir);

/*
 * CheckOutputDir - trim and check an output directory text as the run
 * does, by `rules`: white space removed at both ends; the root "/" (kPosix)
 * or a drive root "X:\" (kWindows, three bytes) accepted unchanged without a
 * status query; otherwise one trailing separator removed ('/' under
 * kPosix, '\' under kWindows) and the rest queried. A directory that
 * exists is then probed (when a probe is given) for whether it takes a new
 * file. On success `dir` holds the text to use and the result is empty; on
 * failure the result is the message to show (with the directory filled
 * in), and `dir` holds the text as it stood.
 */
std::string CheckOutputDir(std::string& dir, const StatusQuery& query = QueryPathStatus,
                           PathRules rules = kPlatformPathRules, const DirectoryProbe& probe = {});

// The message that lists entries left out: kMsgSkipped, then one path a
// line, at most 20 of them and a count of the rest.
std::string SkippedMessage(const std::vector<std::string>& paths);

/*
 * OnCompress - the compress button: pack every listed item from the top,
 * each into its own archive, removing each one right after its archive was
 * written. Stops silently at the first item that the library fails; shows
 * the completion message when the list is empty. Entries the library left
 * out of the archives (special files) are listed in one more message box
 * once the items are done, whichever way the run ended. A second run
 * started on the same list while one is under way (from an event handled
 * during a library call) does nothing.
 *
 * Every command goes to the library with `window` (may be null), which
 * sees the library's progress, failures and left-out entries.
 *
 * Before the library is called for an item, the run refuses it (through
 * RunReporter::ItemFailed, and stops there as for a library failure)
 * when its archive would be the item itself, or when an earlier item of
 * this run was written into the same archive under the same stored name
 * (the item's base name): the second would replace the first. Archives
 * from earlier runs are updated as always. `probe` checks that the output
 * directory takes new files.
 */
RunResult OnCompress(const RunOptions& options, RunReporter& reporter, lzh::ArchiverWindow* window,
                     TargetList& targets, ArchiverLibrary& library = DefaultArchiverLibrary(),
                     const StatusQuery& query = QueryPathStatus,
                     const DirectoryProbe& probe = ProbeWritableDirectory);

}  // namespace pelkoran
