#include "consult/Statement.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QRegularExpression>

#include "platform/Error.h"
#include "platform/Regional.h"

namespace tavix {

QString statementDetailName(StatementDetail d) {
    switch (d) {
        case StatementDetail::Entry:
            return QStringLiteral("Une ligne par entrée");
        case StatementDetail::Day:
            return QStringLiteral("Une ligne par jour");
        case StatementDetail::Activity:
            return QStringLiteral("Une ligne par surveillance");
    }
    return {};
}

QString statementFileName(const QString& client, QDate from, qint64 number) {
    QString name = client;
    name.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]+")),
                 QStringLiteral("_"));
    return number > 0 ? QStringLiteral("Facture %1 %2.pdf").arg(number).arg(name)
                      : QStringLiteral("Relevé %1 %2.pdf")
                            .arg(from.toString(QStringLiteral("yyyy-MM")), name);
}

Statement::Statement(QString client, QDate from, QDate to, StatementDetail detail,
                     Rounding rounding, std::shared_ptr<const Rates> rates, SenderDetails sender,
                     std::optional<ClientDetails> clientDetails)
    : client_(std::move(client)),
      from_(from),
      to_(to),
      detail_(detail),
      rounding_(rounding),
      rates_(rates ? std::move(rates) : std::make_shared<const Rates>()),
      sender_(std::move(sender)),
      clientDetails_(std::move(clientDetails)) {}

void Statement::add(const Entry& e) {
    built_ = false;
    ++entries_;
    if (!lastCandidates_ || e.activity != lastActivity_) {
        lastCandidates_ = rates_->candidates(client_, e.activity);
        lastActivity_ = e.activity;
    }
    const QDate day = e.start.date();
    const Rate* rate = Rates::at(lastCandidates_, day);
    if (!rate) ++unrated_;
    if (detail_ == StatementDetail::Entry) {
        StatementLine l;
        l.date = regional::dateToText(day);
        l.label = e.comment.isEmpty() ? e.activity : e.activity + QStringLiteral(" — ") + e.comment;
        l.entries = 1;
        l.seconds = e.duration;
        l.rate = rate;
        byEntry_.push_back(std::move(l));
        return;
    }
    const QString key = detail_ == StatementDetail::Day ? day.toString(Qt::ISODate) : e.activity;
    StatementLine& l = grouped_[{key, rate}];
    if (l.entries == 0) {
        l.rate = rate;
        if (detail_ == StatementDetail::Day) {
            l.date = regional::dateToText(day);
            l.label = e.activity;
        } else {
            l.label = e.activity;
        }
    } else if (detail_ == StatementDetail::Day &&
               !l.label.split(QStringLiteral(", ")).contains(e.activity)) {
        l.label += QStringLiteral(", ") + e.activity;
    }
    ++l.entries;
    l.seconds += e.duration;
    // Rounded entry by entry, each entry's billed time adds up.
    if (!rounding_.perLine) l.rounded += rounding_.apply(e.duration);
}

void Statement::build() {
    if (built_) return;
    lines_ = detail_ == StatementDetail::Entry ? byEntry_ : std::vector<StatementLine>();
    if (detail_ != StatementDetail::Entry)
        for (const auto& [key, line] : grouped_) lines_.push_back(line);
    for (StatementLine& l : lines_) {
        if (detail_ == StatementDetail::Entry || rounding_.perLine)
            l.rounded = rounding_.apply(l.seconds);
        l.amount = l.rate ? centsOf(rates_->value(*l.rate, l.rounded), rates_->daySeconds()) : 0;
    }
    built_ = true;
}

const std::vector<StatementLine>& Statement::lines() {
    build();
    return lines_;
}

qint64 Statement::totalExcludingVat() {
    qint64 sum = 0;
    for (const StatementLine& l : lines()) sum += l.amount;
    return sum;
}

