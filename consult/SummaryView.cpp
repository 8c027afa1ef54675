#include "consult/SummaryView.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include "controls/KeyboardAccess.h"

namespace tavix {

namespace {
enum Figure { Entries, Duration, Hours, Share, RoundedDuration, RoundedHours, Amount };
}

void SummaryModel::setSummary(const Summary& summary, Grouping grouping) {
    beginResetModel();
    lines_ = summary.lines(grouping);
    titles_ = keyTitles(grouping);
    keys_ = int(titles_.size());
    total_ = summary.seconds();
    rounded_ = summary.rounding().active();
    titles_ << QStringLiteral("Entrées") << QStringLiteral("Durée") << QStringLiteral("Heures")
            << QStringLiteral("Part (%)");
    figures_ = {Entries, Duration, Hours, Share};
    if (rounded_) {
        titles_ << QStringLiteral("Durée arrondie") << QStringLiteral("Heures arrondies");
        figures_.insert(figures_.end(), {RoundedDuration, RoundedHours});
    }
    if (summary.priced()) {
        titles_ << QStringLiteral("Montant HT");
        figures_.push_back(Amount);
    }
    endResetModel();
}

int SummaryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

int SummaryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(titles_.size());
}

QVariant SummaryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const SummaryLine& l = lines_[size_t(index.row())];
    const int c = index.column();
    if (c < keys_) {
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return l.keys.value(c);
        // Periods sort by date, the others by their text.
        if (role == SortRole) return keys_ == 1 ? l.sortKey : l.keys.value(c);
        return {};
    }
    const auto figure = Figure(figures_.at(size_t(c - keys_)));
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == SortRole) {
        switch (figure) {
            case Entries:
                return l.entries;
            case Duration:
            case Hours:
            case Share:
                return l.seconds;
            case RoundedDuration:
            case RoundedHours:
                return l.rounded;
            case Amount:
                return l.unrated >= l.entries ? qint64(-1) : l.amount;
        }
    }
    if (role != Qt::DisplayRole) return {};
    switch (figure) {
        case Entries:
            return QString::number(l.entries);
        case Duration:
            return hmsText(l.seconds);
        case Hours:
            return decimalHoursText(l.seconds);
        case Share:
            return shareText(l.seconds, total_);
        case RoundedDuration:
            return hmsText(l.rounded);
        case RoundedHours:
            return decimalHoursText(l.rounded);
        case Amount:
            return amountText(l.amount, l.entries, l.unrated);
    }
    return {};
}

QVariant SummaryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return titles_.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

SummaryView::SummaryView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SummaryView"));
    GroupingBox = new QComboBox(this);
    GroupingBox->setObjectName(QStringLiteral("GroupingBox"));
    for (const Grouping g : kGroupings) GroupingBox->addItem(groupingName(g), int(g));
    RoundingBox = new QComboBox(this);
    RoundingBox->setObjectName(QStringLiteral("RoundingBox"));
    for (const Rounding& r : Rounding::choices()) RoundingBox->addItem(r.label(), r.toSetting());
    ScopeBox = new QComboBox(this);
    ScopeBox->setObjectName(QStringLiteral("ScopeBox"));
    ScopeBox->setAccessibleName(QStringLiteral("Arrondir"));
    ScopeBox->addItem(QStringLiteral("entrée par entrée"), false);
    ScopeBox->addItem(QStringLiteral("sur le total de chaque ligne"), true);
    RuleLabel = new QLabel(this);
    RuleLabel->setObjectName(QStringLiteral("RuleLabel"));
    RuleLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SortBox = new QComboBox(this);
    SortBox->setObjectName(QStringLiteral("SortBox"));

    Model = new SummaryModel(this);
    Sorted = new QSortFilterProxyModel(this);
    Sorted->setSourceModel(Model);
    Sorted->setSortRole(SummaryModel::SortRole);
    Sorted->setSortLocaleAware(true);
    Table = new QTableView(this);
    Table->setObjectName(QStringLiteral("SummaryTable"));
    Table->setAccessibleName(QStringLiteral("Synthèse"));
    Table->setModel(Sorted);
    Table->setSortingEnabled(true);
    Table->sortByColumn(0, Qt::AscendingOrder);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setTabKeyNavigation(false);  // Tab leaves the table, arrows move in it
    Table->setAlternatingRowColors(true);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* group = new QLabel(QStringLiteral("Re&grouper"), this);
    group->setBuddy(GroupingBox);
    auto* round = new QLabel(QStringLiteral("Arr&ondi"), this);
    round->setBuddy(RoundingBox);
    auto* sort = new QLabel(QStringLiteral("&Trier par"), this);
    sort->setBuddy(SortBox);
    auto* choices = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{group, GroupingBox, round, RoundingBox,
                                                      ScopeBox, sort, SortBox})
        choices->addWidget(w);
    choices->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(choices);
    layout->addWidget(Table, 1);
    layout->addWidget(RuleLabel);

    connect(GroupingBox, &QComboBox::currentIndexChanged, this, [this] {
        refresh();
        emit groupingChosen();
    });
    const auto chosen = [this] {
        Rounding r = Rounding::fromSetting(RoundingBox->currentData().toString());
        r.perLine = r.active() && ScopeBox->currentData().toBool();
        emit roundingChosen(r);
    };
    connect(RoundingBox, &QComboBox::currentIndexChanged, this, chosen);
    connect(ScopeBox, &QComboBox::currentIndexChanged, this, chosen);
    // The header's sort and the keyboard's are the same.
    connect(SortBox, &QComboBox::activated, this, [this](int i) {
        if (i >= 0) Table->sortByColumn(i / 2, i % 2 ? Qt::DescendingOrder : Qt::AscendingOrder);
    });
    connect(Table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                const QSignalBlocker quiet(SortBox);
                SortBox->setCurrentIndex(column * 2 + (order == Qt::DescendingOrder ? 1 : 0));
            });
    fillSortBox();
    for (QComboBox* box : {GroupingBox, RoundingBox, SortBox}) tellCurrentValue(box);
}

