#include "controls/DBGridModel.h"

#include <QColor>

namespace tavix {

namespace {

using State = db::TableDataset::State;

// Width of a column the caller did not size: enough for a usual value.
int defaultWidth(const db::FieldDef& field) {
    switch (field.type) {
        case db::FieldType::Integer:
        case db::FieldType::AutoIncrement:
            return 64;
        case db::FieldType::DateTime:
            return 120;
        case db::FieldType::Float:
            return 80;
        case db::FieldType::Text:
        case db::FieldType::Other:
            break;
    }
    return field.size > 0 && field.size <= 32 ? 7 * field.size + 8 : 300;
}

}  // namespace

TDBGridModel::TDBGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void TDBGridModel::setDataSet(db::TableDataset* dataSet) {
    if (dataSet_ == dataSet) return;
    if (dataSet_) dataSet_->disconnect(this);
    dataSet_ = dataSet;
    attach();
    resetAll();
}

void TDBGridModel::attach() {
    db::TableDataset* ds = dataSet_.data();
    if (!ds) return;
    connect(ds, &QObject::destroyed, this, [this] { resetAll(); });
    connect(ds, &db::TableDataset::activeChanged, this, [this] { resetAll(); });
    connect(ds, &db::TableDataset::rowsReset, this, [this] { resetAll(); });
    connect(ds, &db::TableDataset::rowInserted, this, [this](int row) {
        changing_ = true;
        beginInsertRows({}, row, row);
        rows_ = dataSet_->recordCount();
        if (current_ >= row) ++current_;
        endInsertRows();
        changing_ = false;
    });
    connect(ds, &db::TableDataset::rowRemoved, this, [this](int row) {
        changing_ = true;
        beginRemoveRows({}, row, row);
        rows_ = dataSet_->recordCount();
        if (current_ > row) --current_;
        endRemoveRows();
        changing_ = false;
    });
    connect(ds, &db::TableDataset::rowChanged, this, [this](int row) {
        if (row < 0 || row >= rows_ || shown_.isEmpty()) return;
        emit dataChanged(index(row, 0), index(row, static_cast<int>(shown_.size()) - 1));
        refreshIndicator(row);
    });
    connect(ds, &db::TableDataset::currentChanged, this, [this](int row) {
        const int old = current_;
        current_ = row;
        refreshIndicator(old);
        refreshIndicator(row);
    });
    connect(ds, &db::TableDataset::stateChanged, this, [this] { refreshIndicator(current_); });
}

void TDBGridModel::setColumns(const QList<Column>& columns) {
    requested_ = columns;
    resetAll();
}

void TDBGridModel::resetAll() {
    changing_ = true;
    beginResetModel();
    db::TableDataset* ds = dataSet_.data();
    const bool active = ds && ds->active();
    rows_ = active ? ds->recordCount() : 0;
    current_ = active ? ds->recNo() : -1;
    rebuildColumns();
    endResetModel();
    changing_ = false;
    emit columnsReset();
}

void TDBGridModel::rebuildColumns() {
    db::TableDataset* ds = dataSet_.data();
    const QList<db::FieldDef> fields = ds && ds->active() ? ds->fields() : QList<db::FieldDef>();
    shown_.clear();
    fieldIndexes_.clear();
    fields_.clear();
    if (requested_.isEmpty()) {
        for (int i = 0; i < fields.size(); ++i) {
            shown_.append({fields[i].name, defaultWidth(fields[i]), fields[i].name});
            fieldIndexes_.append(i);
            fields_.append(fields[i]);
        }
        return;
    }
    for (Column column : requested_) {
        if (column.title.isEmpty()) column.title = column.field;
        const int i = ds ? ds->fieldIndex(column.field) : -1;
        shown_.append(column);
        fieldIndexes_.append(i < fields.size() ? i : -1);
        fields_.append(i >= 0 && i < fields.size() ? fields[i] : db::FieldDef{column.field});
    }
}

void TDBGridModel::refreshIndicator(int row) {
    if (row < 0 || row >= rows_) return;
    emit headerDataChanged(Qt::Vertical, row, row);
    // The row's tint and its cells' description follow its state.
    if (!shown_.isEmpty())
        emit dataChanged(index(row, 0), index(row, static_cast<int>(shown_.size()) - 1),
                         {Qt::BackgroundRole, Qt::AccessibleDescriptionRole});
}

int TDBGridModel::fieldIndex(int column) const {
    return column >= 0 && column < fieldIndexes_.size() ? fieldIndexes_[column] : -1;
}

db::FieldDef TDBGridModel::fieldDef(int column) const {
    return column >= 0 && column < fields_.size() ? fields_[column] : db::FieldDef{};
}

int TDBGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TDBGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !dataSet_) return {};
    // Each cell of the current row tells a screen reader the row's state.
    // Only a row being edited says so in each cell: the current row is the
    // one the focus is on, and saying so after every cell is noise.
    if (role == Qt::AccessibleDescriptionRole)
        return editing(index.row()) ? rowState(index.row()) : QString();
    if (role == Qt::BackgroundRole && editing(index.row())) return QColor(255, 244, 170);
    if (role == Qt::ToolTipRole) {
        const QString note = dataSet_->rowNote(index.row());
        return note.isEmpty() ? QVariant() : QVariant(note);
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::AccessibleTextRole)
        return {};
    const int field = fieldIndex(index.column());
    if (field < 0) return QString();
    return dataSet_->textAt(index.row(), field);
}

QString TDBGridModel::indicator(int row) const {
    if (!dataSet_ || row < 0 || row != current_) return {};
    switch (dataSet_->state()) {
        case State::Edit:
            return QStringLiteral("I");
        case State::Insert:
            return QStringLiteral("*");
        case State::Browse:
            return QStringLiteral("\u25B6");
        case State::Inactive:
            break;
    }
    return {};
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= shown_.size()) return {};
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return shown_[section].title;
        return {};
    }
    if (role == Qt::DisplayRole) return indicator(section);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
    if (role == Qt::AccessibleTextRole) {
        const QString state = rowState(section);
        return state.isEmpty() ? QStringLiteral("Ligne %1").arg(section + 1) : state;
    }
    if (role == Qt::BackgroundRole && editing(section)) return QColor(255, 244, 170);
    return {};
}

bool TDBGridModel::editing(int row) const {
    if (!dataSet_ || row < 0 || row != current_) return false;
    return dataSet_->state() == State::Edit || dataSet_->state() == State::Insert;
}

QString TDBGridModel::rowState(int row) const {
    if (indicator(row).isEmpty()) return {};
    const State state = dataSet_->state();
    return state == State::Insert ? QStringLiteral("Nouvelle ligne en cours")
           : state == State::Edit ? QStringLiteral("Ligne courante en modification")
                                  : QStringLiteral("Ligne courante");
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (fieldIndex(index.column()) >= 0 && !fieldDef(index.column()).readOnly)
        f |= Qt::ItemIsEditable;
    return f;
}

void TDBGridModel::setCellText(const QModelIndex& index, const QString& text) {
    db::TableDataset* ds = dataSet_.data();
    const int field = fieldIndex(index.column());
    if (!ds || field < 0 || !index.isValid()) return;
    if (ds->recNo() != index.row()) ds->setRecNo(index.row());
    // Text the cell already shows is no change (keeps a new row "unchanged").
    if (ds->textAt(index.row(), field) != text)
        ds->setFieldText(fieldDef(index.column()).name, text);
}

}  // namespace tavix
