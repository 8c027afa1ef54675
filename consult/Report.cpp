#include "consult/Report.h"

#include <limits>

#include "data/engine/Quoting.h"
#include "platform/Regional.h"
#include "settings/outils.h"

namespace tavix {

namespace {
const QString kAll = QStringLiteral("Tous");

// As SecondsToHMS, for a sum of durations that may pass 2^31 seconds.
QString totalText(qint64 seconds) {
    if (seconds >= 0 && seconds <= std::numeric_limits<qint32>::max())
        return SecondsToHMS(static_cast<qint32>(seconds));
    const qint64 magnitude = seconds < 0 ? -seconds : seconds;
    return QStringLiteral("%1%2:%3:%4")
        .arg(seconds < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 3600, 2, 10, QLatin1Char('0'))
        .arg(magnitude / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(magnitude % 60, 2, 10, QLatin1Char('0'));
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
    }
    out.statement += QStringLiteral(" ORDER BY DEBUT");
    return out;
}

void ReportWriter::add(const Entry& e) {
    const QString duration = SecondsToHMS(e.duration);
    const QString* cells[] = {&e.user, &e.activity, &e.client, &e.start, &e.end, &duration};
    QString line;
    line.reserve(96);
    for (int i = 0; i < 6; ++i) {
        widths_[i] = MaxLength(widths_[i], *cells[i]);
        line += *cells[i];
        line += i < 5 ? QLatin1String("\t") : QLatin1String("\r\n");
    }
    if (withComments_) {
        line += u'\t';
        line += e.comment;
        line += QLatin1String("\r\n");
    }
    text_ += line.toUtf8();
    total_ += e.duration;
    if (first_ == DateTime() || e.startValue < first_) first_ = e.startValue;
    if (last_ == DateTime() || e.endValue > last_) last_ = e.endValue;
    ++rows_;
}

QByteArray ReportWriter::finish() {
    const QString total = QString(208, u'-') + QStringLiteral("Total\t\t\t\t\t") +
                          regional::dateTimeToText(first_) + QStringLiteral("\t\t") +
                          regional::dateTimeToText(last_) + QStringLiteral("\t\t") +
                          totalText(total_);
    text_ += total.toUtf8();
    return std::move(text_);
}

}  // namespace tavix
