#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "data/engine/TableDataset.h"

namespace tavix {

// A control that holds typed text not yet in the row (the grid's cell
// editor). Before the row is posted, moved from or read again, the data
// source asks each of them to put that text into the row.
class TDataEditor {
public:
    virtual ~TDataEditor() = default;
    // Throws when the text does not convert; the text stays in the editor.
    virtual void updateRecord() = 0;
    // The row's edit was dropped: forget the typed text.
    virtual void discardEdit() = 0;
    // The user asked elsewhere (the navigator) to type in the current row:
    // take the keyboard when shown. True when it did.
    virtual bool takeFocus() = 0;
};

// Links data-aware controls to one table dataset, which it does not own.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr);

    void setDataSet(db::TableDataset* dataSet);
    db::TableDataset* dataSet() const { return dataSet_.data(); }

    void addEditor(TDataEditor* editor);
    void removeEditor(TDataEditor* editor);
    // Takes the text being typed in any bound control into the row.
    void updateRecord();
    void discardEdits();
    // Takes the typed text, then posts a row holding a change and cancels
    // one holding none. Throws what the post throws; the row stays pending.
    void postPending();
    // The first bound control shown takes the keyboard.
    void focusEditor();

signals:
    void dataSetChanged();

private:
    QPointer<db::TableDataset> dataSet_;
    QList<TDataEditor*> editors_;
};

}  // namespace tavix
