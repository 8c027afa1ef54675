#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <memory>

#include "data/engine/Field.h"
#include "platform/DateTime.h"

namespace tavix::db {

class Connection;

// A command on a connection. Its SQL text is a list of lines (joined with
// line breaks) holding one statement of the dialect. Changing the text of an
// open query closes it first.
class Query {
public:
    explicit Query(Connection& connection);
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    void clear();                   // SQL.Clear
    void add(const QString& line);  // SQL.Add
    QString text() const;

    void execute();  // ExecSQL: a statement that returns no rows
    void open();     // a SELECT (anything else is refused unrun); stands on its first row
    void close();
    bool active() const;

    bool eof() const;
    bool bof() const;
    void next();

    // Columns of the current row, by name without regard to case. An empty
    // (NULL) value reads as empty text, 0 or the zero date-time. A date-time
    // column read as text gives the regional form. Unknown names, a closed
    // query and reading past the last row throw EngineError; a text that is
    // no integer or date-time raises tavix::ConvertError.
    QString asString(const QString& field) const;
    int asInteger(const QString& field) const;
    DateTime asDateTime(const QString& field) const;
    bool isNull(const QString& field) const;

    QList<FieldDef> fields() const;  // of the open query's columns

    // The current row's column by position, as stored, for readers of long
    // results that format by hand; text is UTF-8, valid until next().
    struct Cell {
        enum Kind { Null, Integer, Float, Text, Blob } kind = Null;
        qint64 integer = 0;
        QByteArrayView text;
    };
    Cell cell(int column) const;
    int fieldIndex(const QString& name) const;  // throws EngineError when unknown

    class Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tavix::db
