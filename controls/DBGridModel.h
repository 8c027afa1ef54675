#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QString>

#include "data/engine/TableDataset.h"

namespace tavix {

// Shows a table dataset to a view: one row per record, the chosen fields as
// columns. Values are read from the dataset when the view asks for them; the
// model keeps no copy of the rows.
class TDBGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    struct Column {
        QString field;
        int width = 64;
        QString title;
    };

    explicit TDBGridModel(QObject* parent = nullptr);

    void setDataSet(db::TableDataset* dataSet);
    db::TableDataset* dataSet() const { return dataSet_.data(); }

    // Empty: every field of the dataset, in its order.
    void setColumns(const QList<Column>& columns);
    // The columns in effect (the dataset's fields when none were given).
    const QList<Column>& columns() const { return shown_; }
    // Index of the column's field in the dataset, -1 when it has none.
    int fieldIndex(int column) const;
    // The field's definition; a default one when the column has no field.
    db::FieldDef fieldDef(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Makes the row current, then sets the field from text. Throws what the
    // dataset throws (a text that does not convert, a refused post).
    void setCellText(const QModelIndex& index, const QString& text);

    // True while rows are being added or removed (the view then moves its
    // current cell by itself).
    bool changingRows() const { return changing_; }

    // The row indicator's mark for a row: "" or the current row's state.
    QString indicator(int row) const;
    // The same in words, for screen readers: "" for a row that is not current.
    QString rowState(int row) const;
    // The row is being edited or is a new row: it is tinted.
    bool editing(int row) const;

signals:
    // The columns changed (new fields, new dataset): widths need applying.
    void columnsReset();

private:
    void attach();
    void rebuildColumns();
    void resetAll();
    void refreshIndicator(int row);

    QPointer<db::TableDataset> dataSet_;
    QList<Column> requested_;
    QList<Column> shown_;
    QList<int> fieldIndexes_;
    QList<db::FieldDef> fields_;
    int rows_ = 0;
    int current_ = -1;
    bool changing_ = false;
};

}  // namespace tavix
