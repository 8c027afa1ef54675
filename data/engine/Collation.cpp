#include "data/engine/Collation.h"

#include <sqlite3.h>

#include <QCollator>
#include <QLocale>
#include <algorithm>
#include <cstring>

namespace tavix::db {

namespace {

// French rules, not the system's: under a C or English locale the names
// must still sort as a French reader expects.
const QCollator& frenchCollator() {
    thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::French, QLocale::France));
        c.setCaseSensitivity(Qt::CaseSensitive);
        c.setNumericMode(false);
        c.setIgnorePunctuation(false);
        return c;
    }();
    return collator;
}

int compareUtf8(void*, int n1, const void* s1, int n2, const void* s2) {
    const QString a = QString::fromUtf8(static_cast<const char*>(s1), n1);
    const QString b = QString::fromUtf8(static_cast<const char*>(s2), n2);
    if (const int c = frenchCollator().compare(a, b)) return c;
    // Texts the collator cannot tell apart still get one fixed order.
    const int common = std::memcmp(s1, s2, static_cast<size_t>(std::min(n1, n2)));
    return common != 0 ? common : n1 - n2;
}

}  // namespace

int compareNames(QStringView a, QStringView b) {
    const QByteArray x = a.toUtf8();
    const QByteArray y = b.toUtf8();
    const int c = compareUtf8(nullptr, static_cast<int>(x.size()), x.constData(),
                              static_cast<int>(y.size()), y.constData());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

QString nameCollation() { return QStringLiteral("TAVIX_NOMS"); }

QString collated(const QString& column) {
    return column + QStringLiteral(" COLLATE ") + nameCollation();
}

namespace detail {

void registerNameCollation(sqlite3* db) {
    sqlite3_create_collation_v2(db, nameCollation().toUtf8().constData(), SQLITE_UTF8, nullptr,
                                compareUtf8, nullptr);
}

}  // namespace detail

}  // namespace tavix::db
