#include "platform/HelpWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeySequence>
#include <QPointer>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

namespace tavix {

bool showHelpWindow(const QString& path) {
    const QFileInfo page(path);
    if (!page.isFile() || !page.isReadable()) return false;
    static QPointer<QWidget> window;  // one help window, shown again
    if (!window) {
        window = new QWidget(nullptr, Qt::Window);
        window->setObjectName(QStringLiteral("HelpWindow"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QStringLiteral("Aide de Tavix"));
        window->resize(720, 560);
        auto* browser = new QTextBrowser(window);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setAccessibleName(QStringLiteral("Aide"));
        browser->setOpenExternalLinks(false);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), window);
        QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
        // Nothing outlives the application object.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, window, &QObject::deleteLater);
    }
    auto* browser = window->findChild<QTextBrowser*>();
    browser->setSearchPaths({page.absolutePath()});
    browser->setSource(QUrl::fromLocalFile(page.absoluteFilePath()));
    window->show();
    window->raise();
    window->activateWindow();
    browser->setFocus();
    return true;
}

}  // namespace tavix
