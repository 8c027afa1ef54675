#pragma once

#include <QWidget>

#include "consult/Summary.h"

class QComboBox;
class QPushButton;
class QChartView;

namespace tavix {

// "Graphiques": hours by client or by activity as bars, and their shares
// as a pie. The longest lists keep their largest items and put the rest
// under "Autres", so that each colour stays distinct.
class ChartsView : public QWidget {
    Q_OBJECT
public:
    explicit ChartsView(QWidget* parent = nullptr);

    void setSummary(const Summary& summary);
    // Both charts side by side, as copied to the clipboard.
    QImage picture();
    void copyPicture();

    // A name as the charts show it: no wider than `width` pixels in `font`,
    // shortened with "…" (the full name is in the tooltip and the
    // accessible description); its figure goes on a line of its own. The
    // widths fit the charts at the window's first size.
    static constexpr int kNameWidth = 130;       // bars
    static constexpr int kLegendNameWidth = 90;  // the pie's legend
    static QString shortName(const QString& name, const QFont& font, int width);

    QComboBox* GroupingBox;
    QPushButton* CopyButton;
    QChartView* Bars;
    QChartView* Pie;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void refresh();
    const Summary* summary_ = nullptr;
    bool stale_ = false;  // the summary changed while the charts were hidden
    QWidget* charts_;
};

}  // namespace tavix
