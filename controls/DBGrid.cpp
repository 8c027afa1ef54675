#include "controls/DBGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>
#include <algorithm>

#include "controls/ReloadOffer.h"
#include "platform/Announce.h"
#include "platform/Error.h"
#include "platform/Services.h"

namespace tavix {

using DsState = db::TableDataset::State;

// Line editors limited to the field's width (no limit for a value already
// longer); tells the grid which editor is
// open so that it can take its text into the row itself.
class TDBGridDelegate : public QStyledItemDelegate {
public:
    explicit TDBGridDelegate(TDBGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        auto* line = new QLineEdit(parent);
        line->setFrame(false);
        const db::FieldDef field = grid_->model_->fieldDef(index.column());
        const bool text = field.type == db::FieldType::Text || field.type == db::FieldType::Other;
        // A value already longer than the field's width (the file holds it)
        // takes no limit: an edit must not cut text the user did not delete.
        const qsizetype own = index.data(Qt::EditRole).toString().size();
        if (text && field.size > 0 && own <= field.size) line->setMaxLength(field.size);
        line->setAccessibleName(
            grid_->model_->headerData(index.column(), Qt::Horizontal, Qt::DisplayRole).toString());
        Q_UNUSED(option);
        grid_->editorOpened(line, index);
        return line;
    }
    void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {
        // The grid takes the text into the row itself (TDBGrid::commitData).
    }
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override {
        grid_->editorGone(editor);
        QStyledItemDelegate::destroyEditor(editor, index);
    }

private:
    TDBGrid* grid_;
};

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), model_(new TDBGridModel(this)) {
    setModel(model_);
    setItemDelegate(new TDBGridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                    QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setAccessibleName(QStringLiteral("Grille"));

    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 6);
    rows->setFixedWidth(16);
    rows->setSectionsClickable(false);
    QHeaderView* titles = horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setSectionsClickable(true);
    titles->setHighlightSections(false);
    titles->setStretchLastSection(false);

    connect(titles, &QHeaderView::sectionClicked, this, [this](int section) {
        const auto cols = model_->columns();
        if (section >= 0 && section < cols.size()) emit titleClick(cols[section].title);
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        const auto cols = model_->columns();
        if (index.isValid() && index.column() < cols.size())
            emit cellClick(cols[index.column()].title);
    });
    connect(model_, &TDBGridModel::columnsReset, this, [this] { applyColumnWidths(); });
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget* old, QWidget* now) { focusMoved(old, now); });
}

TDBGrid::~TDBGrid() {
    if (source_) source_->removeEditor(this);
}

db::TableDataset* TDBGrid::dataSet() const { return source_ ? source_->dataSet() : nullptr; }

void TDBGrid::setDataSource(TDataSource* source) {
    if (source_ == source) return;
    if (source_) {
        source_->removeEditor(this);
        source_->disconnect(this);
    }
    source_ = source;
    if (source_) {
        source_->addEditor(this);
        connect(source_, &TDataSource::dataSetChanged, this, [this] { attachDataSet(); });
        connect(source_, &QObject::destroyed, this, [this] { attachDataSet(); });
    }
    attachDataSet();
}

void TDBGrid::attachDataSet() {
    db::TableDataset* ds = dataSet();
    if (attached_ != ds) {
        if (attached_) attached_->disconnect(this);
        attached_ = ds;
        // After the model's own connections, so the rows are in place first.
        model_->setDataSet(ds);
        if (ds) {
            connect(ds, &db::TableDataset::currentChanged, this, [this] { datasetMoved(); });
            connect(ds, &db::TableDataset::rowsReset, this, [this] { datasetMoved(); });
            connect(ds, &db::TableDataset::rowInserted, this, [this] { datasetMoved(); });
            connect(ds, &db::TableDataset::rowRemoved, this, [this] { datasetMoved(); });
            connect(ds, &db::TableDataset::stateChanged, this, [this] { datasetStateChanged(); });
            // Stored: said in words, as nothing on screen changes.
            connect(ds, &db::TableDataset::posted, this,
                    [this] { announce(this, QStringLiteral("Ligne enregistrée")); });
        }
    }
    syncCurrent(currentIndex().column());
}

