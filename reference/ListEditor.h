#pragma once

#include <QDialog>
#include <QList>
#include <QString>

#include "controls/DBGrid.h"

class QLabel;
class QWidget;

namespace tavix {

class TColorButton;
class TDBNavigator;
class TDataSource;

namespace db {
class TableDataset;
}

// What the clients and activities editors share: a modal window showing one
// table of the data module in a grid with a navigator, and one button that
// saves and closes. Edits are written to the table as rows are posted.
class TListEditor : public QDialog {
    Q_OBJECT
public:
    TDataSource* DataSource1;
    QWidget* Panel1;
    QLabel* Image1;
    QLabel* Label1;
    TDBGrid* DBGrid1;
    TDBNavigator* DBNavigator1;
    TColorButton* ColorButton2;

    // "&Valider et fermer": the navigator's refresh (takes the typed text,
    // posts a changed row, reads the table again), then closes. A refused
    // post leaves the window open with the row pending.
    void ColorButton2Click();
    void FormClose();

protected:
    // What the list holds: nameField, its names' column (listed in
    // dictionary order); logColumn, the log's column that copies a name; the
    // noun for one row ("le client").
    struct Names {
        QString nameField;
        QString logColumn;
        QString noun;
    };
    TListEditor(const QString& objectName, const QString& title, db::TableDataset* dataSet,
                const QList<TDBGrid::Column>& columns, Names names, QWidget* parent);
    void closeEvent(QCloseEvent* event) override;

private:
    // A name typed over a stored one renames that row: asked first, saying
    // how many log entries carry the old name and offering to rename them.
    TDBGrid::Typed askRename(const QString& field, const QString& oldName, const QString& newName);

    Names names_;
};

}  // namespace tavix
