// What an earlier run left running: offered at the start, stored as it
// was last seen.

#include <QString>

#include "app/Unit1.h"
#include "data/Unit2.h"
#include "platform/Application.h"
#include "platform/Error.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "reference/Unit11.h"

namespace tavix {

void TForm1::RecoverPendingTimings() {
    const auto moment = [](const DateTime& value) {
        return regional::dateToText(value.date()) + u' ' + regional::timeToText(value.time());
    };
    const PendingTiming::Leftovers found =
        PendingTiming(Timing->pendingPath()).collect(DataModule2->DatabasePath);
    for (const QString& report : found.reports) messageBoxes().inform(report);
    const PendingTiming::Log log = entryLog();
    for (const PendingTiming::Leftover& leftover : found.timings) {
        if (application::terminated()) return;
        const TimingState& timing = leftover.state;
        // Cut off while being stored, and stored: nothing left to do. A log
        // that cannot be read has the timing offered; the insert tells why.
        bool stored = false;
        try {
            stored = PendingTiming::stored(timing, log);
        } catch (const Error&) {
        }
        if (stored) {
            PendingTiming::forget(leftover);
            continue;
        }
        // A wall clock set back or forward meanwhile never gives an end
        // before the start, nor one its duration does not reach.
        const DateTime seenEnd =
            consistentEnd(timing.start, qint64(timing.elapsedSeconds) * 1000, timing.lastSeen);
        const DateTime end = timing.stopping ? timing.stopping->entry.end : seenEnd;
        const QString question =
            QStringLiteral(
                "Une surveillance n'a pas été enregistrée : %1, du %2 au %3.\n"
                "Voulez-vous l'enregistrer ?")
                .arg(timing.activity.isEmpty() ? QStringLiteral("(sans nom)") : timing.activity,
                     moment(timing.start), moment(end));
        const bool yes = messageBoxes().confirm(question);
        // A question left unanswered as the program ends drops nothing.
        if (application::terminated()) return;
        if (!yes) {
            PendingTiming::forget(leftover);
            continue;
        }
        // A refused insert or a chooser closed without a client keeps the
        // file for the next start.
        runGuarded([&] {
            bool added = false;
            LogEntry entry;
            if (timing.stopping) {
                entry = timing.stopping->entry;
            } else {
                entry = {logUser(), timing.client,         timing.activity, timing.start,
                         seenEnd,   timing.elapsedSeconds, timing.comment};
                if (entry.client.isEmpty()) {
                    TForm11 chooser(this);
                    modalRunner().exec(chooser);
                    entry.client = chooser.ChosenClient;
                    added = chooser.ClientAdded;
                }
                if (entry.client.isEmpty()) return;
            }
            PendingTiming::store(leftover.file, timing, entry, log);
            if (added) relance();
        });
    }
}

}  // namespace tavix
