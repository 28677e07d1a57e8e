// target_list_model.cpp - the sorted rows of the target list, kept in an order-statistics treap.
//
// Each node is one row. Besides its text, image and selected flag it keeps
// the size of its subtree and the number of selected rows in it, so that
// "row i", "the rank of a text" and "the first selected row" are each one
// walk from the root: O(log n) expected, with no scan of the rows and no
// re-sort. Insert and delete split and merge the treap.
//
// The order compares precomputed collation keys first and the path bytes
// second; the keys come from one QCollator (numeric, case-insensitive).
#include "target_list.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <cassert>
#include <cstdint>
#include <utility>

namespace pelkoran {

namespace {

struct Node {
    Node(std::string t, QCollatorSortKey k, int img, std::uint32_t p)
        : text(std::move(t)), key(std::move(k)), image(img), priority(p) {}

    std::string text;
    QCollatorSortKey key;
    int image;
    std::uint32_t priority;
    bool selected = false;
    int size = 1;      // rows in this subtree
    int selected_count = 0;  // selected rows in this subtree
    Node* left = nullptr;
    Node* right = nullptr;
};

int SizeOf(const Node* n) { return n ? n->size : 0; }
int SelectedOf(const Node* n) { return n ? n->selected_count : 0; }

void Update(Node* n)
{
    n->size = 1 + SizeOf(n->left) + SizeOf(n->right);
    n->selected_count = (n->selected ? 1 : 0) + SelectedOf(n->left) + SelectedOf(n->right);
}

// Negative, zero or positive as (key, text) sorts before, with or after n.
int Compare(const QCollatorSortKey& key, const std::string& text, const Node* n)
{
    int c = key.compare(n->key);
    if (c != 0)
        return c;
    return text.compare(n->text);
}

// Splits t into l (rows sorting before (key, text)) and r (the others).
void SplitByKey(Node* t, const QCollatorSortKey& key, const std::string& text, Node*& l, Node*& r)
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

// Splits t into l (its first `count` rows) and r (the rest).
void SplitByRank(Node* t, int count, Node*& l, Node*& r)
{
    if (!t) {
        l = r = nullptr;
        return;
    }
    if (SizeOf(t->left) < count) {
        SplitByRank(t->right, count - SizeOf(t->left) - 1, t->right, r);
        l = t;
    } else {
        SplitByRank(t->left, count, l, t->left);
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

QLocale CollationLocale()
{
    // In the C locale Qt compares code points and ignores the numeric mode;
    // fall back to the language-neutral English order there.
    QLocale locale;
    if (locale.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

}  // namespace

struct TargetListModel::Impl {
    Impl() : collator(CollationLocale())
    {
        collator.setNumericMode(true);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setIgnorePunctuation(false);
    }
    ~Impl() { Destroy(root); }

    QCollatorSortKey KeyOf(const std::string& text) const
    {
        return collator.sortKey(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }

    // The number of rows sorting before (key, text).
    int RankOf(const QCollatorSortKey& key, const std::string& text) const
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

    std::uint32_t NextPriority()
    {
        // xorshift32: the treap only needs priorities that look random.
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        return rng;
    }

    bool Notify() const { return listener && batch_depth == 0; }

    QCollator collator;
    Node* root = nullptr;
    TargetListListener* listener = nullptr;
    int batch_depth = 0;
    std::uint32_t rng = 0x9e3779b9u;
};

TargetListModel::TargetListModel() : impl_(std::make_unique<Impl>()) {}

TargetListModel::~TargetListModel() = default;

void TargetListModel::InsertRow(const std::string& text, int image)
{
    QCollatorSortKey key = impl_->KeyOf(text);
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
    return SizeOf(impl_->root);
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
    if (impl_->Notify())
        impl_->listener->RowAboutToBeRemoved(row);
    Node* l;
    Node* m;
    Node* gone;
    Node* r;
    SplitByRank(impl_->root, row, l, m);
    SplitByRank(m, 1, gone, r);
    delete gone;
    impl_->root = Merge(l, r);
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
    QCollatorSortKey key = impl_->KeyOf(text);
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
    SetSelectedAt(impl_->root, row, selected);
}

void TargetListModel::SetSelectedRange(int first, int last, bool selected)
{
    if (first < 0)
        first = 0;
    if (last >= RowCount())
        last = RowCount() - 1;
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
        // A view's reset drops its selection; the model follows suit.
        ClearSelection();
        if (impl_->listener)
            impl_->listener->ModelReset();
    }
}

}  // namespace pelkoran
