#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <exception>
#include <functional>
#include <memory>

#include "data/LogDurations.h"
#include "data/WaitingEntries.h"
#include "data/engine/Connection.h"
#include "data/engine/Query.h"
#include "data/engine/ServerWait.h"
#include "data/engine/TableDataset.h"
#include "platform/DateTime.h"

class QWidget;

namespace tavix::db {
class Background;
}

namespace tavix {

class TColorButton;
class TRadioGroup;

// The one place holding the database: connection, shared query, the table
// datasets of the editing windows, the database path and the activity
// buttons made from table travaux.
class TDataModule2 : public QObject, private db::WaitWatcher {
    Q_OBJECT
public:
    using ClickHandler = std::function<void(TColorButton*)>;

    explicit TDataModule2(QObject* parent = nullptr);
    ~TDataModule2() override;

    db::Connection ADOConnection1;
    db::Query ADOQuery1;
    db::TableDataset tblClients;
    db::TableDataset tblTravaux;
    db::TableDataset ADOTable1;
    // Durations of the entries edited in ADOTable1 follow their times.
    LogDurations LogEdits{ADOTable1};
    QString DatabasePath;
    // The panel owns the buttons; the list only points at them.
    QList<QPointer<TColorButton>> ActivityButtons;

    void DataModuleCreate();
    // False when the file cannot be opened or is no Tavix database; the
    // user is told which file and why.
    bool OpenDatabase();

    // The database setting: a file path, or a PostgreSQL server's URI or
    // keyword string. Throws tavix::Error, in French and without repeating
    // it, when a server's text holds a password or cannot be read.
    static void CheckDatabaseSetting(const QString& setting);
    // Tells the user once when this workstation's clock is more than a
    // minute away from the server's: entries are stamped by the workstation.
    void CheckClock();

    // Where the copy made before a purge goes: beside the file, or for a
    // server in the user's data folder, named after the database.
    QString BackupPath(const DateTime& now) const;

    // Makes a new database file with empty tables, folders included.
    static void CreateDatabase(const QString& path);

    // Clients and activity buttons.
    void FillClients(TRadioGroup& group);
    quint16 CreateActivityButtons(QWidget* panel, int firstTop, int left, int height, int width,
                                  const ClickHandler& onClick);
    void CreateActivityButton(QWidget* panel, int id, const QString& label, int left, int top,
                              int height, int width, const ClickHandler& onClick);
    void LockOtherButtons(const QString& name);
    void HideActivityButtons();
    void ShowActivityButtons();
    void UnlockButtons();

    // One row of activites. On a server the row goes in under `key` (a new
    // one when empty): the same key never gives two rows, two keys always do.
    void AddLogEntry(const QString& user, const QString& client, const QString& activity,
                     const DateTime& start, const DateTime& end, qint32 duration,
                     const QString& comment, const QString& key = {});
    // How many rows of activites hold exactly these values; on a server,
    // given a key, how many are stored under it.
    qint64 CountLogEntries(const QString& user, const QString& client, const QString& activity,
                           const DateTime& start, const DateTime& end, qint32 duration,
                           const QString& comment, const QString& key = {});

    // The log entries that name this client (column CLIENTS) or this
    // activity (SURVEILLANCES), and the renaming of those entries.
    qint64 CountEntriesNaming(const QString& column, const QString& name);
    // Rows stored in clients or travaux.
    qint64 CountRows(const QString& table);
    void RenameInLog(const QString& column, const QString& oldName, const QString& newName);

    // On a server: the entries kept waiting on this workstation go to the
    // server on a connection of their own, the window never waiting for
    // them; returns how many were handed over. Runs by itself every
    // RetryIntervalMs while some wait, and when the database opens. Once
    // stored, the user is told once how many.
    int RetryWaitingEntries();
    int RetryIntervalMs = 15000;
    WaitingEntries Waiting;
    // How many entries wait on this workstation for the server.
    int WaitingCount() const;
    // How long a stop waits for the server before its entry waits here.
    int StopPatienceMs = 2000;
    // A server that could not be reached when the database was opened is
    // tried again every RetryIntervalMs in the background; when it answers
    // the database opens and databaseOpened() is emitted.
    bool Reopening() const { return reopenTimer_.isActive() || reopenAsked_; }

    // Layout of activites: 1 USER, 2 SURVEILLANCES, 4 CLIENTS; 7 is current.
    quint8 SchemaVersion();
    void ConvertSchema(quint8 version);
    bool ChangeColumn(const QString& table, const QString& oldName, const QString& newName,
                      const QString& type);
    bool ExecuteSql(const QString& sql);

signals:
    // How many entries wait on this workstation for the server, after a
    // change.
    void waitingChanged(int count);
    // The database opened after the start (the server answers again).
    void databaseOpened();
    // A statement has waited for the server more than 100 ms (waiting), or
    // that wait ended.
    void serverWait(bool waiting, const QString& server);

private:
    // Throws EngineError naming the first table or column the program needs
    // that the open database lacks.
    void checkLayout();

    QString insertStatement(const LogEntry& entry, const QString& key) const;
    void insertOnServer(const LogEntry& entry, const QString& key);
    void reopen();
    void waitBegins(const QString& server) override;
    void waitEnds() override;

    std::exception_ptr colourError_;  // first bad colour setting met while making buttons
    QTimer retryTimer_;
    QTimer reopenTimer_;
    bool reopenAsked_ = false;
    bool toldWaiting_ = false;
    bool toldRefused_ = false;
    int storing_ = 0;  // waiting entries handed over, not answered yet
    int stored_ = 0;   // of those, stored
    std::unique_ptr<db::Background> background_;
};

// The program's single data module, set while one exists.
extern TDataModule2* DataModule2;

}  // namespace tavix
