// Time from process start to the first paint of the tracking window on a
// database holding 1,000,000 log entries, beside two floors: a window of the
// same widget classes and tree with no database or settings, and a bare Qt
// window. Each figure is one whole process started from here, so program
// loading counts for all alike. The settings are written before the runs,
// never by the process timed.
//
// Run as is (offscreen when there is no display) or under xvfb-run.

#include <sqlite3.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "app/ScrollColumn.h"
#include "app/Unit1.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "data/engine/Connection.h"
#include "data/engine/Schema.h"
#include "platform/Application.h"
#include "resources/Resources.h"
#include "settings/outils.h"

namespace {

constexpr int kEntries = 1000000;
constexpr int kRuns = 5;

bool fill(const QString& path, int entries) {
    tavix::db::Connection::createDatabase(path, tavix::db::defaultSchema());
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) return false;
    sqlite3_exec(db,
                 "INSERT INTO clients (NOM) VALUES ('Dupont'), ('Martin'), ('Durand SA');"
                 "INSERT INTO travaux (TRAVAUX, ORDRE) VALUES ('Saisie', 1), ('Appel', 2), "
                 "('Relecture', 3), ('Réunion', 4);"
                 "BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO activites (\"USER\", SURVEILLANCES, CLIENTS, DEBUT, FIN, "
                       "DUREE, COMMENTAIRE) VALUES ('', ?, ?, ?, ?, ?, ?)",
                       -1, &stmt, nullptr);
    const char* activities[] = {"Saisie", "Appel", "Relecture", "Réunion"};
    const char* clients[] = {"Dupont", "Martin", "Durand SA"};
    const tavix::DateTime origin(QDate(2001, 1, 1), QTime(8, 0));
    for (int i = 0; i < entries; ++i) {
        const tavix::DateTime begin = origin.addSecs(static_cast<qint64>(i) * 900);
        const QByteArray b = begin.toIso().toUtf8();
        const QByteArray e = begin.addSecs(600 + i % 300).toIso().toUtf8();
        sqlite3_bind_text(stmt, 1, activities[i % 4], -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, clients[i % 3], -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 3, b.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 4, e.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 5, 600 + i % 300);
        sqlite3_bind_text(stmt, 6, i % 5 ? "" : "Appel du client au sujet de la facture", -1,
                          SQLITE_STATIC);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Says "painted" once the window's first paint has been handled whole
// (children included); a bare window then ends the program.
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget* window, bool thenExit) : thenExit_(thenExit) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, [exit = thenExit_] {
                std::printf("painted\n");
                std::fflush(stdout);
                if (exit) QCoreApplication::exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool thenExit_;
    bool seen_ = false;
};

// A bare window; with text, one label, so that it loads the fonts as any
// window showing text does.
int runBare(int argc, char** argv, bool withText) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Fenêtre nue"));
    if (withText) window.setCentralWidget(new QLabel(QStringLiteral("Surveillance tâches")));
    window.setGeometry(256, 124, 757, 661);
    FirstPaint watch(&window, true);
    window.show();
    return app.exec();
}

QLabel* redLabel(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    QPalette red = l->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    l->setPalette(red);
    l->move(x, y);
    return l;
}

// The floor of the tracking window: the same widget classes in the same
// tree, the same pictures and texts, no database and no settings.
int runWidgets(int argc, char** argv) {
    tavix::Application app(argc, argv);
    tavix::initResources();
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Surveillance tâches"));
    auto* central = new QWidget(&window);
    central->setAutoFillBackground(true);
    QFont bold = central->font();
    bold.setBold(true);
    bold.setPixelSize(16);
    central->setFont(bold);
    auto* panel2 = new QWidget(central);
    auto* panel1 = new QWidget(central);
    panel1->setFixedWidth(236);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(panel2, 1);
    row->addWidget(panel1);
    window.setCentralWidget(central);
    auto* shape = new QFrame(panel1);
    shape->setAutoFillBackground(true);
    shape->setGeometry(0, 0, 236, 70);
    redLabel(panel1, QString(), 16, 8);
    redLabel(panel1, QString(), 16, 32);
    auto* clients = new tavix::TRadioGroup(QStringLiteral("Clients / dossiers"), panel1);
    for (const char* name : {"Dupont", "Durand SA", "Martin"})
        clients->addItem(QString::fromUtf8(name));
    clients->setGeometry(0, 70, 236, 500);
    auto* image1 = new QLabel(panel2);
    image1->setPixmap(QPixmap::fromImage(tavix::backgroundImage()));
    image1->setScaledContents(true);
    image1->setGeometry(0, 0, 521, 640);
    image1->lower();
    auto* image2 = new QLabel(panel2);
    image2->setPixmap(QPixmap(QStringLiteral(":/pictures/logo.png")));
    image2->setScaledContents(true);
    image2->setGeometry(8, 8, 81, 113);
    redLabel(panel2, QStringLiteral("Jeudi"), 240, 8);
    redLabel(panel2, QStringLiteral("10/12/2026"), 336, 9);
    redLabel(panel2, QStringLiteral("Chronomètre:"), 96, 40);
    redLabel(panel2, QStringLiteral("12:00:00"), 240, 40);
    redLabel(panel2, QStringLiteral("00:00:00"), 336, 41);
    auto* column = new tavix::ScrollColumn(panel2, 90);
    auto* edit = new QTextEdit(column->content());
    edit->hide();
    const char* activities[] = {"Saisie", "Appel", "Relecture", "Réunion", "&Commenter"};
    int y = 8;
    for (const char* caption : activities) {
        auto* b = new tavix::TColorButton(column->content());
        b->setText(QString::fromUtf8(caption));
        b->setGeometry(8, y, 129, 40);
        y += 48;
    }
    column->refresh();
    QMenuBar* menu = window.menuBar();
    menu->addAction(QStringLiteral("&Quitter"));
    QMenu* lists = menu->addMenu(QStringLiteral("&Rajouter/modifier/supprimer"));
    lists->addAction(QStringLiteral("une &surveillance"));
    lists->addAction(QStringLiteral("un &client"));
    menu->addAction(QStringLiteral("&Extraction"));
    menu->addMenu(QStringLiteral("&Avancés"))->addAction(QStringLiteral("Paramètres"));
    menu->addMenu(QStringLiteral("&Aide"))->addAction(QStringLiteral("&Voir l'aide"));
    window.setGeometry(256, 124, 757, 661);
    FirstPaint watch(&window, true);
    window.show();
    return app.exec();
}

