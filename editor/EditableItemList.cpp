#include "EditableItemList.h"

#include "ItemLinesModel.h"

#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <charconv>

EditableItemList::EditableItemList(QListView *list, QPushButton *editButton, CountFunction count,
                                   NameFunction name, QObject *parent)
    : QObject(parent), fList(list), fEditButton(editButton), fName(std::move(name))
{
    fLines = new ItemLinesModel(
        std::move(count), [this](int row) { return lineText(row + 1, fName(row)); }, this);
    fList->setModel(fLines);
    fList->setSelectionMode(QAbstractItemView::SingleSelection);
    // Every line is one line of text in the list's font. Without this the
    // view measures each line's text on every rebuild, which takes seconds
    // for tens of thousands of outputs; a line wider than the list ends in
    // an ellipsis instead of widening the list.
    fList->setUniformItemSizes(true);
    // The view made its selection model in setModel(), and keeps it across
    // rebuilds, which only reset the model.
    const QItemSelectionModel *selection = fList->selectionModel();
    connect(selection, &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { currentRowChanged(current.row()); });
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            &EditableItemList::keepSelection);
    connect(fList, &QAbstractItemView::doubleClicked, this, &EditableItemList::requestEdit);
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
    // The reset clears the selection and the current line without a signal;
    // the line selected below binds as a click does.
    fLines->rebuild();
    const int lineCount = this->lineCount();
    select(position >= lineCount ? lineCount - 1 : position);
}

void EditableItemList::select(int position)
{
    // The view signals nothing when the row does not change, so the code's
    // selection is passed on here rather than through the view's signal.
    fSelecting = true;
    setCurrentRow(position < 0 ? -1 : position);
    fSelecting = false;
    selectionChanged(currentRow());
}

int EditableItemList::selectedPosition() const
{
    const QModelIndex current = fList->currentIndex();
    return current.isValid() && fList->selectionModel()->isSelected(current) ? current.row() : -1;
}

int EditableItemList::lineCount() const
{
    return fLines->rowCount();
}

int EditableItemList::currentRow() const
{
    return fList->currentIndex().row();
}

void EditableItemList::setCurrentRow(int row)
{
    // As QListWidget::setCurrentRow in single selection: the selection model
    // directly, since the view's own setter would take the keyboard's
    // modifiers for a command.
    fList->selectionModel()->setCurrentIndex(fLines->index(row),
                                             QItemSelectionModel::ClearAndSelect);
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
    const int count = lineCount();
    if (!fSelecting && count > 0 && !fList->selectionModel()->hasSelection()) {
        const int row = currentRow() >= 0 ? currentRow() : std::clamp(fLastRow, 0, count - 1);
        fSelecting = true;
        setCurrentRow(row);
        fSelecting = false;
        if (currentRow() != fLastRow)
            selectionChanged(currentRow());
    }
    if (currentRow() >= 0)
        fLastRow = currentRow();
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
