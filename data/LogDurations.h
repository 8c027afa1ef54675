#pragma once

#include <QObject>
#include <QString>

namespace tavix {

namespace db {
class TableDataset;
}

// Keeps a log entry's duration true to its times when it is edited by hand
// in a table dataset of activites: a row posted with DEBUT or FIN changed and
// DUREE left as it was, or a new row with no DUREE, gets end − start in whole
// seconds. A DUREE typed in the same edit wins; rows whose times are not
// touched (the stopwatch's) keep theirs. An end before the start is refused,
// the edit staying pending for the user to correct or cancel.
class LogDurations : public QObject {
    Q_OBJECT
public:
    explicit LogDurations(db::TableDataset& table, QObject* parent = nullptr);
    ~LogDurations() override;

signals:
    // A row was stored or deleted: the totals shown are out of date.
    void changed();

private:
    void beforePost();

    db::TableDataset& table_;
    QString startWas_, endWas_, durationWas_;  // the row as it was read
    bool posting_ = false;
};

}  // namespace tavix