void TDBGrid::setColumns(const QList<Column>& columns) {
    model_->setColumns(columns);
    syncCurrent(currentIndex().column());
}

void TDBGrid::applyColumnWidths() {
    const auto cols = model_->columns();
    for (int i = 0; i < cols.size(); ++i) setColumnWidth(i, cols[i].width);
}

void TDBGrid::setShowTitles(bool on) { horizontalHeader()->setVisible(on); }
bool TDBGrid::showTitles() const { return !horizontalHeader()->isHidden(); }
void TDBGrid::setShowIndicator(bool on) { verticalHeader()->setVisible(on); }
bool TDBGrid::showIndicator() const { return !verticalHeader()->isHidden(); }

// ---- cell editor -------------------------------------------------------------

void TDBGrid::editorOpened(QWidget* editor, const QModelIndex& index) {
    editor_ = editor;
    editorIndex_ = index;
    commitFailed_ = false;
}

void TDBGrid::editorGone(QWidget* editor) {
    if (editor_ != editor) return;
    editor_ = nullptr;
    editorIndex_ = QPersistentModelIndex();
    commitFailed_ = false;
}

void TDBGrid::reset() {
    editor_ = nullptr;
    editorIndex_ = QPersistentModelIndex();
    commitFailed_ = false;
    QTableView::reset();
}

void TDBGrid::applyEditor() {
    auto* line = qobject_cast<QLineEdit*>(editor_.data());
    if (!line || !editorIndex_.isValid()) return;
    QScopedValueRollback guard(committing_, true);
    commitFailed_ = true;  // until the row has taken the text
    try {
        if (typedCheck_ && !checkTyped(*line)) {
            commitFailed_ = false;
            return;
        }
        model_->setCellText(editorIndex_, line->text());
    } catch (...) {
        refusedText_ = line->text();
        refusedAt_ = inputSerial_;
        throw;
    }
    commitFailed_ = false;
}

// False when the check took care of the text (stored it or dropped it).
bool TDBGrid::checkTyped(QLineEdit& line) {
    db::TableDataset* ds = dataSet();
    const int field = model_->fieldIndex(editorIndex_.column());
    if (!ds || !ds->active() || field < 0 || ds->state() == DsState::Insert) return true;
    if (ds->recNo() != editorIndex_.row()) ds->setRecNo(editorIndex_.row());
    const QString shown = ds->textAt(editorIndex_.row(), field);
    const QString typed = line.text();
    if (typed == shown) return true;
    switch (typedCheck_(model_->fieldDef(editorIndex_.column()).name, shown, typed)) {
        case Typed::Take:
            return true;
        case Typed::Drop:
            line.setText(shown);
            return false;
        case Typed::Done:
            break;
    }
    return false;
}

// One user action (a key, a click) may ask several times for the same
// refused text: by focus leaving the editor, by the current cell moving, by
// the action itself. The user is told once.
bool TDBGrid::refusalAlreadyShown() const {
    auto* line = qobject_cast<QLineEdit*>(editor_.data());
    return commitFailed_ && line && refusedAt_ == inputSerial_ && line->text() == refusedText_;
}

void TDBGrid::commitEditor() {
    if (!editor_) return;
    if (refusalAlreadyShown()) throw AbortError();
    applyEditor();
    if (editor_) QAbstractItemView::closeEditor(editor_, QAbstractItemDelegate::NoHint);
}

void TDBGrid::discardEdit() {
    commitFailed_ = false;
    if (editor_) QAbstractItemView::closeEditor(editor_, QAbstractItemDelegate::NoHint);
}

