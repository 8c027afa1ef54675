#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QHashFunctions>
#include <QString>
#include <QVariantList>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/DateTime.h"

namespace tavix {

namespace db {
class BoundCursor;
class Connection;
}  // namespace db

// What "&Voir" selected, as the user chose it.
struct EntryFilter {
    QString activity = QStringLiteral("Tous");  // "Tous": every activity
    QString client = QStringLiteral("Tous");    // "Tous": every client
    QDate from, to;                             // ignored when all
    bool all = false;                           // "Tout" ticked

    // "Client : X — Surveillance : Y", for headers.
    QString describe() const;
    // "du 01/03/2026 au 31/03/2026", or "toutes les dates".
    QString period() const;
};

struct Entry {
    qint64 id = 0;
    QString user, activity, client;
    DateTime start, end;
    qint64 duration = 0;  // seconds, as stored
    QString comment;
};

// The statement that reads the entries the filter selects, and the values
// bound to it.
QString entriesStatement(const EntryFilter& filter);
QVariantList entriesValues(const EntryFilter& filter);

// Names repeat from entry to entry: each distinct one is decoded once and
// shared, so that totals can know a name by its very string.
class SharedNames {
public:
    QString get(QByteArrayView utf8);

private:
    struct Hash {
        using is_transparent = void;
        // Qt's hash: quicker than the standard one on short names.
        size_t operator()(std::string_view s) const {
            return qHash(QByteArrayView(s.data(), qsizetype(s.size())));
        }
    };
    std::unordered_map<std::string, QString, Hash, std::equal_to<>> known_;
};

// The entries the filter selects, in order of start, handed over one at a
// time: the same entries as the report, read with bound values so that any
// name selects exactly itself.
void forEachEntry(db::Connection& connection, const EntryFilter& filter,
                  const std::function<void(const Entry&)>& each);

// The same entries read a slice at a time; the filter is bound when the
// cursor is made, so later changes to the boxes do not touch it.
class EntryCursor {
public:
    EntryCursor(db::Connection& connection, const EntryFilter& filter);
    ~EntryCursor();
    EntryCursor(const EntryCursor&) = delete;
    EntryCursor& operator=(const EntryCursor&) = delete;

    // Hands over entries until the last one or until budgetMs has passed
    // (at least one; negative: to the end). True once all have been read.
    bool read(qint64 budgetMs, const std::function<void(const Entry&)>& each);

private:
    std::unique_ptr<db::BoundCursor> cursor_;
    Entry entry_;
    SharedNames names_;
};

}  // namespace tavix
