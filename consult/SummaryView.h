#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <vector>

#include "consult/Summary.h"

class QComboBox;
class QLabel;
class QLabel;
class QSortFilterProxyModel;
class QTableView;

namespace tavix {

// The lines of one grouping of a summary as a table: keys, entries, time
// as h:mm:ss and decimal hours, share of the total, and the rounded time
// when rounding is on. SortRole gives the value each column sorts by.
class SummaryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int SortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;
    void setSummary(const Summary& summary, Grouping grouping);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<SummaryLine> lines_;
    QStringList titles_;
    int keys_ = 0;
    qint64 total_ = 0;
    bool rounded_ = false;
    std::vector<int> figures_;  // what each column after the keys shows
};

// "Synthèse": the grouping and rounding choices over a sortable table.
class SummaryView : public QWidget {
    Q_OBJECT
public:
    explicit SummaryView(QWidget* parent = nullptr);

    void setSummary(const Summary& summary);
    Grouping grouping() const;
    void setRounding(const Rounding& r);  // shown, without signal

    QComboBox* GroupingBox;
    QComboBox* RoundingBox;
    QComboBox* ScopeBox;  // each entry, or each line's total
    QLabel* RuleLabel;    // the rounding rule in words
    QComboBox* SortBox;
    QTableView* Table;
    SummaryModel* Model;
    QSortFilterProxyModel* Sorted;

signals:
    void roundingChosen(const tavix::Rounding& rounding);
    void groupingChosen();

private:
    void fillSortBox();
    void refresh();
    const Summary* summary_ = nullptr;
};

}  // namespace tavix
