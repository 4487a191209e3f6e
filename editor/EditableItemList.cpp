#include "EditableItemList.h"

#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <algorithm>
#include <charconv>

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
    connect(fList, &QListWidget::itemSelectionChanged, this, &EditableItemList::keepSelection);
    connect(fList, &QListWidget::itemDoubleClicked, this, &EditableItemList::requestEdit);
    connect(fEditButton, &QPushButton::clicked, this, &EditableItemList::requestEdit);
    updateEditButton();
}

QString EditableItemList::lineText(int number, const CompactString &name)
{
    // Built in place from the stored bytes: the outputs list of a large file
    // has tens of thousands of lines, and a name copied to a QString first
    // and then into the line cost as much as the list's own filling.
    char prefix[16];
    char *digits = prefix;
    if (number >= 0 && number < 10)
        *digits++ = '0';
    char *const end = std::to_chars(digits, prefix + sizeof prefix, number).ptr;
    const qsizetype prefixSize = end - prefix;
    constexpr QLatin1StringView kDash(" - ");
    QString line(prefixSize + kDash.size() + name.size(), Qt::Uninitialized);
    QChar *out = line.data();
    for (qsizetype i = 0; i < prefixSize; ++i)
        *out++ = QLatin1Char(prefix[i]);
    for (const char c : kDash)
        *out++ = QLatin1Char(c);
    if (name.isWide()) {
        const QString wide = name.toString();
        std::copy(wide.cbegin(), wide.cend(), out);
    } else {
        for (const char c : name.latin1())
            *out++ = QLatin1Char(c);
    }
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

void EditableItemList::keepSelection()
{
    // A click below the last line, or Ctrl with a click or Space on the
    // selected line, clears the selection of a list view. Here a line stays
    // selected whenever there are lines, so Edit always has one to open.
    if (!fSelecting && fList->count() > 0 && fList->selectedItems().isEmpty()) {
        QListWidgetItem *line = fList->currentItem();
        if (!line)
            line = fList->item(std::clamp(fLastRow, 0, fList->count() - 1));
        fSelecting = true;
        fList->setCurrentItem(line, QItemSelectionModel::ClearAndSelect);
        fSelecting = false;
        if (fList->currentRow() != fLastRow)
            selectionChanged(fList->currentRow());
    }
    if (fList->currentRow() >= 0)
        fLastRow = fList->currentRow();
    updateEditButton();
}

void EditableItemList::updateEditButton()
{
    fEditButton->setEnabled(selectedPosition() >= 0);
}

void EditableItemList::requestEdit()
{
    // Without a selected line there is no item of this list to open.
    const int position = selectedPosition();
    if (position < 0)
        return;
    // The rebuild after the dialog disables Edit for a moment, and Qt moves
    // the focus on to the next control (Close in the main window), where the
    // next Space would act. The focus goes back to what opened the dialog.
    const QPointer<QWidget> opener = fList->window()->focusWidget();
    emit editRequested(position);
    if (opener && opener->isEnabled() && opener->isVisible())
        opener->setFocus(Qt::OtherFocusReason);
}
