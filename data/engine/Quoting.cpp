#include "data/engine/Quoting.h"

namespace tavix::db {

namespace {
QString enclosed(const QString& value, QChar mark) {
    QString out;
    out.reserve(value.size() + 2);
    out += mark;
    for (const QChar c : value) {
        out += c;
        if (c == mark) out += mark;
    }
    out += mark;
    return out;
}
}  // namespace

QString quoted(const QString& value) { return enclosed(value, u'"'); }

QString filterQuoted(const QString& value) { return enclosed(value, u'\''); }

}  // namespace tavix::db
