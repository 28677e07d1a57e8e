// target_list.cpp - admitting and removing targets: the rows and the path set in step.
#include "target_list.h"

namespace pelkoran {

namespace {

// A drop or a deletion of at least this many rows reaches the view as one
// reset instead of one notification per row.
constexpr std::size_t kBatchThreshold = 100;

}  // namespace

TargetList::TargetList(StatusQuery query)
    : owned_(std::make_unique<TargetListModel>()), rows_(*owned_), query_(std::move(query))
{}

TargetList::TargetList(TargetRows& rows, StatusQuery query) : rows_(rows), query_(std::move(query)) {}

/*
 * AddTarget - admit one path. The duplicate test comes first, so a path
 * that is listed already costs no status query; the path's bytes are kept
 * exactly (no length cut, no conversion).
 */
bool TargetList::AddTarget(const std::string& path)
{
    if (paths_.count(path) != 0)
        return false;
    PathStatus status = query_(path);
    if (!status.exists)
        return false;
    rows_.InsertRow(path, status.is_directory ? kImageDirectory : kImageFile);
    paths_.insert(path);
    return true;
}

int TargetList::AddTargets(const std::vector<std::string>& paths)
{
    bool batch = owned_ && paths.size() >= kBatchThreshold;
    if (batch)
        owned_->BeginBatch();
    paths_.reserve(paths_.size() + paths.size());
    int added = 0;
    for (const std::string& path : paths)
        added += AddTarget(path) ? 1 : 0;
    if (batch)
        owned_->EndBatch();
    return added;
}

/*
 * RemoveSelectedTargets - delete every selected row. The search for the
 * first selected row starts from the top each time, since the indexes
 * after a deleted row move up.
 */
void TargetList::RemoveSelectedTargets()
{
    if (rows_.SelectedCount() == 0)
        return;
    bool batch = owned_ && static_cast<std::size_t>(rows_.SelectedCount()) >= kBatchThreshold;
    if (batch)
        owned_->BeginBatch();
    for (int row = rows_.FirstSelectedRow(); row != -1; row = rows_.FirstSelectedRow()) {
        paths_.erase(rows_.RowText(row));
        rows_.DeleteRow(row);
    }
    if (batch)
        owned_->EndBatch();
}

bool TargetList::OnUpdateDelete() const
{
    return rows_.SelectedCount() != 0;
}

bool TargetList::OnUpdateCompress() const
{
    return rows_.RowCount() > 0;
}

int TargetList::Count() const
{
    return rows_.RowCount();
}

std::string TargetList::FirstText() const
{
    return rows_.RowText(0);
}

void TargetList::RemoveFirst()
{
    if (rows_.RowCount() == 0)
        return;
    paths_.erase(rows_.RowText(0));
    rows_.DeleteRow(0);
}

/*
 * RemoveTarget - remove the row of `path`. The run packs the first row and
 * then removes it; should the list have changed during the library call,
 * the row is looked up by its text instead, so that the packed item (and
 * only it) leaves the list.
 */
bool TargetList::RemoveTarget(const std::string& path)
{
    if (paths_.count(path) == 0)
        return false;
    int count = rows_.RowCount();
    for (int row = 0; row < count; ++row) {
        if (rows_.RowText(row) == path) {
            paths_.erase(path);
            rows_.DeleteRow(row);
            return true;
        }
    }
    return false;
}

bool TargetList::Contains(const std::string& path) const
{
    return paths_.count(path) != 0;
}

TargetRows& TargetList::Rows()
{
    return rows_;
}

TargetListModel& TargetList::Model()
{
    return *owned_;
}

}  // namespace pelkoran
