#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

#include "data/engine/EngineError.h"
#include "data/engine/Field.h"
#include "platform/DateTime.h"

namespace tavix::db {

class Connection;

// A save refused because another workstation changed the row since it was
// read; the edit stays pending, and refresh() reads the row anew.
class RowChangedError : public EngineError {
public:
    using EngineError::EngineError;
};

// The rows of one table, with a current row, a filter and a sort, edited in
// place and written back at once. Opening keeps only the ids of the rows the
// filter selects (filter and sort run in SQLite); values are read when asked
// for and a few hundred rows are kept at hand, so a large table costs little
// memory. Values are those of the last read: refresh reads them anew.
class TableDataset : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };
    Q_ENUM(State)

    // exposedFields: the fields shown and edited, in this order; empty means
    // every column in column order.
    TableDataset(Connection& connection, const QString& tableName,
                 const QStringList& exposedFields = {}, QObject* parent = nullptr);
    ~TableDataset() override;

    QString tableName() const;

    void open();  // throws EngineError (closed connection, missing table...)
    void close();
    bool active() const;
    State state() const;

    QList<FieldDef> fields() const;  // column order (or the exposed order); empty when closed
    int fieldIndex(const QString& field) const;  // any case; -1 when not exposed

    // Filter text: FIELD op 'value' joined by AND / OR, with parentheses;
    // op one of = <> < > <= >= LIKE ('*' or '%' wildcard); a value is
    // compared with the field's type (dates in the regional form); '' inside
    // a value is one apostrophe. Applied on open and refresh while filtered.
    void setFilter(const QString& filter);  // throws EngineError on bad syntax when active
    QString filter() const;
    void setFiltered(bool on);
    bool filtered() const;

    // Sort text "COLUMN ASC|DESC" (several separated by commas); "" for none.
    // Throws EngineError when the dataset is closed.
    void setSort(const QString& sort);
    QString sort() const;

    // Posts a pending edit holding a change (cancels one that holds none),
    // then reads the rows again; the current row stays where possible.
    void refresh();

    int recordCount() const;
    int recNo() const;  // 0-based current row, -1 when empty
    void setRecNo(int row);
    bool eof() const;
    bool bof() const;
    void first();
    void prior();
    void next();
    void last();

    // Current row's values (during Edit/Insert: the edited values). A value
    // is a null QVariant for NULL, else qlonglong (integers), double,
    // QString (text) or tavix::DateTime (date-time columns).
    QVariant value(const QString& field) const;
    QString asString(const QString& field) const;
    int asInteger(const QString& field) const;
    DateTime asDateTime(const QString& field) const;

    void edit();
    void insert();  // a new empty row at the current position
    void append();
    // Sets a field from text: integers in decimal ("'%s' n'est pas une valeur
    // entière correcte pour le champ '%s'" otherwise), date-times in the
    // regional form; "" stores NULL. Puts a browsing row into Edit first.
    // A text that does not convert raises tavix::ConvertError; a read-only
    // field raises EngineError.
    void setFieldText(const QString& field, const QString& text);
    void post();
    // Runs first in every post of a pending edit, whoever asks for it (post,
    // a move, a refresh, closing); it may still set fields. What it throws
    // refuses the post and leaves the edit pending.
    void setBeforePost(std::function<void()> hook);
    void cancel();
    void deleteRecord();
    bool modified() const;  // the pending edit holds a change

    // Values of any row, for views; column indexes fields().
    QVariant valueAt(int row, int column) const;
    QString textAt(int row, int column) const;  // as asString shows it
    // Who wrote and last changed a stored row, where the database records
    // it; empty otherwise (a file, a new row, a server that cannot say).
    QString rowNote(int row) const;

signals:
    void activeChanged(bool active);
    void rowsReset();  // rows read again, filtered or sorted
    void currentChanged(int row);
    void stateChanged(State state);
    void rowChanged(int row);   // one row's values changed
    void posted(int row);       // a row's edit was stored (after rowChanged)
    void rowInserted(int row);  // insert/append added an (unposted) row there
    void rowRemoved(int row);   // a row was deleted, or an insert cancelled

private:
    void insertRowAt(int pos);  // a new empty row in Insert state

    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tavix::db
