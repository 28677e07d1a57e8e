// pack_now.cpp - `pelkoran --pack PATH...`: the items packed at once with the saved settings, without the list.
#include "pack_now.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>

#include "background_run.h"
#include "item_path.h"
#include "method_switches.h"
#include "target_list.h"

namespace pelkoran {

namespace {

void ShowMessageBox(QWidget* parent, const QString& text, MessageType type)
{
    QMessageBox box(type == MessageType::kInformation ? QMessageBox::Information : QMessageBox::Warning,
                    QStringLiteral("Pelkoran"), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

LaunchRequest ReadCommandLine(const std::vector<std::string>& args)
{
    LaunchRequest request;
    std::size_t first = 0;
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        request.help = true;
        return request;
    }
    if (!args.empty() && args[0] == "--pack") {
        request.pack = true;
        first = 1;
    }
    if (first < args.size() && args[first] == "--")
        ++first;
    request.paths.assign(args.begin() + static_cast<std::ptrdiff_t>(first), args.end());
    return request;
}

CPackNow::CPackNow(ArchiverLibrary& library, std::string settings_path, StatusQuery query)
    : library_(library),
      settings_(LoadSettings(settings_path.empty() ? SettingsFilePath() : settings_path)),
      query_(std::move(query)),
      progress_(&owner_)
{
    owner_.setWindowTitle(QStringLiteral("Pelkoran"));
    SetMessageBox(ShowMessageBox);
}

CPackNow::~CPackNow() = default;

void CPackNow::SetMessageBox(MessageBoxFn box)
{
    message_box_ = std::move(box);
    // The hidden owner is no parent to show a box over.
    progress_.SetFailureBox([this](QWidget* parent, const QString& reason) {
        message_box_(parent == &owner_ ? nullptr : parent, reason, MessageType::kError);
    });
}

RunOptions CPackNow::Options() const
{
    return {settings_.same_place, settings_.output_dir, settings_.trim_ext,
            CommandSwitches(settings_.method, settings_.level, settings_.verify)};
}

void CPackNow::ItemFailed(const std::string& reason)
{
    progress_.ShowFailure(QString::fromUtf8(reason));
}

void CPackNow::Message(const std::string& text, MessageType type)
{
    progress_.Finish();  // the run's own messages come after the library is done
    message_box_(nullptr, QString::fromUtf8(text), type);
}

int CPackNow::Run(const std::vector<std::string>& paths)
{
    if (paths.empty()) {
        message_box_(nullptr, QCoreApplication::translate("CPackNow", kMsgNoItems), MessageType::kError);
        return 2;
    }
    // Listed as a drop lists them; a path that is not there would be left
    // out silently by the list, and the run would then report it finished.
    TargetList targets(query_);
    QString missing;
    for (const std::string& path : paths) {
        const std::string resolved = ResolveItemPath(path);
        if (!query_(resolved).exists)
            missing += QLatin1Char('\n') + QFile::decodeName(QByteArray::fromStdString(path));
        else
            targets.AddTarget(resolved);
    }
    if (!missing.isEmpty())
        message_box_(nullptr, QCoreApplication::translate("CPackNow", kMsgMissingItems) + missing,
                     MessageType::kError);
    if (targets.Count() == 0)
        return 1;

    progress_.Start();
    RunResult result = RunResult::kItemFailed;
    BackgroundRun run([this](std::function<void()> task) {
        QMetaObject::invokeMethod(&owner_, std::move(task), Qt::QueuedConnection);
    });
    run.Start(Options(), *this, &progress_, targets, library_, query_, ProbeWritableDirectory,
              [&result](RunResult ended) { result = ended; });
    run.Wait([] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
    progress_.Finish();
    switch (result) {
    case RunResult::kCompleted:
        return missing.isEmpty() ? 0 : 1;
    case RunResult::kOutputDirRejected:
        return 2;
    case RunResult::kItemFailed:
    case RunResult::kAlreadyRunning:
        break;
    }
    return 1;
}

}  // namespace pelkoran
