// target_view_model.h - the target list as a Qt item model, so a QTreeView can show it.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include "target_list.h"

class QItemSelectionModel;
class QItemSelection;

namespace pelkoran {

/*
 * TargetViewModel - a one-column, read-only view of a TargetListModel.
 *
 * The rows, their order and their selected flags live in the
 * TargetListModel; this adapter only shows them: the path's bytes decoded
 * for display, the folder or file icon, and the column header. It listens
 * to the model's changes and forwards them as Qt's begin/end calls.
 *
 * Selection: the view's QItemSelectionModel is the one the user changes;
 * BindSelection() mirrors its changes into the model's selected flags,
 * which are what the delete button and RemoveSelectedTargets read. After a
 * model reset (a batch) the view's selection is rebuilt from the flags.
 */
class TargetViewModel : public QAbstractItemModel, private TargetListListener {
    Q_OBJECT

public:
    explicit TargetViewModel(TargetListModel& rows, QObject* parent = nullptr);
    ~TargetViewModel() override;

    // Mirrors `selection`'s changes into the model's selected flags.
    void BindSelection(QItemSelectionModel* selection);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // TargetListListener
    void RowAboutToBeInserted(int row) override;
    void RowInserted(int row) override;
    void RowAboutToBeRemoved(int row) override;
    void RowRemoved(int row) override;
    void ModelAboutToBeReset() override;
    void ModelReset() override;

    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void RestoreSelection();

    TargetListModel& rows_;
    QItemSelectionModel* selection_ = nullptr;
    QIcon folder_icon_;
    QIcon file_icon_;
    // True while the model is between an "about to" call and its end: the
    // selection model then adjusts itself, and those adjustments must not be
    // written back into a model that is in the middle of a change.
    bool changing_ = false;
};

}  // namespace pelkoran
