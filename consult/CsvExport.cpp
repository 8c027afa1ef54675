#include "consult/CsvExport.h"

#include <QDateTime>

#include "platform/Regional.h"

namespace tavix {

CsvWriter::CsvWriter() : data_("\xEF\xBB\xBF") {}

namespace {

QString quoted(const QString& value) {
    static const QString special = QStringLiteral(";\"\r\n\t");
    bool quote = false;
    for (const QChar c : value) quote = quote || special.contains(c);
    if (!quote) return value;
    QString out = value;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

}  // namespace

QString CsvWriter::field(const QString& value) {
    static const QString formula = QStringLiteral("=+-@\t\r");
    if (value.isEmpty() || !formula.contains(value.front())) return quoted(value);
    QString out = u'\'' + value;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

QString CsvWriter::field(const Field& f) { return f.figure ? quoted(f.value) : field(f.value); }

void CsvWriter::record(const QList<Field>& fields) {
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i) line += u';';
        line += field(fields[i]);
    }
    line += QStringLiteral("\r\n");
    data_ += line.toUtf8();
}

void CsvWriter::record(const QStringList& texts) {
    record(QList<Field>(texts.begin(), texts.end()));
}

QString isoLocal(const DateTime& value) {
    const QDateTime local(value.date(), value.time().addMSecs(-value.time().msec()));
    const int offset = local.offsetFromUtc();
    const int m = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(m / 60, 2, 10, QLatin1Char('0'))
               .arg(m % 60, 2, 10, QLatin1Char('0'));
}

EntriesCsv::EntriesCsv(const Rounding& rounding, std::shared_ptr<const Rates> rates)
    : rounding_(rounding), rates_(rates && !rates->empty() ? std::move(rates) : nullptr) {
    QStringList titles{QStringLiteral("Utilisateur"),
                       QStringLiteral("Surveillance"),
                       QStringLiteral("Client"),
                       QStringLiteral("Début (ISO 8601)"),
                       QStringLiteral("Fin (ISO 8601)"),
                       QStringLiteral("Début"),
                       QStringLiteral("Fin"),
                       QStringLiteral("Durée (s)"),
                       QStringLiteral("Durée (h:mm:ss)"),
                       QStringLiteral("Durée (heures)")};
    // Rounded per line, an entry has no rounded duration of its own.
    if (rounding_.active() && !rounding_.perLine)
        titles << QStringLiteral("Durée arrondie (h:mm:ss)")
               << QStringLiteral("Durée arrondie (heures)");
    // An entry's amount stands alone only when entries are rounded one by
    // one; rounded per line, only the summary's lines have one.
    if (rates_) {
        titles << QStringLiteral("Tarif HT (€)") << QStringLiteral("Unité");
        if (!rounding_.perLine) titles << QStringLiteral("Montant HT (€)");
    }
    titles << QStringLiteral("Commentaire");
    csv_.record(titles);
}

void EntriesCsv::add(const Entry& e) {
    QList<CsvWriter::Field> fields{e.user,
                                   e.activity,
                                   e.client,
                                   isoLocal(e.start),
                                   isoLocal(e.end),
                                   regional::dateTimeToText(e.start),
                                   regional::dateTimeToText(e.end),
                                   CsvWriter::figure(QString::number(e.duration)),
                                   CsvWriter::figure(hmsText(e.duration)),
                                   CsvWriter::figure(decimalHoursText(e.duration))};
    if (rounding_.active() && !rounding_.perLine) {
        const qint64 r = rounding_.apply(e.duration);
        fields << CsvWriter::figure(hmsText(r)) << CsvWriter::figure(decimalHoursText(r));
    }
    if (rates_) {
        if (const Rate* rate = rates_->find(e.client, e.activity, e.start.date())) {
            fields << CsvWriter::figure(moneyFigure(rate->cents))
                   << (rate->daily ? QStringLiteral("jour") : QStringLiteral("heure"));
            if (!rounding_.perLine)
                fields << CsvWriter::figure(moneyFigure(centsOf(
                    rates_->value(*rate, rounding_.apply(e.duration)), rates_->daySeconds())));
        } else {
            fields << QString() << QStringLiteral("sans tarif");
            if (!rounding_.perLine) fields << QString();
        }
    }
    fields << e.comment;
    csv_.record(fields);
}

QByteArray summaryCsv(const Summary& summary, Grouping grouping) {
    CsvWriter csv;
    const bool rounded = summary.rounding().active();
    QStringList titles = keyTitles(grouping);
    const qsizetype keys = titles.size();
    titles << QStringLiteral("Entrées") << QStringLiteral("Durée (s)")
           << QStringLiteral("Durée (h:mm:ss)") << QStringLiteral("Durée (heures)")
           << QStringLiteral("Part (%)");
    if (rounded)
        titles << QStringLiteral("Durée arrondie (s)") << QStringLiteral("Durée arrondie (h:mm:ss)")
               << QStringLiteral("Durée arrondie (heures)");
    const bool priced = summary.priced();
    if (priced) titles << QStringLiteral("Montant HT (€)") << QStringLiteral("Entrées sans tarif");
    csv.record(titles);
    auto figures = [&](const QStringList& lineKeys, qint64 entries, qint64 seconds, qint64 r,
                       qint64 amount, qint64 unrated) {
        QList<CsvWriter::Field> fields(lineKeys.begin(), lineKeys.end());
        for (const QString& f :
             {QString::number(entries), QString::number(seconds), hmsText(seconds),
              decimalHoursText(seconds), shareText(seconds, summary.seconds())})
            fields << CsvWriter::figure(f);
        if (rounded)
            for (const QString& f : {QString::number(r), hmsText(r), decimalHoursText(r)})
                fields << CsvWriter::figure(f);
        if (priced)
            fields << CsvWriter::figure(unrated >= entries && entries > 0 ? QString()
                                                                          : moneyFigure(amount))
                   << CsvWriter::figure(QString::number(unrated));
        csv.record(fields);
    };
    for (const SummaryLine& l : summary.lines(grouping))
        figures(l.keys, l.entries, l.seconds, l.rounded, l.amount, l.unrated);
    QStringList total{QStringLiteral("Total")};
    while (total.size() < keys) total << QString();
    figures(total, summary.entries(), summary.seconds(), summary.rounded(grouping),
            summary.amount(grouping), summary.unrated());
    if (rounded)
        csv.record(QStringList{QStringLiteral("Arrondi : ") + summary.rounding().rule(grouping)});
    return csv.take();
}

}  // namespace tavix
