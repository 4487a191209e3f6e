#pragma once

#include "CompactString.h"

#include <QObject>
#include <QString>
#include <functional>

class ItemLinesModel;
class QListView;
class QPushButton;

// The numbered list of outputs in the main window and of inputs in the output
// dialog: one line per item ("01 - name"), a selection that binds the item's
// dialog, and Edit or a double-click opening that dialog. The window supplies
// the items and reacts to selected() and editRequested().
class EditableItemList : public QObject
{
    Q_OBJECT

public:
    using CountFunction = std::function<int()>;
    using NameFunction = std::function<const CompactString &(int position)>;

    EditableItemList(QListView *list, QPushButton *editButton, CountFunction count,
                     NameFunction name, QObject *parent);

    // "01 - name" for item number 1; the number has at least two digits.
    static QString lineText(int number, const CompactString &name);

    // Rebuilds every line and selects the line at position, clamped to the
    // last line; -1 selects nothing.
    void RefreshList(int position);

    // Selects a line from code; it binds exactly as a user's choice does, also
    // when the line was selected already.
    void select(int position);

    // The selected line, or -1.
    int selectedPosition() const;

signals:
    // A line became selected, by the user or by select(): bind the dialog.
    void selected(int position);
    // Edit or a double-click while a line is selected.
    void editRequested(int position);

private:
    int lineCount() const;
    int currentRow() const;
    // Makes row the current and only selected line; -1 clears both.
    void setCurrentRow(int row);
    void currentRowChanged(int row);
    void selectionChanged(int row);
    void keepSelection();
    void updateEditButton();
    void requestEdit();

    QListView *fList;
    ItemLinesModel *fLines;
    QPushButton *fEditButton;
    NameFunction fName;
    bool fSelecting = false;
    // The line last selected, for putting the selection back.
    int fLastRow = 0;
};
