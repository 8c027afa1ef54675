#include "data/LogDurations.h"

#include "data/engine/TableDataset.h"
#include "platform/Error.h"

namespace tavix {

namespace {
const QString kStart = QStringLiteral("DEBUT");
const QString kEnd = QStringLiteral("FIN");
const QString kDuration = QStringLiteral("DUREE");
}  // namespace

LogDurations::LogDurations(db::TableDataset& table, QObject* parent)
    : QObject(parent), table_(table) {
    using State = db::TableDataset::State;
    connect(&table_, &db::TableDataset::stateChanged, this, [this](State s) {
        // Edit starts from the row as read; a new row from nothing.
        if (s == State::Edit) {
            startWas_ = table_.asString(kStart);
            endWas_ = table_.asString(kEnd);
            durationWas_ = table_.asString(kDuration);
        } else if (s == State::Insert) {
            startWas_.clear();
            endWas_.clear();
            durationWas_.clear();
        }
    });
    connect(&table_, &db::TableDataset::rowChanged, this, [this] {
        if (posting_ && table_.state() == State::Browse) {
            posting_ = false;
            emit changed();
        }
    });
    connect(&table_, &db::TableDataset::rowRemoved, this, [this] {
        // An unposted new row dropped is still in Insert here.
        if (table_.state() == State::Browse) emit changed();
    });
    table_.setBeforePost([this] { beforePost(); });
}

LogDurations::~LogDurations() { table_.setBeforePost({}); }

void LogDurations::beforePost() {
    posting_ = false;
    const QString start = table_.asString(kStart);
    const QString end = table_.asString(kEnd);
    const bool isNew = table_.state() == db::TableDataset::State::Insert;
    const bool timesChanged = isNew || start != startWas_ || end != endWas_;
    if (timesChanged && !start.isEmpty() && !end.isEmpty()) {
        const DateTime from = table_.asDateTime(kStart);
        const DateTime to = table_.asDateTime(kEnd);
        if (to < from)
            throw Error(QStringLiteral("La fin « %1 » précède le début « %2 » : corrigez l'une ou "
                                       "l'autre, ou annulez la modification")
                            .arg(end, start));
        const QString duration = table_.asString(kDuration);
        const bool durationKept = isNew ? duration.isEmpty() : duration == durationWas_;
        if (durationKept) table_.setFieldText(kDuration, QString::number(from.secsTo(to)));
    }
    posting_ = true;
}

}  // namespace tavix
