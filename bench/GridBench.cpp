// The data-aware grid bound to activites with 100k and 1M rows: binding and
// first showing, a jump to the last row and paging back through 200 screens,
// beside a bare QTableView over a model that formats the same kind of text
// without any dataset (the floor).

#include <sqlite3.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

#include "controls/DBGrid.h"
#include "controls/DataSource.h"
#include "data/engine/Connection.h"
#include "data/engine/Schema.h"
#include "data/engine/TableDataset.h"

using namespace tavix;

namespace {

void fill(const QString& path, int count) {
    db::Connection::createDatabase(path, db::defaultSchema());
    sqlite3* h = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &h);
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(
        h,
        "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, DUREE, "
        "COMMENTAIRE) VALUES ('marie', 'Saisie', ?, ?, ?, 600, NULL)",
        -1, &stmt, nullptr);
    for (int i = 0; i < count; ++i) {
        const QByteArray client = QByteArray("Client ") + QByteArray::number(i % 20);
        const DateTime start(QDate(2020, 1, 1).addDays(i / 40), QTime(8, 0).addSecs(i % 40 * 900));
        const QByteArray b = start.toIso().toUtf8();
        const QByteArray e = start.addSecs(600).toIso().toUtf8();
        sqlite3_bind_text(stmt, 1, client.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, b.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, e.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(h);
}

// The floor: text made from the row number, no storage behind it.
class BareModel : public QAbstractTableModel {
public:
    explicit BareModel(int rows) : rows_(rows) {}
    int rowCount(const QModelIndex&) const override { return rows_; }
    int columnCount(const QModelIndex&) const override { return 7; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole) return {};
        return QStringLiteral("%1/%2").arg(index.row()).arg(index.column());
    }

private:
    int rows_;
};

// Shows the view, jumps to the end, then pages up 200 times; returns the
// milliseconds of each part.
struct Figures {
    double show = 0;
    double end = 0;
    double pages = 0;
};

Figures drive(QTableView& view, const std::function<void()>& bind) {
    Figures f;
    QElapsedTimer t;
    t.start();
    bind();
    view.resize(800, 600);
    view.show();
    QApplication::processEvents();
    view.repaint();
    f.show = t.nsecsElapsed() / 1e6;
    view.setFocus();
    t.restart();
    QKeyEvent endKey(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&view, &endKey);
    view.repaint();
    f.end = t.nsecsElapsed() / 1e6;
    t.restart();
    for (int i = 0; i < 200; ++i) {
        QKeyEvent up(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
        QApplication::sendEvent(&view, &up);
        view.repaint();
    }
    f.pages = t.nsecsElapsed() / 1e6;
    view.hide();
    return f;
}

void runSize(int count) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    fill(path, count);

    db::Connection connection;
    connection.setConnectionString(QStringLiteral("Data Source=") + path);
    connection.open();
    db::TableDataset table(
        connection, QStringLiteral("activites"),
        {QStringLiteral("USER"), QStringLiteral("SURVEILLANCES"), QStringLiteral("CLIENTS"),
         QStringLiteral("DEBUT"), QStringLiteral("FIN"), QStringLiteral("DUREE"),
         QStringLiteral("COMMENTAIRE")});
    TDataSource source;
    TDBGrid grid;
    const Figures g = drive(grid, [&] {
        table.open();
        source.setDataSet(&table);
        grid.setDataSource(&source);
    });

    QTableView bare;
    BareModel model(count);
    bare.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    const Figures b = drive(bare, [&] { bare.setModel(&model); });

    std::printf(
        "%8d rows  open+show %8.1f ms (floor %6.1f)  to last %6.1f ms (floor %6.1f)  "
        "200 pages %7.1f ms (floor %6.1f)\n",
        count, g.show, b.show, g.end, b.end, g.pages, b.pages);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes = {100000, 1000000};
    if (argc > 1) sizes = {QByteArray(argv[1]).toInt()};
    for (const int n : sizes) runSize(n);
    return 0;
}
