#pragma once

#include <QAbstractItemDelegate>
#include <QList>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QString>
#include <QTableView>
#include <functional>

#include "controls/DBGridModel.h"
#include "controls/DataSource.h"

class QLineEdit;

namespace tavix {

// A grid bound to a table dataset through a data source: one row per record,
// cells edited in place, the row posted when the user leaves it, a row
// indicator showing the current record and its state.
//
// Keys: arrows and Tab move (Tab leaves the grid past its last cell, Ctrl+Tab
// at once); Down on the last row adds an empty row, dropped again when left
// unchanged; F2, Enter or typing edits a cell; Enter takes the cell, and on a
// row being edited posts it; Escape undoes the row's edit; Insert adds a row;
// Ctrl+Delete deletes the current row after confirmation.
class TDBGrid : public QTableView, public TDataEditor {
    Q_OBJECT
public:
    using Column = TDBGridModel::Column;

    explicit TDBGrid(QWidget* parent = nullptr);
    ~TDBGrid() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const { return source_.data(); }
    db::TableDataset* dataSet() const;

    // Empty: every field the dataset exposes.
    void setColumns(const QList<Column>& columns);
    QList<Column> columns() const { return model_->columns(); }

    void setShowTitles(bool on);
    bool showTitles() const;
    void setShowIndicator(bool on);
    bool showIndicator() const;

    // Takes the text being typed in the current cell into the row and closes
    // the cell editor. Throws when the text does not convert; the editor then
    // stays open with it (AbortError when the user was just told).
    void commitEditor();
    bool isEditing() const { return !editor_.isNull(); }
    // The open cell editor, or nullptr.
    QWidget* cellEditor() const { return editor_.data(); }

    // The grid's own actions, as the keys run them. Errors are thrown.
    void insertRow();
    void deleteRow();  // asks first; nothing when there is no row

    // Down on the last row: a new empty row below it (none when the row
    // is already an empty new one). Errors are thrown.
    void appendRow();

    // TDataEditor
    void updateRecord() override { commitEditor(); }
    void discardEdit() override;
    bool takeFocus() override;

    TDBGridModel* gridModel() const { return model_; }

    // Asked before text typed in a cell replaces the text of a row already
    // stored (not of a new row): Take puts it into the row, Done says the
    // check stored what the user wanted itself, Drop gives the cell its text
    // back and keeps the row as it was.
    enum class Typed { Take, Done, Drop };
    using TypedCheck =
        std::function<Typed(const QString& field, const QString& shown, const QString& typed)>;
    void setTypedCheck(TypedCheck check) { typedCheck_ = std::move(check); }

signals:
    void titleClick(const QString& title);
    void cellClick(const QString& title);

public slots:
    void reset() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TDBGridDelegate;
    void editorOpened(QWidget* editor, const QModelIndex& index);
    void editorGone(QWidget* editor);
    void attachDataSet();
    void applyColumnWidths();
    void applyEditor();
    bool checkTyped(QLineEdit& line);
    bool refusalAlreadyShown() const;
    void moveToRow(int row);
    void syncCurrent(int column);
    void datasetMoved();
    void datasetStateChanged();
    void focusMoved(QWidget* old, QWidget* now);
    void dropUnchangedNewRow();
    void postOrCancelKey(bool post);
    bool atLastRow() const;

    TDBGridModel* model_;
    QPointer<TDataSource> source_;
    QPointer<db::TableDataset> attached_;
    QPointer<QWidget> editor_;
    QPersistentModelIndex editorIndex_;
    bool committing_ = false;    // inside our own commit of the cell editor
    bool commitFailed_ = false;  // the editor holds text the row refused
    bool syncing_ = false;       // moving the view to the dataset's row
    quint64 inputSerial_ = 0;    // user key and mouse presses in this window
    quint64 refusedAt_ = 0;      // ...when refusedText_ was refused
    QString refusedText_;
    TypedCheck typedCheck_;
};

}  // namespace tavix
