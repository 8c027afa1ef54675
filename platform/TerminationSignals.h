#pragma once

#include <QObject>

class QSocketNotifier;

namespace tavix {

// Turns the requests to end the process (SIGTERM at logout or shutdown,
// SIGHUP when the terminal goes, SIGINT) into a Qt signal delivered by the
// event loop, so that the program ends the ordinary way, its state written.
// One at a time; the earlier handlers are put back when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tavix