void TDBGrid::commitData(QWidget* editor) {
    // A box shown while committing takes the focus from the editor, which
    // asks to commit again: one commit at a time. Moving the view back to
    // the dataset's row commits nothing either.
    if (committing_ || syncing_ || editor != editor_ || refusalAlreadyShown()) return;
    QScopedValueRollback guard(committing_, true);
    try {
        applyEditor();
    } catch (...) {
        reportException(std::current_exception());
    }
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if ((type == QEvent::KeyPress || type == QEvent::MouseButtonPress) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == window())
        ++inputSerial_;
    return QTableView::eventFilter(watched, event);
}

void TDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor != editor_) {
        QTableView::closeEditor(editor, hint);
        return;
    }
    if (hint == QAbstractItemDelegate::RevertModelCache) {
        // Escape: the typed text and the row's edit are both undone.
        commitFailed_ = false;
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
        if (db::TableDataset* ds = dataSet(); ds && ds->active())
            runGuarded([ds] { ds->cancel(); });
        return;
    }
    if (committing_ || commitFailed_) {
        // The row refused the text: keep it in front of the user.
        if (editor->isVisible()) editor->setFocus();
        return;
    }
    QTableView::closeEditor(editor, hint);
}

// ---- current row -------------------------------------------------------------

void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (syncing_ || model_->changingRows()) return;
    if (commitFailed_ && editorIndex_.isValid()) {
        // Text the row refused is still in the editor: stay on its cell.
        syncCurrent(editorIndex_.column());
        return;
    }
    db::TableDataset* ds = dataSet();
    if (!ds || !ds->active() || !current.isValid()) return;
    if (current.row() != ds->recNo()) runGuarded([&] { moveToRow(current.row()); });
    syncCurrent(current.column());
}

void TDBGrid::moveToRow(int row) {
    db::TableDataset* ds = dataSet();
    QScopedValueRollback guard(syncing_, true);
    if (ds->state() == DsState::Insert && !ds->modified()) {
        // A new row left unchanged goes away; the rows after it move up.
        const int pos = ds->recNo();
        ds->cancel();
        if (row > pos) --row;
    }
    if (row >= 0 && row < ds->recordCount() && row != ds->recNo()) ds->setRecNo(row);
}

void TDBGrid::syncCurrent(int column) {
    db::TableDataset* ds = dataSet();
    const int row = ds && ds->active() ? ds->recNo() : -1;
    const int columns = model_->columnCount();
    QModelIndex want;
    if (row >= 0 && row < model_->rowCount() && columns > 0)
        want = model_->index(row, std::clamp(column, 0, columns - 1));
    if (currentIndex() == want) return;
    QScopedValueRollback guard(syncing_, true);
    if (want.isValid())
        selectionModel()->setCurrentIndex(want, QItemSelectionModel::ClearAndSelect);
    else
        selectionModel()->clearCurrentIndex();
}

void TDBGrid::datasetMoved() {
    if (syncing_) return;
    db::TableDataset* ds = dataSet();
    if (editor_ && !committing_ && ds && editorIndex_.row() != ds->recNo()) discardEdit();
    syncCurrent(currentIndex().column());
}

void TDBGrid::datasetStateChanged() {
    db::TableDataset* ds = dataSet();
    // A post or cancel done elsewhere ends what the editor held.
    if (editor_ && !committing_ && ds && ds->state() != DsState::Edit &&
        ds->state() != DsState::Insert)
        discardEdit();
    // A new row is typed from its first cell.
    if (ds && ds->state() == DsState::Insert && !syncing_) syncCurrent(0);
    viewport()->update();
}

// ---- focus -------------------------------------------------------------------

void TDBGrid::focusMoved(QWidget* old, QWidget* now) {
    const auto inside = [this](QWidget* w) { return w && (w == this || isAncestorOf(w)); };
    // Only a move to another control of the same window: a box popping up
    // over it leaves the row alone.
    if (!inside(old) || !now || inside(now) || now->window() != window()) return;
    runGuarded([this] { dropUnchangedNewRow(); });
}

