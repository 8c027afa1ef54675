#pragma once

#include <QObject>
#include <QString>

namespace tavix {

// The machine going to sleep and waking: a seam tests replace
// (setSleepSource; nullptr puts logind's back).
class SleepSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void sleeping();  // about to sleep
    void resumed();   // awake again
};

// logind's org.freedesktop.login1.Manager.PrepareForSleep signal.
class LogindSleepSource : public SleepSource {
    Q_OBJECT
public:
    // busName: a QDBusConnection's name; empty for the system bus.
    explicit LogindSleepSource(const QString& busName = {}, QObject* parent = nullptr);
    // Whether the signal could be subscribed to.
    bool listening() const { return listening_; }

private slots:
    void prepareForSleep(bool start);

private:
    bool listening_ = false;
};

// The installed source, or logind's, made at the first call and owned by
// the application object.
SleepSource& sleepSource();
void setSleepSource(SleepSource* replacement);

}  // namespace tavix
