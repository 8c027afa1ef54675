#pragma once

// Small stand-ins for the desktop's services, registered on a private
// session bus by the tests themselves (and by the screensaver-standin tool
// for trying the program by hand).

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tavix::test {

// org.freedesktop.ScreenSaver's idle time: the time since the last
// Touch(), or a fixed value after SetIdleTime(); refused with NotSupported
// (as GNOME does) after Refuse().
class ScreenSaverStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    ScreenSaverStandIn() { since_.start(); }

public slots:
    uint GetSessionIdleTime() {
        QMutexLocker lock(&mutex_);
        if (refuse_) {
            sendErrorReply(QDBusError::NotSupported, QStringLiteral("not supported"));
            return 0;
        }
        return fixed_ >= 0 ? uint(fixed_) : uint(since_.elapsed());
    }
    void Touch() {
        QMutexLocker lock(&mutex_);
        fixed_ = -1;
        since_.restart();
    }
    void SetIdleTime(uint ms) {
        QMutexLocker lock(&mutex_);
        fixed_ = ms;
    }
    void Refuse() {
        QMutexLocker lock(&mutex_);
        refuse_ = true;
    }

private:
    QMutex mutex_;
    QElapsedTimer since_;
    qint64 fixed_ = -1;
    bool refuse_ = false;
};

// GNOME's org.gnome.Mutter.IdleMonitor, answering a fixed idle time.
class MutterStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.IdleMonitor")
public:
    explicit MutterStandIn(qulonglong ms) : ms_(ms) {}
public slots:
    qulonglong GetIdletime() { return ms_; }

private:
    qulonglong ms_;
};

// A tray host's org.kde.StatusNotifierWatcher: with it on the bus, the
// toolkit publishes its tray icons as StatusNotifierItems, whose tooltip can
// then be read over the bus.
class TrayWatcherStandIn : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const {
        QMutexLocker lock(&mutex_);
        return items_;
    }
public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        QMutexLocker lock(&mutex_);
        items_.append(service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    mutable QMutex mutex_;
    QStringList items_;
};

}  // namespace tavix::test
