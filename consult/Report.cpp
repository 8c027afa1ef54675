#include "consult/Report.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "consult/Summary.h"
#include "data/engine/Connection.h"
#include "data/engine/Field.h"
#include "data/engine/Query.h"
#include "data/engine/Quoting.h"
#include "data/engine/StoredForm.h"
#include "platform/Regional.h"
#include "settings/outils.h"

namespace tavix {

namespace {
const QString kAll = QStringLiteral("Tous");
constexpr int kHyphens = 208;

qint32 widen(qint32 width, QByteArrayView text) {
    // A text never has more UTF-16 units than UTF-8 bytes: most rows need
    // no counting once the widths are reached.
    if (text.size() <= width) return width;
    const qint64 n = utf16Length(text.data(), text.size());
    return n > width ? static_cast<qint32>(n) : width;
}

// 'yyyy-MM-dd[ HH:mm:ss]' -> 'dd/MM/yyyy[ HH:mm:ss]' (the time left out at
// midnight) into out, with its value; false for any other form.
bool storedToFrench(const char* p, qsizetype n, char* out, int& outSize, DateTime& value) {
    db::StoredParts t;
    if (!db::splitStored(p, n, t) || t.year < 1000 || !QDate::isValid(t.year, t.month, t.day) ||
        !QTime::isValid(t.hour, t.minute, t.second))
        return false;
    const int y = t.year, mo = t.month, d = t.day, h = t.hour, mi = t.minute, s = t.second;
    // The value by hand (days from the civil date), as DateTime(QDate, QTime) gives it.
    const int yy = mo <= 2 ? y - 1 : y;
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 daysFrom1970 = qint64(era) * 146097 + doe - 719468;
    constexpr qint64 k1899To1970 = 25569;  // 30/12/1899 to 01/01/1970
    value = DateTime::fromMSecs((daysFrom1970 + k1899To1970) * DateTime::kMsPerDay +
                                (h * 3600 + mi * 60 + s) * qint64(1000));
    const char date[10] = {p[8], p[9], '/', p[5], p[6], '/', p[0], p[1], p[2], p[3]};
    std::memcpy(out, date, 10);
    outSize = 10;
    if (n == 19 && (h != 0 || mi != 0 || s != 0)) {
        out[10] = ' ';
        std::memcpy(out + 11, p + 11, 8);
        outSize = 19;
    }
    return true;
}
}  // namespace

ReportSelection BuildReportSelection(const QString& activity, const QString& client,
                                     const DateTime& start, const DateTime& end, bool all) {
    ReportSelection out;
    out.statement = QStringLiteral(
        "SELECT [USER], [SURVEILLANCES], [CLIENTS], [DEBUT], [FIN], [DUREE], [COMMENTAIRE] "
        "FROM activites ");
    if (!all) {
        // Each side quotes the value in its own way, so a name holding either
        // kind of quote selects exactly that name.
        QString clientSql, clientFilter, activitySql, activityFilter;
        if (client != kAll) {
            clientSql = QStringLiteral("CLIENTS =") + db::quoted(client) + QStringLiteral(" AND ");
            clientFilter =
                QStringLiteral("CLIENTS =") + db::filterQuoted(client) + QStringLiteral(" AND ");
        }
        if (activity != kAll) {
            activitySql =
                QStringLiteral("SURVEILLANCES =") + db::quoted(activity) + QStringLiteral(" AND ");
            activityFilter = QStringLiteral("SURVEILLANCES =") + db::filterQuoted(activity) +
                             QStringLiteral(" AND ");
        }
        const QString from = regional::dateToText(start.date());
        const QString to = regional::dateToText(end.date().addDays(1));
        const QString datesSql = QStringLiteral("DEBUT>=#") + SwapDayMonth(from) +
                                 QStringLiteral("# ") + QStringLiteral(" AND FIN<=#") +
                                 SwapDayMonth(to) + QStringLiteral("# ");
        const QString datesFilter = QStringLiteral("DEBUT>='") + from + QStringLiteral("' ") +
                                    QStringLiteral(" AND FIN<='") + to + QStringLiteral("' ");
        out.statement += QStringLiteral(" WHERE ") + clientSql + activitySql + datesSql;
        out.filter = clientFilter + activityFilter + datesFilter;
        // An entry ending by the last bound started by it too, unless it ends
        // before it starts: those rare ones come from their own index (see
        // consult/Entries.cpp), the rest from the index on DEBUT between the
        // two dates rather than on to the end of the log.
        const QString select = out.statement.left(out.statement.indexOf(QStringLiteral(" WHERE ")));
        const QString first = QStringLiteral("#") + SwapDayMonth(from) + QStringLiteral("#");
        const QString last = QStringLiteral("#") + SwapDayMonth(to) + QStringLiteral("#");
        out.search = select + QStringLiteral(" WHERE ") + clientSql + activitySql +
                     QStringLiteral("DEBUT>=") + first + QStringLiteral(" AND DEBUT<=") + last +
                     QStringLiteral(" AND FIN<=") + last + QStringLiteral(" UNION ALL ") + select +
                     QStringLiteral(" WHERE ") + clientSql + activitySql +
                     QStringLiteral("FIN<DEBUT AND FIN<=") + last +
                     QStringLiteral(" AND NOT (DEBUT<=") + last +
                     QStringLiteral(") AND NOT (DEBUT<") + first +
                     QStringLiteral(") ORDER BY 4, 5, 6");
    }
    out.statement += QStringLiteral(" ORDER BY DEBUT");
    return out;
}

// ReportWriter

ReportWriter::ReportWriter(bool withComments)
    : withComments_(withComments), text_(std::make_shared<ReportText>()) {}

void ReportWriter::add(const Entry& e) {
    const QByteArray user = e.user.toUtf8(), activity = e.activity.toUtf8(),
                     client = e.client.toUtf8(), start = e.start.toUtf8(), end = e.end.toUtf8(),
                     comment = e.comment.toUtf8();
    add(Cells{user, activity, client, start, end, e.startValue, e.endValue, e.duration, comment});
}

void ReportWriter::add(const Cells& e) {
    const QByteArrayView cells[] = {e.user, e.activity, e.client, e.start, e.end};
    qsizetype maxBytes = 5 + 24 + 2 + (withComments_ ? e.comment.size() + 3 : 0);
    for (const QByteArrayView c : cells) maxBytes += c.size();
    char* const out = text_->beginWrite(maxBytes);
    char* p = out;
    for (int i = 0; i < 5; ++i) {
        widths_[i] = widen(widths_[i], cells[i]);
        if (!cells[i].isEmpty()) std::memcpy(p, cells[i].data(), cells[i].size());
        p += cells[i].size();
        *p++ = '\t';
    }
    const int hms = WriteHMS(p, e.duration);
    widths_[5] = std::max(widths_[5], hms);
    p += hms;
    *p++ = '\r';
    *p++ = '\n';
    if (withComments_) {
        *p++ = '\t';
        if (!e.comment.isEmpty()) std::memcpy(p, e.comment.data(), e.comment.size());
        p += e.comment.size();
        *p++ = '\r';
        *p++ = '\n';
    }
    text_->endWrite(p - out);
    total_ += e.duration;
    if (first_ == DateTime() || e.startValue < first_) first_ = e.startValue;
    if (last_ == DateTime() || e.endValue > last_) last_ = e.endValue;
    ++rows_;
}

void ReportWriter::finishText() {
    QByteArray total(kHyphens, '-');
    total += "Total\t\t\t\t\t";
    total += regional::dateTimeToText(first_).toUtf8();
    total += "\t\t";
    total += regional::dateTimeToText(last_).toUtf8();
    total += "\t\t";
    char hms[24];
    total.append(hms, WriteHMS(hms, total_));
    text_->append(total);
}

QByteArray ReportWriter::finish() {
    finishText();
    return text_->toByteArray();
}

// ReportReader

namespace {
const QString kColumns[] = {QStringLiteral("USER"),       QStringLiteral("SURVEILLANCES"),
                            QStringLiteral("CLIENTS"),    QStringLiteral("DEBUT"),
                            QStringLiteral("FIN"),        QStringLiteral("DUREE"),
                            QStringLiteral("COMMENTAIRE")};
constexpr int kDuration = 5, kComment = 6;
}  // namespace

ReportReader::ReportReader(db::Connection& connection, const ReportSelection& selection,
                           bool withComments)
    : query_(std::make_unique<db::Query>(connection)), writer_(withComments) {
    frenchDates_ = regional::shortDateFormat() == QLatin1String("dd/MM/yyyy") &&
                   regional::longTimeFormat() == QLatin1String("HH:mm:ss");
    query_->add(selection.search.isEmpty() ? selection.statement : selection.search);
    query_->open();
    const QList<db::FieldDef> fields = query_->fields();
    for (int k = 0; k < 2; ++k)
        datesTyped_[k] = fields.size() > 3 + k && fields[3 + k].type == db::FieldType::DateTime;
}

ReportReader::~ReportReader() = default;

bool ReportReader::read(qint64 budgetMs) {
    if (!query_->active()) return true;
    QElapsedTimer slice;
    slice.start();
    for (int n = 1; !query_->eof(); ++n) {
        readRow();
        query_->next();
        if (budgetMs >= 0 && (n & 255) == 0 && slice.elapsed() >= budgetMs) return false;
    }
    query_->close();
    writer_.finishText();
    return true;
}

void ReportReader::readRow() {
    db::Query& q = *query_;
    // Texts as asString gives them; anything unusual takes that road.
    QByteArray* slow = slow_;
    auto text = [&](int i) -> QByteArrayView {
        const db::Query::Cell c = q.cell(i);
        if (c.kind == db::Query::Cell::Null) return {};
        if (c.kind == db::Query::Cell::Text && c.text.isValidUtf8()) return c.text;
        slow[i] = q.asString(kColumns[i]).toUtf8();
        return slow[i];
    };
    // Reused from row to row: every field is set below.
    ReportWriter::Cells& cells = cells_;
    cells.user = text(0);
    cells.activity = text(1);
    cells.client = text(2);
    char(&dates)[2][19] = dates_;
    QByteArrayView* dateText[2] = {&cells.start, &cells.end};
    DateTime* dateValue[2] = {&cells.startValue, &cells.endValue};
    for (int k = 0; k < 2; ++k) {
        const int i = 3 + k;
        const db::Query::Cell c = q.cell(i);
        int size = 0;
        if (c.kind == db::Query::Cell::Null) {
            *dateText[k] = {};
            *dateValue[k] = DateTime();
        } else if (c.kind == db::Query::Cell::Text && datesTyped_[k] && frenchDates_ &&
                   storedToFrench(c.text.data(), c.text.size(), dates[k], size, *dateValue[k])) {
            *dateText[k] = QByteArrayView(dates[k], size);
        } else {
            slow[i] = q.asString(kColumns[i]).toUtf8();
            *dateText[k] = slow[i];
            *dateValue[k] = q.asDateTime(kColumns[i]);
        }
    }
    const db::Query::Cell duration = q.cell(kDuration);
    if (duration.kind == db::Query::Cell::Null)
        cells.duration = 0;
    else if (duration.kind == db::Query::Cell::Integer &&
             duration.integer >= std::numeric_limits<qint32>::min() &&
             duration.integer <= std::numeric_limits<qint32>::max())
        cells.duration = static_cast<qint32>(duration.integer);
    else
        cells.duration = q.asInteger(kColumns[kDuration]);
    cells.comment = writer_.withComments() ? text(kComment) : QByteArrayView();
    writer_.add(cells);
    if (totals_) {
        tavix::Entry& e = entry_;
        e.activity = names_.get(cells.activity);
        e.client = names_.get(cells.client);
        e.start = cells.startValue;
        e.end = cells.endValue;
        e.duration = cells.duration;
        totals_->add(e);
    }
}

}  // namespace tavix
