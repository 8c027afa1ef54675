// A timing of 30 minutes in the tracking window, its ticks driven faster
// than real time: the heap in use before and after, beside the same number
// of ticks with nothing timed (the floor). Run it under Xvfb for the
// window icon's real path (xvfb-run -a build/bench/bench_soak).

#include <malloc.h>
#include <sqlite3.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "app/AwayWatcher.h"
#include "app/TrayIndicator.h"
#include "app/Unit1.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Application.h"
#include "platform/Idle.h"
#include "platform/Services.h"
#include "resources/Resources.h"
#include "settings/outils.h"

namespace {

constexpr int kTicks = 30 * 60;
constexpr double kLimitKb = 1024;

class DrivenClock : public tavix::Clock {
public:
    tavix::DateTime now() const override { return now_; }
    qint64 monotonicMs() const override { return ms_; }
    qint64 bootMs() const override { return ms_; }
    void advance() {
        now_ = now_.addSecs(1);
        ms_ += 1000;
    }

private:
    tavix::DateTime now_{QDate(2026, 3, 2), QTime(9, 0)};
    qint64 ms_ = 1'000'000;
};

class NoIdle : public tavix::IdleSource {
public:
    std::optional<qint64> idleMs() override { return 0; }
};

double heapKb() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1024.0;
}

double ticks(DrivenClock& clock, tavix::TForm1& form, int count) {
    for (int i = 0; i < count; ++i) {
        clock.advance();
        form.Timer1Timer();
        QCoreApplication::processEvents();
    }
    malloc_trim(0);
    return heapKb();
}

bool makeDatabase(const QString& path) {
    tavix::TDataModule2::CreateDatabase(path);
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) return false;
    const bool ok =
        sqlite3_exec(db,
                     "INSERT INTO clients (NOM) VALUES ('Garage Tremblay');"
                     "INSERT INTO travaux (ID, TRAVAUX, ORDRE) VALUES (1, 'Réunion', 1);",
                     nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
    if (qgetenv("DISPLAY").isEmpty() && qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");

    tavix::Application app(argc, argv);
    tavix::initResources();
    tavix::application::setTitle(QStringLiteral("Tavix - surveillance de tâches"));
    tavix::application::setIcon(QStringLiteral("MAINICON"));
    DrivenClock clock;
    tavix::setClock(&clock);
    NoIdle idle;
    tavix::setIdleSource(&idle);
    const QString database = home.filePath("soak.mdb");
    if (!makeDatabase(database)) return 2;
    tavix::WriteSetting(QStringLiteral("sgbd"), database);

    {
        tavix::TDataModule2 module;
        tavix::TForm1 form;
        new tavix::TrayIndicator(form);
        new tavix::AwayWatcher(form);
        form.show();
        while (!form.firstShowingRan())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        form.Timer1->stop();  // the ticks are driven here

        // Warm caches and first uses (fonts, icons, the state file) alike
        // for both runs.
        tavix::TColorButton* button = form.findChild<tavix::TColorButton*>("BP_1");
        if (!button) return 2;
        form.ButtonClick(button);
        ticks(clock, form, 120);
        form.RadioGroup1->setItemIndex(0);
        form.RadioGroup1Click();
        form.ButtonClick(button);
        ticks(clock, form, 120);

        const double idleStart = heapKb();
        const double idleEnd = ticks(clock, form, kTicks);
        form.ButtonClick(button);
        const double timedStart = ticks(clock, form, 60);
        const double timedEnd = ticks(clock, form, kTicks);

        std::printf("heap in use over %d ticks (30 min), KB\n", kTicks);
        std::printf("  nothing timed (floor): %10.1f -> %10.1f  growth %8.1f\n", idleStart, idleEnd,
                    idleEnd - idleStart);
        std::printf("  timing running:        %10.1f -> %10.1f  growth %8.1f (limit %.0f)\n",
                    timedStart, timedEnd, timedEnd - timedStart, kLimitKb);
        std::printf("  %s\n", timedEnd - timedStart <= kLimitKb ? "flat" : "GROWING");
        tavix::setClock(nullptr);
        tavix::setIdleSource(nullptr);
        return timedEnd - timedStart <= kLimitKb ? 0 : 1;
    }
}
