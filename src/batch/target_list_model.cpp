// target_list_model.cpp - the sorted rows of the target list, kept in an order-statistics treap.
//
// Each node is one row. Besides its text, image and selected flag it keeps
// the size of its subtree and the number of selected rows in it, so that
// "row i", "the rank of a text" and "the first selected row" are each one
// walk from the root: O(log n) expected, with no scan of the rows and no
// re-sort. Insert splits and merges the treap; delete walks down to the row
// and merges its two subtrees in its place.
//
// A batch (a large drop) does not insert row by row: its rows wait in a
// pending list and are merged in at the end of the batch, or at the next
// access by index, whichever comes first: the pending rows are sorted
// among themselves, merged with the rows in order, and the treap is built
// again from the sorted sequence in linear time.
//
// The order compares precomputed collation keys first and the path bytes
// second; the keys come from a NameCollator (numeric, case-insensitive).
#include "target_list.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <optional>
#include <thread>
#include <utility>

#include "collation.h"

namespace pelkoran {

namespace {

struct Node {
    Node(std::string t, CollationKey k, int img, std::uint32_t p)
        : text(std::move(t)), key(std::move(k)), image(img), priority(p)
    {}

    std::string text;
    CollationKey key;
    int image;
    std::uint32_t priority;
    bool selected = false;
    int size = 1;            // rows in this subtree
    int selected_count = 0;  // selected rows in this subtree
    Node* left = nullptr;
    Node* right = nullptr;
};

int SizeOf(const Node* n)
{
    return n ? n->size : 0;
}
int SelectedOf(const Node* n)
{
    return n ? n->selected_count : 0;
}

void Update(Node* n)
{
    n->size = 1 + SizeOf(n->left) + SizeOf(n->right);
    n->selected_count = (n->selected ? 1 : 0) + SelectedOf(n->left) + SelectedOf(n->right);
}

// Negative, zero or positive as (key, text) sorts before, with or after n.
int Compare(const CollationKey& key, const std::string& text, const Node* n)
{
    int c = key.compare(n->key);
    if (c != 0)
        return c;
    return text.compare(n->text);
}

// Splits t into l (rows sorting before (key, text)) and r (the others).
void SplitByKey(Node* t, const CollationKey& key, const std::string& text, Node*& l, Node*& r)
{
    if (!t) {
        l = r = nullptr;
        return;
    }
    if (Compare(key, text, t) > 0) {
        SplitByKey(t->right, key, text, t->right, r);
        l = t;
    } else {
        SplitByKey(t->left, key, text, l, t->left);
        r = t;
    }
    Update(t);
}

// Joins l and r, every row of l sorting before every row of r.
Node* Merge(Node* l, Node* r)
{
    if (!l)
        return r;
    if (!r)
        return l;
    if (l->priority > r->priority) {
        l->right = Merge(l->right, r);
        Update(l);
        return l;
    }
    r->left = Merge(l, r->left);
    Update(r);
    return r;
}

// Removes row `row` below t into `gone`; returns the new subtree root.
Node* DeleteAt(Node* t, int row, Node*& gone)
{
    int left = SizeOf(t->left);
    if (row < left) {
        t->left = DeleteAt(t->left, row, gone);
    } else if (row > left) {
        t->right = DeleteAt(t->right, row - left - 1, gone);
    } else {
        gone = t;
        return Merge(t->left, t->right);
    }
    Update(t);
    return t;
}

bool NodeLess(const Node* a, const Node* b)
{
    return Compare(a->key, a->text, b) < 0;
}

void AppendInOrder(Node* t, std::vector<Node*>& out)
{
    std::vector<Node*> stack;
    while (t || !stack.empty()) {
        while (t) {
            stack.push_back(t);
            t = t->left;
        }
        t = stack.back();
        stack.pop_back();
        out.push_back(t);
        t = t->right;
    }
}

void UpdateBelow(Node* t)
{
    if (!t)
        return;
    UpdateBelow(t->left);
    UpdateBelow(t->right);
    Update(t);
}

// Builds the treap of the sorted `nodes` (a Cartesian tree on the
// priorities) with a stack, in linear time.
Node* Build(const std::vector<Node*>& nodes)
{
    std::vector<Node*> spine;  // the right spine, priorities decreasing
    for (Node* n : nodes) {
        n->left = n->right = nullptr;
        Node* last = nullptr;
        while (!spine.empty() && spine.back()->priority < n->priority) {
            last = spine.back();
            spine.pop_back();
        }
        n->left = last;
        if (!spine.empty())
            spine.back()->right = n;
        spine.push_back(n);
    }
    Node* root = spine.empty() ? nullptr : spine.front();
    UpdateBelow(root);
    return root;
}

void Destroy(Node* t)
{
    // Iterative: frees any shape of tree without deep recursion.
    while (t) {
        if (t->left) {
            Node* l = t->left;
            t->left = l->right;
            l->right = t;
            t = l;
        } else {
            Node* r = t->right;
            delete t;
            t = r;
        }
    }
}

// Sets the selected flag of row `row` below t, keeping the counts.
void SetSelectedAt(Node* t, int row, bool selected)
{
    int left = SizeOf(t->left);
    if (row < left)
        SetSelectedAt(t->left, row, selected);
    else if (row > left)
        SetSelectedAt(t->right, row - left - 1, selected);
    else
        t->selected = selected;
    Update(t);
}

void ClearSelectedBelow(Node* t)
{
    if (!t || t->selected_count == 0)
        return;
    t->selected = false;
    ClearSelectedBelow(t->left);
    ClearSelectedBelow(t->right);
    t->selected_count = 0;
}

// Rows per thread below which a batch's keys are computed on the caller's thread.
constexpr std::size_t kKeysPerThread = 8192;

/*
 * SortKeysOf - the sort keys of `texts`, computed on up to as many threads
 * as the machine has cores when there are many (a large drop): the keys
 * are the bulk of a batch's cost. Each thread has its own collator.
 */
std::vector<std::optional<CollationKey>> SortKeysOf(const NameCollator& collator,
                                                    const std::vector<std::pair<std::string, int>>& texts)
{
    std::vector<std::optional<CollationKey>> keys(texts.size());
    std::size_t threads = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                                texts.size() / kKeysPerThread);
    auto work = [&](const NameCollator& c, std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i)
            keys[i].emplace(c.KeyOf(texts[i].first));
    };
    if (threads <= 1) {
        work(collator, 0, texts.size());
        return keys;
    }
    std::size_t chunk = (texts.size() + threads - 1) / threads;
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) {
        std::size_t first = std::min(texts.size(), t * chunk);
        std::size_t last = std::min(texts.size(), first + chunk);
        helpers.emplace_back([&, first, last] {
            NameCollator own;
            work(own, first, last);
        });
    }
    work(collator, 0, std::min(texts.size(), chunk));
    for (std::thread& h : helpers)
        h.join();
    return keys;
}

}  // namespace