qint64 Statement::vat() {
    if (!sender_.vatBasisPoints) return 0;
    // Half a cent up, in integers.
    return (totalExcludingVat() * *sender_.vatBasisPoints * 2 + 10000) / 20000;
}

namespace {

const QString kProgram = QStringLiteral("Tavix - surveillance de tâches");

QString oneLine(QString text) {
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r' || c == u'\t') c = u' ';
    return text;
}

QString percentText(int basisPoints) {
    return QStringLiteral("%1,%2 %")
        .arg(basisPoints / 100)
        .arg(basisPoints % 100, 2, 10, QLatin1Char('0'));
}

// Places and paints the statement; run dry first to count the pages.
class StatementPainter {
public:
    StatementPainter(Statement& s, QPagedPaintDevice& device, qint64 number, QDate issued)
        : s_(s), device_(device), number_(number), issued_(issued) {
        font_ = QFont(QStringLiteral("DejaVu Sans"));
        font_.setPointSizeF(9);
        bold_ = font_;
        bold_.setBold(true);
        title_ = font_;
        title_.setPointSizeF(15);
        title_.setBold(true);
        width_ = device.width();
        height_ = device.height();
        metrics_.emplace(font_, &device);
        line_ = metrics_->lineSpacing();
        pad_ = line_ * 0.2;
        bottom_ = height_ - line_ * 2;
        const qreal pixels = font_.pointSizeF() * device.logicalDpiY() / 72.0;
        raw_ = QRawFont::fromFont(font_);
        raw_.setPixelSize(pixels);
        columns_ = {0.13, 0.37, 0.11, 0.11, 0.14, 0.14};
    }

    void paint() {
        place(true);
        pages_ = page_;
        QPainter painter;
        if (!painter.begin(&device_))
            throw Error(QStringLiteral("Le relevé n'a pas pu être commencé"));
        p_ = &painter;
        painter.setPen(Qt::black);
        place(false);
        if (!painter.end()) throw Error(QStringLiteral("Le relevé n'a pas pu être terminé"));
        p_ = nullptr;
    }

private:
    void place(bool dry) {
        dry_ = dry;
        page_ = 1;
        y_ = 0;
        footer();
        header();
        const QStringList titles{QStringLiteral("Date"),     QStringLiteral("Désignation"),
                                 QStringLiteral("Durée"),    QStringLiteral("Facturée"),
                                 QStringLiteral("Tarif HT"), QStringLiteral("Montant HT")};
        titles_ = &titles;
        row(titles, true);
        for (const StatementLine& l : s_.lines())
            row({l.date, l.label, hmsText(l.seconds), hmsText(l.rounded),
                 l.rate ? rateText(*l.rate) : QStringLiteral("sans tarif"),
                 l.rate ? moneyText(l.amount) : QString()},
                false);
        titles_ = nullptr;
        totals();
    }

    void newPage() {
        ++page_;
        y_ = 0;
        if (!dry_ && !device_.newPage())
            throw Error(QStringLiteral("Impossible d'ajouter une page"));
        footer();
    }

    void fit(qreal h) {
        if (y_ + h <= bottom_) return;
        newPage();
        if (titles_) row(*titles_, true);
    }

    void text(qreal x, qreal w, const QString& t, const QFont& f, Qt::Alignment a = Qt::AlignLeft) {
        if (dry_ || t.isEmpty()) return;
        p_->setFont(f);
        p_->drawText(QRectF(x, y_, w, line_ * 2), a | Qt::AlignTop, oneLine(t));
    }

    void lines(qreal x, qreal w, const QString& block, qreal& bottom) {
        qreal y = y_;
        for (const QString& l : block.split(u'\n')) {
            if (!dry_ && !l.trimmed().isEmpty()) {
                p_->setFont(font_);
                p_->drawText(QRectF(x, y, w, line_), Qt::AlignLeft | Qt::AlignTop, l.trimmed());
            }
            y += line_;
        }
        bottom = std::max(bottom, y);
    }

