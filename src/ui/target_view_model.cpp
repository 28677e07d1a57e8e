// target_view_model.cpp - the target list as a Qt item model, so a QTreeView can show it.
#include "target_view_model.h"

#include <QFile>
#include <QItemSelectionModel>

namespace pelkoran {

TargetViewModel::TargetViewModel(TargetListModel& rows, QObject* parent)
    : QAbstractItemModel(parent),
      rows_(rows),
      folder_icon_(QStringLiteral(":/icons/folder.svg")),
      file_icon_(QStringLiteral(":/icons/file.svg"))
{
    rows_.SetListener(this);
}

TargetViewModel::~TargetViewModel()
{
    rows_.SetListener(nullptr);
}

void TargetViewModel::BindSelection(QItemSelectionModel* selection)
{
    if (selection_)
        disconnect(selection_, nullptr, this, nullptr);
    selection_ = selection;
    if (!selection_)
        return;
    connect(selection_, &QItemSelectionModel::selectionChanged, this, &TargetViewModel::OnSelectionChanged);
    RestoreSelection();
}

QModelIndex TargetViewModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || column != 0 || row < 0 || row >= rows_.RowCount())
        return {};
    return createIndex(row, column);
}

QModelIndex TargetViewModel::parent(const QModelIndex&) const
{
    return {};
}

int TargetViewModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_.RowCount();
}

int TargetViewModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant TargetViewModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.RowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        // The path stays bytes everywhere else; it is decoded only here.
        return QFile::decodeName(QByteArray::fromStdString(rows_.RowText(index.row())));
    case Qt::DecorationRole:
        return rows_.RowImage(index.row()) == kImageDirectory ? folder_icon_ : file_icon_;
    default:
        return {};
    }
}

QVariant TargetViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return tr("ファイル・ディレクトリ");
    return {};
}

Qt::ItemFlags TargetViewModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TargetViewModel::RowAboutToBeInserted(int row)
{
    changing_ = true;
    beginInsertRows({}, row, row);
}

void TargetViewModel::RowInserted(int)
{
    endInsertRows();
    changing_ = false;
}

void TargetViewModel::RowAboutToBeRemoved(int row)
{
    changing_ = true;
    beginRemoveRows({}, row, row);
}

void TargetViewModel::RowRemoved(int)
{
    endRemoveRows();
    changing_ = false;
}

void TargetViewModel::ModelAboutToBeReset()
{
    changing_ = true;
    beginResetModel();
}

void TargetViewModel::ModelReset()
{
    endResetModel();
    changing_ = false;
    // A reset clears the view's selection, but the model's rows kept their
    // flags: show them again, or the delete button would act on rows that
    // the user cannot see selected.
    RestoreSelection();
}

void TargetViewModel::OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (changing_)
        return;
    const int count = rows_.RowCount();
    auto apply = [&](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges) {
            const int first = std::max(range.top(), 0);
            const int last = std::min(range.bottom(), count - 1);
            if (first <= last)
                rows_.SetSelectedRange(first, last, on);
        }
    };
    apply(deselected, false);
    apply(selected, true);
}

/*
 * RestoreSelection - make the view's selection show the model's selected
 * flags again (after a reset or when a view is bound). Contiguous selected
 * rows become one range; the scan runs only when something is selected.
 */
void TargetViewModel::RestoreSelection()
{
    if (!selection_ || rows_.SelectedCount() == 0) {
        if (selection_) {
            const bool was = changing_;
            changing_ = true;
            selection_->clearSelection();
            changing_ = was;
        }
        return;
    }
    QItemSelection ranges;
    const int count = rows_.RowCount();
    for (int row = rows_.FirstSelectedRow(); row >= 0 && row < count; ++row) {
        if (!rows_.IsSelected(row))
            continue;
        int last = row;
        while (last + 1 < count && rows_.IsSelected(last + 1))
            ++last;
        ranges.select(index(row, 0), index(last, 0));
        row = last;
    }
    const bool was = changing_;
    changing_ = true;
    selection_->select(ranges, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    changing_ = was;
}

}  // namespace pelkoran
