#pragma once

#include <QApplication>
#include <QString>
#include <functional>

namespace tavix {

// The application object: QApplication whose notify() hands anything an
// event handler throws to the default error handler.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

namespace application {

// Title shown on the taskbar and as the caption of plain messages.
QString title();
void setTitle(const QString& title);

// The help handler: (command, data, callHelp) -> handled. Every help
// request of the program goes through it.
using HelpHook = std::function<bool(quint16 command, qint32 data, bool& callHelp)>;
void setHelpHook(HelpHook hook);
bool help(quint16 command, qint32 data);

// Sets the application icon from a named icon resource ("MAINICON",
// "ZORVA_ON").
void setIcon(const QString& resourceName);
QString iconName();

// Ends the event loop without closing the windows the ordinary way.
void terminate();
bool terminated();
// A new session of the program in the same process (each test is one).
void beginSession();

}  // namespace application
}  // namespace tavix