Grouping SummaryView::grouping() const { return Grouping(GroupingBox->currentData().toInt()); }

void SummaryView::setRounding(const Rounding& r) {
    const QSignalBlocker quiet(RoundingBox);
    const QSignalBlocker quietToo(ScopeBox);
    Rounding step = r;
    step.perLine = false;
    RoundingBox->setCurrentIndex(std::max(0, RoundingBox->findData(step.toSetting())));
    ScopeBox->setCurrentIndex(r.perLine ? 1 : 0);
}

void SummaryView::setSummary(const Summary& summary) {
    summary_ = &summary;
    refresh();
}

void SummaryView::refresh() {
    if (!summary_) return;
    const int column = Table->horizontalHeader()->sortIndicatorSection();
    const Qt::SortOrder order = Table->horizontalHeader()->sortIndicatorOrder();
    Model->setSummary(*summary_, grouping());
    const Rounding& r = summary_->rounding();
    const bool priced = summary_->priced();
    RuleLabel->setVisible(r.active() || priced);
    QStringList said;
    if (r.active())
        said << QStringLiteral("Total facturé : %1 — %2 h, %3")
                    .arg(hmsText(summary_->rounded(grouping())),
                         decimalHoursText(summary_->rounded(grouping())), r.rule(grouping()));
    if (priced) {
        QString money = QStringLiteral("Montant HT : ") + moneyText(summary_->amount(grouping()));
        if (summary_->unrated() > 0)
            money += QStringLiteral(" — ") + unratedText(summary_->unrated());
        said << money;
    }
    RuleLabel->setText(said.join(QStringLiteral("\n")));
    // The names take the room left; the figures stay together on the right.
    const int keys = int(keyTitles(grouping()).size());
    for (int c = 0; c < Model->columnCount(); ++c)
        Table->horizontalHeader()->setSectionResizeMode(
            c, c == keys - 1 ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    fillSortBox();
    Table->sortByColumn(column < Model->columnCount() ? column : 0, order);
}

void SummaryView::fillSortBox() {
    const QSignalBlocker quiet(SortBox);
    SortBox->clear();
    for (int c = 0; c < Model->columnCount(); ++c) {
        const QString title = Model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        SortBox->addItem(title + QStringLiteral(", croissant"));
        SortBox->addItem(title + QStringLiteral(", décroissant"));
    }
    const int column = Table->horizontalHeader()->sortIndicatorSection();
    SortBox->setCurrentIndex(
        column * 2 + (Table->horizontalHeader()->sortIndicatorOrder() == Qt::DescendingOrder));
}

}  // namespace tavix
