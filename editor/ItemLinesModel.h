#pragma once

#include <QAbstractListModel>
#include <functional>

// The lines of an item list, made when the view asks for one rather than
// stored: the outputs list of a large file has tens of thousands of lines,
// and a stored string and item per line cost several MiB and a visible part
// of the start-up. The line count is fixed between rebuilds, so that the
// view and the rows it knows always agree.
class ItemLinesModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using CountFunction = std::function<int()>;
    using LineFunction = std::function<QString(int row)>;

    ItemLinesModel(CountFunction count, LineFunction line, QObject *parent);

    // Takes the item count anew; the view forgets its selection.
    void rebuild();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    CountFunction fCount;
    LineFunction fLine;
    int fRows = 0;
};