void TDBGrid::dropUnchangedNewRow() {
    db::TableDataset* ds = dataSet();
    if (!ds || editor_ || ds->state() != DsState::Insert || ds->modified()) return;
    ds->cancel();
}

bool TDBGrid::focusNextPrevChild(bool next) {
    const QModelIndex at = currentIndex();
    const bool atEnd =
        next ? (at.row() >= model_->rowCount() - 1 && at.column() >= model_->columnCount() - 1)
             : (at.row() <= 0 && at.column() <= 0);
    if (!at.isValid() || atEnd || editor_) return QWidget::focusNextPrevChild(next);
    return QTableView::focusNextPrevChild(next);
}

// ---- keys and actions ----------------------------------------------------------

void TDBGrid::insertRow() {
    db::TableDataset* ds = dataSet();
    if (!ds || !ds->active()) return;
    commitEditor();
    ds->insert();
}

bool TDBGrid::atLastRow() const {
    db::TableDataset* ds = dataSet();
    if (!ds || !ds->active()) return false;
    const int rows = model_->rowCount();
    return rows == 0 || currentIndex().row() == rows - 1;
}

void TDBGrid::appendRow() {
    db::TableDataset* ds = dataSet();
    if (!ds || !ds->active()) return;
    bool editable = false;
    for (int c = 0; c < model_->columnCount(); ++c)
        editable = editable || (model_->fieldIndex(c) >= 0 && !model_->fieldDef(c).readOnly);
    if (!editable) return;
    commitEditor();
    // An empty new row is already there to be typed in.
    if (ds->state() == DsState::Insert && !ds->modified()) return;
    ds->append();  // posts the row being edited first
}

bool TDBGrid::takeFocus() {
    if (!isVisible() || !isEnabled()) return false;
    setFocus(Qt::OtherFocusReason);
    return true;
}

void TDBGrid::deleteRow() {
    db::TableDataset* ds = dataSet();
    if (!ds || !ds->active() || ds->recordCount() == 0) return;
    if (!messageBoxes().confirmOkCancelDestructive(QStringLiteral("Supprimer l'enregistrement ?")))
        return;
    discardEdit();
    ds->deleteRecord();
}

void TDBGrid::postOrCancelKey(bool post) {
    db::TableDataset* ds = dataSet();
    if (!ds || (ds->state() != DsState::Edit && ds->state() != DsState::Insert)) return;
    if (post)
        db::postOrOfferReload(*ds);
    else
        ds->cancel();
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    db::TableDataset* ds = dataSet();
    const bool editing = ds && (ds->state() == DsState::Edit || ds->state() == DsState::Insert);
    switch (event->key()) {
        case Qt::Key_Insert:
            if (mods == Qt::NoModifier) {
                runGuarded([this] { insertRow(); });
                event->accept();
                return;
            }
            break;
        case Qt::Key_Down:
            if (mods == Qt::NoModifier && atLastRow()) {
                runGuarded([this] { appendRow(); });
                event->accept();
                return;
            }
            break;
        case Qt::Key_Delete:
            if (mods == Qt::ControlModifier) {
                runGuarded([this] { deleteRow(); });
                event->accept();
                return;
            }
            break;
        case Qt::Key_Escape:
            // On a row being edited Escape undoes it; otherwise it is the window's.
            if (editing) {
                runGuarded([this] { postOrCancelKey(false); });
                event->accept();
                return;
            }
            event->ignore();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // From the cell editor: the delegate takes the cell; nothing more.
            if (editor_) {
            } else if (editing)
                runGuarded([this] { postOrCancelKey(true); });
            else if (currentIndex().isValid())
                edit(currentIndex(), QAbstractItemView::EditKeyPressed, event);
            event->accept();
            return;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            if (mods & Qt::ControlModifier) {
                QWidget::focusNextPrevChild(event->key() == Qt::Key_Tab &&
                                            !(mods & Qt::ShiftModifier));
                event->accept();
                return;
            }
            break;
        default:
            break;
    }
    QTableView::keyPressEvent(event);
}

}  // namespace tavix
