#include "ItemLinesModel.h"

ItemLinesModel::ItemLinesModel(CountFunction count, LineFunction line, QObject *parent)
    : QAbstractListModel(parent), fCount(std::move(count)), fLine(std::move(line))
{}

void ItemLinesModel::rebuild()
{
    beginResetModel();
    fRows = fCount();
    endResetModel();
}

int ItemLinesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : fRows;
}

QVariant ItemLinesModel::data(const QModelIndex &index, int role) const
{
    // The items can be fewer than the rows between rebuilds: the output
    // dialog's list keeps its rows while the dialog, hidden, is bound to
    // another output.
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= fRows ||
        index.row() >= fCount())
        return QVariant();
    return fLine(index.row());
}