struct TargetListModel::Impl {
    Impl() = default;
    ~Impl() { Destroy(root); }

    // Merges the pending rows of a batch into the treap.
    void Flush() const
    {
        if (pending.empty())
            return;
        std::vector<std::optional<CollationKey>> keys = SortKeysOf(collator, pending);
        std::vector<Node*> fresh;
        fresh.reserve(pending.size());
        for (std::size_t i = 0; i < pending.size(); ++i) {
            auto& [text, image] = pending[i];
            fresh.push_back(new Node(std::move(text), std::move(*keys[i]), image, NextPriority()));
        }
        pending.clear();
        std::sort(fresh.begin(), fresh.end(), NodeLess);
        std::vector<Node*> rows;
        rows.reserve(static_cast<std::size_t>(SizeOf(root)));
        AppendInOrder(root, rows);
        std::vector<Node*> merged(rows.size() + fresh.size());
        std::merge(rows.begin(), rows.end(), fresh.begin(), fresh.end(), merged.begin(), NodeLess);
        root = Build(merged);
    }

    CollationKey KeyOf(const std::string& text) const { return collator.KeyOf(text); }

    // The number of rows sorting before (key, text).
    int RankOf(const CollationKey& key, const std::string& text) const
    {
        int rank = 0;
        for (const Node* t = root; t;) {
            if (Compare(key, text, t) > 0) {
                rank += SizeOf(t->left) + 1;
                t = t->right;
            } else {
                t = t->left;
            }
        }
        return rank;
    }

    const Node* At(int row) const
    {
        Flush();
        if (row < 0 || row >= SizeOf(root))
            return nullptr;
        const Node* t = root;
        while (t) {
            int left = SizeOf(t->left);
            if (row < left) {
                t = t->left;
            } else if (row > left) {
                row -= left + 1;
                t = t->right;
            } else {
                return t;
            }
        }
        return nullptr;
    }

