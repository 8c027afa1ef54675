#pragma once

#include <QObject>
#include <QString>

class QAction;
class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace tavix {

class TForm1;

// The running timing in the desktop's tray: the normal icon while idle, the
// running one during a timing, a tooltip naming the activity, the client
// and the stopwatch; a click brings the window; the menu starts and stops
// the activities as their buttons do. Where the desktop has no tray nothing
// is shown and nothing is said; the icon appears if a tray comes later.
class TrayIndicator : public QObject {
    Q_OBJECT
public:
    // Follows the window's timing.
    explicit TrayIndicator(TForm1& form);
    ~TrayIndicator() override;

    // "Réunion — Boulangerie Caron — 00:42:10" while timing (no client part
    // while none is known), the application's title otherwise.
    QString toolTip() const;
    // The icon resource shown: "ZORVA_ON" while timing, "MAINICON" otherwise.
    QString iconName() const;
    QMenu* menu() const { return menu_; }
    // The tray icon; nullptr while the desktop has no tray.
    QSystemTrayIcon* trayIcon() const { return tray_; }

    // Brings the tracking window in sight, in front.
    void showWindow();
    // Tooltip, icon and menu made to match the window.
    void refresh();

private:
    void fillMenu();
    static QIcon icon(const QString& name);

    TForm1& form_;
    QMenu* menu_;
    QAction* show_;
    QAction* quit_;
    QSystemTrayIcon* tray_ = nullptr;
    QString shownIcon_;
    int ticksSinceLookingForTray_ = 0;
};

}  // namespace tavix