    void footer() {
        if (dry_) return;
        p_->setFont(font_);
        p_->drawText(QRectF(0, height_ - line_, width_, line_), Qt::AlignRight,
                     QStringLiteral("Page %1 / %2").arg(page_).arg(pages_));
        p_->drawText(QRectF(0, height_ - line_, width_ * 0.7, line_), Qt::AlignLeft,
                     oneLine(s_.sender().name));
    }

    void header() {
        const SenderDetails& me = s_.sender();
        // The name in bold, then the address and identifiers.
        qreal bottom = y_;
        text(0, width_ * 0.48, me.name, bold_);
        y_ += line_;
        QString block = me.address;
        if (!me.siret.isEmpty()) block += QStringLiteral("\nSIRET : ") + me.siret;
        if (!me.vatNumber.isEmpty())
            block += QStringLiteral("\nN° TVA intracommunautaire : ") + me.vatNumber;
        lines(0, width_ * 0.48, block, bottom);
        const qreal top = y_ - line_;
        qreal clientBottom = top;
        {
            const qreal keep = y_;
            y_ = top;
            text(width_ * 0.55, width_ * 0.45, s_.client(), bold_);
            y_ += line_;
            QString theirs;
            if (s_.clientDetails()) {
                theirs = s_.clientDetails()->address;
                if (!s_.clientDetails()->reference.isEmpty())
                    theirs +=
                        QStringLiteral("\nRéférence client : ") + s_.clientDetails()->reference;
            }
            lines(width_ * 0.55, width_ * 0.45, theirs, clientBottom);
            y_ = keep;
        }
        y_ = std::max(bottom, clientBottom) + line_ * 1.5;
        const QString title = number_ > 0 ? QStringLiteral("Facture n° %1").arg(number_)
                                          : QStringLiteral("Relevé d'activité");
        if (!dry_) {
            p_->setFont(title_);
            p_->drawText(QRectF(0, y_, width_, line_ * 2.5), Qt::AlignLeft | Qt::AlignTop, title);
        }
        y_ += line_ * 2.5;
        text(0, width_,
             QStringLiteral("Période : du %1 au %2")
                 .arg(regional::dateToText(s_.from()), regional::dateToText(s_.to())),
             font_);
        y_ += line_;
        text(0, width_,
             (number_ > 0 ? QStringLiteral("Date de la facture : ")
                          : QStringLiteral("Date du relevé : ")) +
                 regional::dateToText(issued_),
             font_);
        y_ += line_;
        text(0, width_,
             QStringLiteral("Durées facturées : ") +
                 (s_.rounding().active()
                      ? s_.rounding().rule(s_.detail() == StatementDetail::Activity
                                               ? Grouping::Activity
                                               : Grouping::Day)
                      : QStringLiteral("sans arrondi")),
             font_);
        y_ += line_ * 1.5;
    }

    void row(const QStringList& cells, bool bold) {
        const qreal h = line_ + pad_ * 2;
        fit(h);
        if (!dry_) {
            qreal x = 0;
            const QFont& f = bold ? bold_ : font_;
            p_->setFont(f);
            for (int c = 0; c < columns_.size(); ++c) {
                const qreal w = columns_[c] * width_;
                const qreal room = w - pad_ * 2;
                const bool number = c >= 2;
                const QString t = oneLine(cells.value(c));
                qreal tw = 0;
                const QGlyphRun* run = bold || t.isEmpty() ? nullptr : glyphs(t, tw);
                const qreal baseline = y_ + pad_ + metrics_->ascent();
                if (run && tw <= room) {
                    p_->drawGlyphRun(QPointF(x + pad_ + (number ? room - tw : 0), baseline), *run);
                } else if (!t.isEmpty()) {
                    QFontMetricsF m(f, &device_);
                    const QString shown = m.elidedText(t, Qt::ElideRight, room);
                    const qreal at = number ? room - m.horizontalAdvance(shown) : 0;
                    p_->drawText(QPointF(x + pad_ + at, baseline), shown);
                }
                x += w;
            }
            p_->drawLine(QPointF(0, y_ + h), QPointF(width_, y_ + h));
        }
        y_ += h;
    }

