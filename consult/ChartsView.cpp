#include "consult/ChartsView.h"

#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QLegendMarker>
#include <QPieSeries>
#include <QPieSlice>
#include <QPushButton>
#include <QShortcut>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "controls/KeyboardAccess.h"

namespace tavix {

namespace {

// Okabe and Ito's colours, told apart by most colour-blind readers too.
const QColor kColours[] = {QColor(0, 114, 178),   QColor(230, 159, 0),  QColor(0, 158, 115),
                           QColor(204, 121, 167), QColor(86, 180, 233), QColor(213, 94, 0),
                           QColor(240, 228, 66),  QColor(110, 110, 110)};
constexpr int kPieSlices = 7;  // and "Autres"
constexpr int kBars = 15;      // and "Autres"

struct Item {
    QString name;
    qint64 seconds;
};

std::vector<Item> largest(const std::vector<SummaryLine>& lines, int keep) {
    std::vector<Item> items;
    for (const SummaryLine& l : lines)
        items.push_back({l.keys.join(QStringLiteral(" / ")), l.seconds});
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.seconds > b.seconds; });
    if (int(items.size()) > keep + 1) {
        qint64 rest = 0;
        for (size_t i = size_t(keep); i < items.size(); ++i) rest += items[i].seconds;
        items.resize(size_t(keep));
        items.push_back({QStringLiteral("Autres"), rest});
    }
    return items;
}

// The full text under the mouse, or none when it leaves.
void tip(bool over, const QString& text) {
    if (over)
        QToolTip::showText(QCursor::pos(), text);
    else
        QToolTip::hideText();
}

QChartView* chartView(const QString& name, QWidget* parent) {
    auto* view = new QChartView(parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFocusPolicy(Qt::StrongFocus);  // reachable, so its description is read
    view->setMinimumSize(320, 260);
    return view;
}

}  // namespace

