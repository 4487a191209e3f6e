#include "EditableItemList.h"

#include <QListWidget>
#include <QPushButton>
#include <QStringList>

EditableItemList::EditableItemList(QListWidget *list, QPushButton *editButton, CountFunction count,
                                   NameFunction name, QObject *parent)
    : QObject(parent), fList(list), fEditButton(editButton), fCount(std::move(count)),
      fName(std::move(name))
{
    fList->setSelectionMode(QAbstractItemView::SingleSelection);
    fList->setSortingEnabled(false);
    // Every line is one line of text in the list's font. Without this the
    // view measures each line's text on every rebuild, which takes seconds
    // for tens of thousands of outputs; a line wider than the list ends in
    // an ellipsis instead of widening the list.
    fList->setUniformItemSizes(true);
    connect(fList, &QListWidget::currentRowChanged, this, &EditableItemList::currentRowChanged);
    connect(fList, &QListWidget::itemSelectionChanged, this, &EditableItemList::updateEditButton);
    connect(fList, &QListWidget::itemDoubleClicked, this, &EditableItemList::requestEdit);
    connect(fEditButton, &QPushButton::clicked, this, &EditableItemList::requestEdit);
    updateEditButton();
}

QString EditableItemList::lineText(int number, const QString &name)
{
    QString line;
    line.reserve(name.size() + 8);
    if (number >= 0 && number < 10)
        line += QLatin1Char('0');
    line += QString::number(number);
    line += QLatin1String(" - ");
    line += name;
    return line;
}

void EditableItemList::RefreshList(int position)
{
    fList->clear();
    const int count = fCount();
    QStringList lines;
    lines.reserve(count);
    for (int i = 0; i < count; ++i)
        lines.append(lineText(i + 1, fName(i)));
    fList->addItems(lines);

    const int lineCount = fList->count();
    select(position >= lineCount ? lineCount - 1 : position);
}

void EditableItemList::select(int position)
{
    // QListWidget signals nothing when the row does not change, so the code's
    // selection is passed on here rather than through the list's signal.
    fSelecting = true;
    fList->setCurrentRow(position < 0 ? -1 : position);
    fSelecting = false;
    selectionChanged(fList->currentRow());
}

int EditableItemList::selectedPosition() const
{
    const QListWidgetItem *item = fList->currentItem();
    return item && item->isSelected() ? fList->currentRow() : -1;
}

void EditableItemList::currentRowChanged(int row)
{
    if (!fSelecting)
        selectionChanged(row);
}

void EditableItemList::selectionChanged(int row)
{
    updateEditButton();
    if (row >= 0)
        emit selected(row);
}

void EditableItemList::updateEditButton()
{
    fEditButton->setEnabled(selectedPosition() >= 0);
}

void EditableItemList::requestEdit()
{
    // Without a selected line there is no item of this list to open.
    const int position = selectedPosition();
    if (position >= 0)
        emit editRequested(position);
}