    void total(const QString& label, const QString& value, bool bold) {
        fit(line_ * 1.4);
        const qreal x = width_ * 0.5;
        text(x, width_ * 0.3, label, bold ? bold_ : font_);
        text(x + width_ * 0.3, width_ * 0.2 - pad_, value, bold ? bold_ : font_, Qt::AlignRight);
        y_ += line_ * 1.4;
    }

    void totals() {
        y_ += line_;
        total(QStringLiteral("Total HT"), moneyText(s_.totalExcludingVat()), false);
        if (const auto vat = s_.sender().vatBasisPoints) {
            total(QStringLiteral("TVA %1").arg(percentText(*vat)), moneyText(s_.vat()), false);
            total(QStringLiteral("Total TTC"), moneyText(s_.totalIncludingVat()), true);
        } else {
            total(QStringLiteral("Total TTC"), moneyText(s_.totalIncludingVat()), true);
            fit(line_ * 1.4);
            text(0, width_, kNoVatMention, font_);
            y_ += line_ * 1.4;
        }
        if (s_.unrated() > 0) {
            fit(line_ * 1.4);
            text(0, width_,
                 unratedText(s_.unrated()) + QStringLiteral(" : non comptées dans les montants"),
                 font_);
            y_ += line_ * 1.4;
        }
        const QString mentions = s_.sender().mentions.trimmed();
        if (!mentions.isEmpty()) {
            y_ += line_ * 0.5;
            for (const QString& l : mentions.split(u'\n')) {
                fit(line_);
                text(0, width_, l.trimmed(), font_);
                y_ += line_;
            }
        }
    }

    const QGlyphRun* glyphs(const QString& t, qreal& width) {
        if (const auto it = runs_.constFind(t); it != runs_.cend()) {
            width = it->second;
            return it->first.isEmpty() ? nullptr : &it->first;
        }
        QGlyphRun run;
        width = 0;
        if (raw_.isValid()) {
            const QList<quint32> indexes = raw_.glyphIndexesForString(t);
            if (!indexes.contains(0u) && indexes.size() == t.size()) {
                QList<QPointF> positions;
                for (const QPointF& a : raw_.advancesForGlyphIndexes(indexes)) {
                    positions.append(QPointF(width, 0));
                    width += a.x();
                }
                run.setRawFont(raw_);
                run.setGlyphIndexes(indexes);
                run.setPositions(positions);
            }
        }
        if (runs_.size() > 4096) runs_.clear();
        const auto it = runs_.insert(t, {run, width});
        return run.isEmpty() ? nullptr : &it->first;
    }

    Statement& s_;
    QPagedPaintDevice& device_;
    qint64 number_;
    QDate issued_;
    QPainter* p_ = nullptr;
    QFont font_, bold_, title_;
    std::optional<QFontMetricsF> metrics_;
    QRawFont raw_;
    QHash<QString, std::pair<QGlyphRun, qreal>> runs_;
    QList<qreal> columns_;
    const QStringList* titles_ = nullptr;
    qreal width_ = 0, height_ = 0, line_ = 0, pad_ = 0, bottom_ = 0, y_ = 0;
    int page_ = 1, pages_ = 1;
    bool dry_ = true;
};

}  // namespace

void Statement::paint(QPagedPaintDevice& device, qint64 number, const QDate& issued) {
    StatementPainter(*this, device, number, issued).paint();
}

QByteArray Statement::pdf(qint64 number, const QDate& issued) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
        writer.setTitle(number > 0 ? QStringLiteral("Facture n° %1 — %2").arg(number).arg(client_)
                                   : QStringLiteral("Relevé d'activité — %1").arg(client_));
        writer.setCreator(kProgram);
        paint(writer, number, issued);
    }
    return buffer.data();
}

}  // namespace tavix
