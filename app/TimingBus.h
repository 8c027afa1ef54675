#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace tavix {

class TForm1;
struct LogEntry;

// The running timing on the session bus (interface fr.molveran.Tavix.Timing,
// described in share/dbus-1/interfaces; its adaptor is generated from that
// file). Whatever changes the timing is refused, as the window's own
// buttons are, behind a login and while a question of the window waits.
class TimingBus : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static const QString kService;  // fr.molveran.Tavix
    static const QString kPath;     // /fr/molveran/Tavix
    static const QString kInterface;

    explicit TimingBus(TForm1& form);

    // Puts the object and its name on `bus`; false (with a warning) when the
    // name is taken.
    bool publish(QDBusConnection bus);

    // The status as the bus gives it.
    QVariantMap status() const;

    // org.freedesktop.Application, as the desktop reaches the program by
    // its name: the window brought forward, or one of the desktop entry's
    // actions ("stop", "show").
    void activate(const QVariantMap& platformData);
    void activateAction(const QString& name, const QVariantMap& platformData);

public slots:
    void Start(const QString& activity, const QString& client, const QString& comment);
    void Stop(const QString& comment);
    QVariantMap Status();
    QVariantMap StatusWithCode(const QString& user, const QString& code);
    QStringList Activities();
    QStringList Clients();

signals:
    void Changed(const QVariantMap& status);
    void Started(const QVariantMap& status);
    void Stopped(const QVariantMap& entry);

private:
    // False (the error replied) when nothing may change now; `codeGiven`
    // lets what only reads through a login.
    bool mayAct(bool changes, bool codeGiven = false);
    void refuse(const char* error, const QString& message);

    TForm1& form_;
};

}  // namespace tavix
