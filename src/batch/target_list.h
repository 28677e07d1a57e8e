// target_list.h - the list of items waiting to be packed: sorted rows, a path set, selection.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "path_status.h"

namespace pelkoran {

// The image of a row: what kind of item it lists.
enum TargetImage : int {
    kImageDirectory = 0,
    kImageFile = 1,
};

/*
 * TargetRows - the six row operations through which the list logic reaches
 * the rows. The rows are kept in ascending order of their text (see
 * TargetListModel for the collation); row 0 is the first in that order.
 * Row indexes are 0-based; -1 means "no row".
 */
class TargetRows {
public:
    virtual ~TargetRows() = default;
    // Inserts a row; the rows stay sorted, so it lands at its sorted place.
    virtual void InsertRow(const std::string& text, int image) = 0;
    virtual int RowCount() const = 0;
    // The text (the path's bytes) of row `row`, 0 <= row < RowCount().
    virtual std::string RowText(int row) const = 0;
    virtual int SelectedCount() const = 0;
    // The index of the first selected row, or -1 when none is selected.
    virtual int FirstSelectedRow() const = 0;
    // Deletes row `row`; the rows after it move up by one.
    virtual void DeleteRow(int row) = 0;
};

/*
 * TargetListListener - how a view learns of changes to a TargetListModel.
 * The calls pair up like a Qt item model's begin/end calls: the
 * "AboutTo" call comes before the model changes, the other after it.
 * During a batch (BeginBatch .. EndBatch) no row calls are made; instead
 * ModelAboutToBeReset comes at BeginBatch and ModelReset at EndBatch; the
 * rows keep their selected flags through a batch (a view shows them again
 * after its reset).
 * Selection changes made through the model's own setters are not reported
 * (the view is the one that makes them).
 */
class TargetListListener {
public:
    virtual ~TargetListListener() = default;
    virtual void RowAboutToBeInserted(int /*row*/) {}
    virtual void RowInserted(int /*row*/) {}
    virtual void RowAboutToBeRemoved(int /*row*/) {}
    virtual void RowRemoved(int /*row*/) {}
    virtual void ModelAboutToBeReset() {}
    virtual void ModelReset() {}
};

/*
 * TargetListModel - the rows themselves, outside any widget.
 *
 * Order: the Japanese collation whatever the process's locale (so the
 * window and pelkoran-cli pack the same items in the same order), case-insensitive,
 * numbers inside names compared as numbers ("file2" before "file10"), and
 * ties broken by the bytes, so the order is total: two different paths
 * never compare equal. Paths that are not valid UTF-8 sort and list too
 * (they are collated through their lossy decoding, then by their bytes).
 *
 * Every operation is O(log n): the rows live in an order-statistics tree
 * that also counts the selected rows of each subtree. Each row carries its
 * text (the path's bytes, exactly), its image and a selected flag.
 */
class TargetListModel : public TargetRows {
public:
    TargetListModel();
    ~TargetListModel() override;
    TargetListModel(const TargetListModel&) = delete;
    TargetListModel& operator=(const TargetListModel&) = delete;

    // The six row operations.
    void InsertRow(const std::string& text, int image) override;
    int RowCount() const override;
    std::string RowText(int row) const override;
    int SelectedCount() const override;
    int FirstSelectedRow() const override;
    void DeleteRow(int row) override;

    // What a view needs besides: the image, the row of a text (-1 when not
    // listed), and the selection, which the view sets.
    int RowImage(int row) const;
    int FindRow(const std::string& text) const;
    bool IsSelected(int row) const;
    void SetSelected(int row, bool selected);
    // Sets rows first..last (inclusive) at once.
    void SetSelectedRange(int first, int last, bool selected);
    void ClearSelection();

    // The listener is not owned; nullptr detaches it.
    void SetListener(TargetListListener* listener);

    // Many inserts or deletes as one change (a drop of many paths): the
    // listener sees one reset instead of a call per row. Batches nest.
    void BeginBatch();
    void EndBatch();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/*
 * TargetList - the rows and the set of listed paths, changed together.
 * Invariant: the set's keys are exactly the rows' texts (byte for byte,
 * case kept: "/a/A.txt" and "/a/a.txt" are two entries).
 *
 * All logic reaches the rows only through the six TargetRows operations.
 */
class TargetList {
public:
    // The list owns a TargetListModel (see Model()).
    explicit TargetList(StatusQuery query = QueryPathStatus);
    // The list works on rows kept elsewhere (not owned); they must start empty.
    explicit TargetList(TargetRows& rows, StatusQuery query = QueryPathStatus);
    TargetList(const TargetList&) = delete;
    TargetList& operator=(const TargetList&) = delete;

    // Admits one path, as a drop does: nothing happens when it is listed
    // already or when its status query fails; otherwise a row is added
    // with the folder image for a directory and the file image otherwise.
    // Returns true when a row was added.
    bool AddTarget(const std::string& path);

    // Admits paths in the given order (a drop). A large drop into the list's
    // own model runs as one batch (see TargetListModel::BeginBatch), so
    // the view is reset once. Returns the number of rows added.
    int AddTargets(const std::vector<std::string>& paths);

    // The delete button: removes every selected row (and its path).
    void RemoveSelectedTargets();

    // The enabling rules: delete button / compress button enabled.
    bool OnUpdateDelete() const;
    bool OnUpdateCompress() const;

    // What the run uses: the row count, the first row's text, and removing
    // the first row (its text leaves the set in the same step).
    int Count() const;
    std::string FirstText() const;
    void RemoveFirst();
    // Removes the row of `path` (the first row in the usual case); false
    // when it is not listed.
    bool RemoveTarget(const std::string& path);

    bool Contains(const std::string& path) const;

    // The rows. Model() is valid only for a list that owns its rows
    // (the first constructor); it is what the window shows.
    TargetRows& Rows();
    TargetListModel& Model();

private:
    std::unique_ptr<TargetListModel> owned_;
    TargetRows& rows_;
    std::unordered_set<std::string> paths_;
    StatusQuery query_;
};

}  // namespace pelkoran
