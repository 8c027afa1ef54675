#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <exception>
#include <functional>

#include "data/engine/Connection.h"
#include "data/engine/Query.h"
#include "data/engine/TableDataset.h"
#include "platform/DateTime.h"

class QWidget;

namespace tavix {

class TColorButton;
class TRadioGroup;

// The one place holding the database: connection, shared query, the table
// datasets of the editing windows, the database path and the activity
// buttons made from table travaux.
class TDataModule2 : public QObject {
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
    QString DatabasePath;
    // The panel owns the buttons; the list only points at them.
    QList<QPointer<TColorButton>> ActivityButtons;

    void DataModuleCreate();
    // False when the file cannot be opened or is no Tavix database; the
    // user is told which file and why.
    bool OpenDatabase();

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

    // One row of activites.
    void AddLogEntry(const QString& user, const QString& client, const QString& activity,
                     const DateTime& start, const DateTime& end, qint32 duration,
                     const QString& comment);
    // How many rows of activites hold exactly these values.
    qint64 CountLogEntries(const QString& user, const QString& client, const QString& activity,
                           const DateTime& start, const DateTime& end, qint32 duration,
                           const QString& comment);

    // Layout of activites: 1 USER, 2 SURVEILLANCES, 4 CLIENTS; 7 is current.
    quint8 SchemaVersion();
    void ConvertSchema(quint8 version);
    bool ChangeColumn(const QString& table, const QString& oldName, const QString& newName,
                      const QString& type);
    bool ExecuteSql(const QString& sql);

private:
    // Throws EngineError naming the first table or column the program needs
    // that the open database lacks.
    void checkLayout();

    std::exception_ptr colourError_;  // first bad colour setting met while making buttons
};

// The program's single data module, set while one exists.
extern TDataModule2* DataModule2;

}  // namespace tavix
