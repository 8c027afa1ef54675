#include "platform/Application.h"

#include <QHash>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/Services.h"

namespace tavix {

namespace {

// Texts of the file dialog's type column that the toolkit's French
// translation lacks (its catalogue still files them under an older name).
class FileTypeTexts : public QTranslator {
public:
    using QTranslator::QTranslator;
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0 || !sourceText) return {};
        static const struct {
            const char* english;
            const char* french;
        } texts[] = {{"Folder", "Dossier"},     {"File Folder", "Dossier de fichiers"},
                     {"Drive", "Lecteur"},      {"File", "Fichier"},
                     {"%1 File", "Fichier %1"}, {"Unknown", "Inconnu"},
                     {"Alias", "Alias"},        {"Shortcut", "Raccourci"}};
        for (const auto& t : texts)
            if (qstrcmp(sourceText, t.english) == 0) return QString::fromUtf8(t.french);
        return {};
    }
};

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setOrganizationName(QStringLiteral("MOLVERAN"));
    setApplicationName(QStringLiteral("TAVIX"));
    // Lets the desktop match the windows to the installed tavix.desktop.
    setDesktopFileName(QStringLiteral("tavix"));
    // The interface is French whatever the user's locale, the toolkit's own
    // dialogs (file, colour) and the date pickers' calendar included: their
    // month and day names come from the default locale, their texts from the
    // translation.
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    auto* toolkit = new QTranslator(this);
    if (toolkit->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(toolkit);
    else
        delete toolkit;
    installTranslator(new FileTypeTexts(this));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportException(std::current_exception());
        return false;
    }
}

namespace application {

namespace {
QString gTitle;
HelpHook gHelpHook;
QString gIconName;
bool gTerminated = false;
}  // namespace

QString title() { return gTitle; }
void setTitle(const QString& title) { gTitle = title; }

void setHelpHook(HelpHook hook) { gHelpHook = std::move(hook); }

bool help(quint16 command, qint32 data) {
    if (!gHelpHook) return false;
    bool callHelp = true;
    return gHelpHook(command, data, callHelp);
}

void setIcon(const QString& resourceName) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        gIconName = resourceName;
        return;
    }
    // Made once per name: an icon made anew at every blink is a new key to
    // every pixmap cache its pictures pass through, and they pile up there.
    static QHash<QString, QIcon> icons;
    auto found = icons.find(resourceName);
    if (found == icons.end())
        found =
            icons.insert(resourceName, QIcon(QStringLiteral(":/icons/%1.png").arg(resourceName)));
    if (gIconName == resourceName && QGuiApplication::windowIcon().cacheKey() == found->cacheKey())
        return;
    gIconName = resourceName;
    QGuiApplication::setWindowIcon(*found);
}

QString iconName() { return gIconName; }

void terminate() {
    gTerminated = true;
    // Ends every running loop now; a loop not started yet ends as soon as it
    // runs.
    QCoreApplication::exit(0);
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

bool terminated() { return gTerminated; }

void beginSession() { gTerminated = false; }

}  // namespace application
}  // namespace tavix