    std::uint32_t NextPriority() const
    {
        // xorshift32: the treap only needs priorities that look random.
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        return rng;
    }

    bool Notify() const { return listener && batch_depth == 0; }

    NameCollator collator;
    // Flush() runs from const accessors, so the tree itself is mutable.
    mutable Node* root = nullptr;
    mutable std::vector<std::pair<std::string, int>> pending;  // rows of the batch, unsorted
    mutable std::uint32_t rng = 0x9e3779b9u;
    TargetListListener* listener = nullptr;
    int batch_depth = 0;
};

TargetListModel::TargetListModel() : impl_(std::make_unique<Impl>()) {}

TargetListModel::~TargetListModel() = default;

void TargetListModel::InsertRow(const std::string& text, int image)
{
    if (impl_->batch_depth > 0) {
        impl_->pending.emplace_back(text, image);
        return;
    }
    impl_->Flush();
    CollationKey key = impl_->KeyOf(text);
    int row = impl_->RankOf(key, text);
    if (impl_->Notify())
        impl_->listener->RowAboutToBeInserted(row);
    Node* l;
    Node* r;
    SplitByKey(impl_->root, key, text, l, r);
    Node* n = new Node(text, std::move(key), image, impl_->NextPriority());
    impl_->root = Merge(Merge(l, n), r);
    if (impl_->Notify())
        impl_->listener->RowInserted(row);
}

int TargetListModel::RowCount() const
{
    return SizeOf(impl_->root) + static_cast<int>(impl_->pending.size());
}

std::string TargetListModel::RowText(int row) const
{
    const Node* n = impl_->At(row);
    return n ? n->text : std::string();
}

int TargetListModel::SelectedCount() const
{
    return SelectedOf(impl_->root);
}

int TargetListModel::FirstSelectedRow() const
{
    impl_->Flush();
    int row = 0;
    for (const Node* t = impl_->root; t && t->selected_count > 0;) {
        if (SelectedOf(t->left) > 0) {
            t = t->left;
        } else if (t->selected) {
            return row + SizeOf(t->left);
        } else {
            row += SizeOf(t->left) + 1;
            t = t->right;
        }
    }
    return -1;
}

void TargetListModel::DeleteRow(int row)
{
    if (row < 0 || row >= RowCount())
        return;
    impl_->Flush();
    if (impl_->Notify())
        impl_->listener->RowAboutToBeRemoved(row);
    Node* gone = nullptr;
    impl_->root = DeleteAt(impl_->root, row, gone);
    delete gone;
    if (impl_->Notify())
        impl_->listener->RowRemoved(row);
}

int TargetListModel::RowImage(int row) const
{
    const Node* n = impl_->At(row);
    return n ? n->image : -1;
}

int TargetListModel::FindRow(const std::string& text) const
{
    impl_->Flush();
    CollationKey key = impl_->KeyOf(text);
    int row = impl_->RankOf(key, text);
    const Node* n = impl_->At(row);
    if (n && n->text == text)
        return row;
    return -1;
}

bool TargetListModel::IsSelected(int row) const
{
    const Node* n = impl_->At(row);
    return n && n->selected;
}

void TargetListModel::SetSelected(int row, bool selected)
{
    if (row < 0 || row >= RowCount())
        return;
    impl_->Flush();
    SetSelectedAt(impl_->root, row, selected);
}

void TargetListModel::SetSelectedRange(int first, int last, bool selected)
{
    if (first < 0)
        first = 0;
    if (last >= RowCount())
        last = RowCount() - 1;
    impl_->Flush();
    for (int row = first; row <= last; ++row)
        SetSelectedAt(impl_->root, row, selected);
}

void TargetListModel::ClearSelection()
{
    ClearSelectedBelow(impl_->root);
}

void TargetListModel::SetListener(TargetListListener* listener)
{
    impl_->listener = listener;
}

void TargetListModel::BeginBatch()
{
    if (impl_->batch_depth++ == 0 && impl_->listener)
        impl_->listener->ModelAboutToBeReset();
}

void TargetListModel::EndBatch()
{
    assert(impl_->batch_depth > 0);
    if (--impl_->batch_depth == 0) {
        impl_->Flush();
        // The rows keep their selected flags: a view shows them again after
        // its reset, so a large drop leaves the user's selection as it was.
        if (impl_->listener)
            impl_->listener->ModelReset();
    }
}

}  // namespace pelkoran