ChartsView::ChartsView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ChartsView"));
    GroupingBox = new QComboBox(this);
    GroupingBox->setObjectName(QStringLiteral("ChartGroupingBox"));
    GroupingBox->addItem(groupingName(Grouping::Client), int(Grouping::Client));
    GroupingBox->addItem(groupingName(Grouping::Activity), int(Grouping::Activity));
    auto* label = new QLabel(QStringLiteral("Re&grouper"), this);
    label->setBuddy(GroupingBox);
    CopyButton = new QPushButton(QStringLiteral("&Copier l'image"), this);
    CopyButton->setObjectName(QStringLiteral("CopyButton"));
    charts_ = new QWidget(this);
    Bars = chartView(QStringLiteral("Bars"), charts_);
    Pie = chartView(QStringLiteral("Pie"), charts_);
    auto* side = new QHBoxLayout(charts_);
    side->setContentsMargins(0, 0, 0, 0);
    side->addWidget(Bars, 1);
    side->addWidget(Pie, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(GroupingBox);
    top->addStretch(1);
    top->addWidget(CopyButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top);
    layout->addWidget(charts_, 1);

    connect(GroupingBox, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(CopyButton, &QPushButton::clicked, this, [this] { copyPicture(); });
    tellCurrentValue(GroupingBox);
}

void ChartsView::setSummary(const Summary& summary) {
    summary_ = &summary;
    // Laying out the charts costs milliseconds: hidden ones wait to be shown.
    stale_ = true;
    if (isVisible()) refresh();
}

void ChartsView::showEvent(QShowEvent* event) {
    if (stale_) refresh();
    QWidget::showEvent(event);
}

void ChartsView::refresh() {
    if (!summary_) return;
    stale_ = false;
    const auto grouping = Grouping(GroupingBox->currentData().toInt());
    const std::vector<SummaryLine> lines = summary_->lines(grouping);
    const QString what =
        grouping == Grouping::Client ? QStringLiteral("client") : QStringLiteral("surveillance");
    QFont labels = font();
    labels.setPointSizeF(std::max<qreal>(labels.pointSizeF(), 9));

    // Bars: largest at the top.
    auto* set = new QBarSet(QStringLiteral("Heures"));
    set->setColor(kColours[0]);
    set->setLabelColor(Qt::black);
    QStringList categories;
    QStringList spoken;
    std::vector<Item> bars = largest(lines, kBars);
    std::reverse(bars.begin(), bars.end());
    QStringList full;
    for (const Item& i : bars) {
        *set << double(i.seconds) / 3600.0;
        // The figure under the name: exact, and read with it. The chart
        // cuts a label too wide at its end, the figure; a long name is
        // shortened instead.
        const QString figure = QStringLiteral("%1 h").arg(decimalHoursText(i.seconds));
        categories << shortName(i.name, labels, kNameWidth).toHtmlEscaped() +
                          QStringLiteral("<br>") + figure;
        full << i.name + QStringLiteral(" — ") + figure;
    }
    connect(set, &QBarSet::hovered, set,
            [full](bool over, int index) { tip(over, full.value(index)); });
    for (auto it = bars.rbegin(); it != bars.rend(); ++it)
        spoken << QStringLiteral("%1 : %2 h").arg(it->name, decimalHoursText(it->seconds));
    auto* series = new QHorizontalBarSeries;
    series->append(set);
    auto* bar = new QChart;
    bar->setTitle(QStringLiteral("Heures par %1").arg(what));
    bar->addSeries(series);
    auto* names = new QBarCategoryAxis;
    names->append(categories);
    names->setLabelsFont(labels);
    bar->addAxis(names, Qt::AlignLeft);
    series->attachAxis(names);
    auto* hours = new QValueAxis;
    hours->setLabelsFont(labels);
    bar->addAxis(hours, Qt::AlignBottom);
    series->attachAxis(hours);
    // Nothing to show: an axis from 0 to 1 h rather than an empty range.
    if (bars.empty() || summary_->seconds() <= 0)
        hours->setRange(0, 1);
    else {
        hours->setMin(0);
        hours->applyNiceNumbers();
    }
    // As many decimals as the steps between ticks need: a morning's work
    // reads 0,5 h, 1 h, not 0 h, 1 h, 1 h.
    const qreal step = (hours->max() - hours->min()) / std::max(1, hours->tickCount() - 1);
    hours->setLabelFormat(step >= 1     ? QStringLiteral("%.0f h")
                          : step >= 0.1 ? QStringLiteral("%.1f h")
                                        : QStringLiteral("%.2f h"));
    bar->legend()->hide();
    bar->setLocalizeNumbers(true);  // 118,6 h, as the rest of the window
    bar->setLocale(QLocale(QLocale::French, QLocale::France));
    QChart* oldBar = Bars->chart();
    Bars->setChart(bar);
    delete oldBar;
    Bars->setAccessibleName(bar->title());
    Bars->setAccessibleDescription(spoken.join(QStringLiteral(" ; ")));

    // Pie: shares of the total.
    auto* pie = new QPieSeries;
    QStringList shares;
    QStringList sliceTexts;
    int colour = 0;
    for (const Item& i : largest(lines, kPieSlices)) {
        const QString share = shareText(i.seconds, summary_->seconds());
        QPieSlice* slice = pie->append(shortName(i.name, labels, kLegendNameWidth).toHtmlEscaped() +
                                           QStringLiteral("<br>") + share + QStringLiteral(" %"),
                                       double(i.seconds));
        slice->setColor(i.name == QLatin1String("Autres") ? kColours[7] : kColours[colour++ % 7]);
        slice->setBorderColor(Qt::white);
        slice->setLabelFont(labels);
        const QString text = QStringLiteral("%1 (%2 %)").arg(i.name, share);
        connect(slice, &QPieSlice::hovered, slice, [text](bool over) { tip(over, text); });
        sliceTexts << text;
        shares << QStringLiteral("%1 : %2 %").arg(i.name, share);
    }
    auto* pieChart = new QChart;
    pieChart->setTitle(QStringLiteral("Part de chaque %1").arg(what));
    pieChart->addSeries(pie);
    // Each entry on two lines, the share under the name: the legend's strip
    // beside the pie is narrow.
    pieChart->legend()->setAlignment(Qt::AlignRight);
    pieChart->legend()->setFont(labels);
    const QList<QLegendMarker*> markers = pieChart->legend()->markers(pie);
    for (qsizetype m = 0; m < markers.size() && m < sliceTexts.size(); ++m) {
        const QString text = sliceTexts[m];
        connect(markers[m], &QLegendMarker::hovered, markers[m],
                [text](bool over) { tip(over, text); });
    }
    QChart* oldPie = Pie->chart();
    Pie->setChart(pieChart);
    delete oldPie;
    Pie->setAccessibleName(pieChart->title());
    Pie->setAccessibleDescription(shares.join(QStringLiteral(" ; ")));
}

QString ChartsView::shortName(const QString& name, const QFont& font, int width) {
    return QFontMetrics(font).elidedText(name, Qt::ElideRight, width);
}

QImage ChartsView::picture() {
    if (stale_) refresh();
    return charts_->grab().toImage();
}

void ChartsView::copyPicture() { QApplication::clipboard()->setImage(picture()); }

}  // namespace tavix