int runTavix(int argc, char** argv) {
    tavix::Application app(argc, argv);
    tavix::initResources();
    tavix::application::setTitle(QStringLiteral("Tavix - surveillance de tâches"));
    tavix::TDataModule2 dataModule;
    tavix::TForm1 form;
    FirstPaint watch(&form, false);
    // Ready: the first showing has filled the clients and made the buttons,
    // and the window shows them.
    QObject::connect(&form, &tavix::TForm1::firstShown, &form, [&form] {
        form.repaint();
        std::printf("ready\n");
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    form.show();
    if (tavix::application::terminated()) return 1;
    return app.exec();
}

struct Times {
    double painted = -1;  // ms from starting the child to its first paint
    double ready = -1;    // ... to its window ready for use
};

Times timeChild(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    Times times;
    QByteArray output;
    while (times.ready < 0 && child.waitForReadyRead(60000)) {
        output += child.readAll();
        const double now = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        // The first showing may run as soon as the window is exposed, before
        // its first paint: its repaint is then the first paint.
        if (times.painted < 0 && (output.contains("painted") || output.contains("ready")))
            times.painted = now;
        if (output.contains("ready") ||
            (arguments.first() != QLatin1String("--tavix") && times.painted >= 0))
            times.ready = now;
    }
    if (!child.waitForFinished(60000)) child.kill();
    child.waitForFinished();
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && qstrcmp(argv[1], "--bare") == 0) return runBare(argc, argv, false);
    if (argc >= 2 && qstrcmp(argv[1], "--bare-text") == 0) return runBare(argc, argv, true);
    if (argc >= 2 && qstrcmp(argv[1], "--tavix") == 0) return runTavix(argc, argv);
    if (argc >= 2 && qstrcmp(argv[1], "--widgets") == 0) return runWidgets(argc, argv);

    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid()) return 2;
    const QString database = dir.filePath(QStringLiteral("bench.mdb"));
    std::printf("filling %d log entries...\n", kEntries);
    std::fflush(stdout);
    if (!fill(database, kEntries)) return 2;
    const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
    if (!fill(empty, 0)) return 2;

    // Children get a home of their own: settings, data, nothing shared.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    if (!environment.contains(QStringLiteral("DISPLAY")) &&
        !environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    // Each tracking window finds its database in settings written here, in
    // a configuration folder of its own.
    auto withDatabase = [&](const QString& name, const QString& file) {
        QProcessEnvironment e = environment;
        const QString config = dir.filePath(name);
        e.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        QSettings settings(config + QStringLiteral("/MOLVERAN/TAVIX.conf"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("sgbd"), file);
        settings.sync();
        return e;
    };

    // Taken in turns, best of each, so a busy machine weighs on all alike.
    const struct {
        const char* label;
        QStringList arguments;
        QProcessEnvironment environment;
    } kinds[] = {
        {"tracking window, 1,000,000 log entries",
         {QStringLiteral("--tavix")},
         withDatabase(QStringLiteral("config-full"), database)},
        {"tracking window, empty log            ",
         {QStringLiteral("--tavix")},
         withDatabase(QStringLiteral("config-empty"), empty)},
        {"same widgets, no database or settings ", {QStringLiteral("--widgets")}, environment},
        {"bare Qt window                        ", {QStringLiteral("--bare")}, environment},
        {"bare Qt window with one text label    ", {QStringLiteral("--bare-text")}, environment},
    };
    Times best[std::size(kinds)];
    for (auto& b : best) b = {1e12, 1e12};
    for (int run = 0; run < kRuns; ++run) {
        for (size_t k = 0; k < std::size(kinds); ++k) {
            const Times took = timeChild(kinds[k].arguments, kinds[k].environment);
            if (took.painted < 0 || took.ready < 0) {
                std::fprintf(stderr, "%s: not painted\n", kinds[k].label);
                return 1;
            }
            best[k].painted = std::min(best[k].painted, took.painted);
            best[k].ready = std::min(best[k].ready, took.ready);
        }
    }
    std::printf("process start to first paint / to the window ready, best of %d runs\n", kRuns);
    for (size_t k = 0; k < std::size(kinds); ++k)
        std::printf("  %s %8.1f ms %8.1f ms\n", kinds[k].label, best[k].painted, best[k].ready);
    std::printf("  ready with 1,000,000 entries / same widgets (floor):   %.2f\n",
                best[0].ready / best[2].ready);
    std::printf("  ready with 1,000,000 entries / bare window:            %.2f (goal: 1.50)\n",
                best[0].ready / best[3].ready);
    std::printf("  ready with 1,000,000 entries / bare window with text:  %.2f\n",
                best[0].ready / best[4].ready);
    std::printf("  ready with 1,000,000 entries / with an empty log:      %.2f\n",
                best[0].ready / best[1].ready);
    return 0;
}
