#include "app/TrayIndicator.h"

#include <QAction>
#include <QApplication>
#include <QHash>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTimer>

#include "app/Unit1.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Application.h"
#include "platform/Services.h"
#include "settings/outils.h"

namespace tavix {

namespace {

// A tray that comes after the program (a panel started later) is looked
// for this often, in ticks.
constexpr int kLookForTrayTicks = 10;

QIcon iconResource(const QString& name) {
    return QIcon(QStringLiteral(":/icons/%1.png").arg(name));
}

}  // namespace

TrayIndicator::TrayIndicator(TForm1& form) : QObject(&form), form_(form) {
    menu_ = new QMenu(&form);
    menu_->setObjectName(QStringLiteral("TrayMenu"));
    menu_->setAccessibleName(QStringLiteral("Tavix"));
    show_ = new QAction(QStringLiteral("Afficher"), this);
    show_->setObjectName(QStringLiteral("TrayShow"));
    quit_ = new QAction(QStringLiteral("&Quitter"), this);
    quit_->setObjectName(QStringLiteral("TrayQuit"));
    connect(show_, &QAction::triggered, this, guarded([this] { showWindow(); }));
    // While a modal window is open the window's own commands wait for it:
    // so do the tray's.
    connect(quit_, &QAction::triggered, this, guarded([this] {
                if (QApplication::activeModalWidget() || !form_.acceptsActions())
                    showWindow();
                else
                    form_.Quitter1Click();
            }));
    connect(menu_, &QMenu::aboutToShow, this, guarded([this] { fillMenu(); }));
    // The timing tells each change; the menu follows them, also for trays
    // that never announce they are about to show it.
    const auto follow = guarded([this] {
        fillMenu();
        refresh();
    });
    connect(form.Timing, &TimingSession::started, this, follow);
    connect(form.Timing, &TimingSession::stopped, this, follow);
    connect(form.Timing, &TimingSession::changed, this, guarded([this] { refresh(); }));
    connect(form.Timing, &TimingSession::ticked, this, guarded([this] { refresh(); }));
    fillMenu();
    ticksSinceLookingForTray_ = kLookForTrayTicks;
    refresh();
}

TrayIndicator::~TrayIndicator() = default;

QString TrayIndicator::toolTip() const {
    const TimingSession& timing = *form_.Timing;
    if (!timing.running()) return application::title();
    QStringList parts = {timing.activity()};
    const QString client = timing.client();
    if (!client.isEmpty()) parts.append(client);
    parts.append(SecondsToHMS(timing.elapsedSeconds()));
    return parts.join(QStringLiteral(" — "));
}

QString TrayIndicator::iconName() const {
    return form_.Timing->running() ? QStringLiteral("ZORVA_ON") : QStringLiteral("MAINICON");
}

// Made once each: an icon made anew is a new key to every pixmap cache.
QIcon TrayIndicator::icon(const QString& name) {
    static QHash<QString, QIcon> icons;
    auto found = icons.find(name);
    if (found == icons.end()) found = icons.insert(name, iconResource(name));
    return *found;
}

void TrayIndicator::showWindow() {
    // Restoring keeps the window's own buttons: with "Ne jamais réduire…"
    // it still has none.
    if (form_.isMinimized()) form_.setWindowState(form_.windowState() & ~Qt::WindowMinimized);
    form_.show();
    form_.raise();
    form_.activateWindow();
}

void TrayIndicator::refresh() {
    if (!tray_ && ++ticksSinceLookingForTray_ >= kLookForTrayTicks) {
        ticksSinceLookingForTray_ = 0;
        if (QSystemTrayIcon::isSystemTrayAvailable()) {
            tray_ = new QSystemTrayIcon(this);
            tray_->setObjectName(QStringLiteral("TrayIcon"));
            tray_->setContextMenu(menu_);
            connect(tray_, &QSystemTrayIcon::activated, this,
                    guarded([this](QSystemTrayIcon::ActivationReason reason) {
                        if (reason == QSystemTrayIcon::Trigger ||
                            reason == QSystemTrayIcon::DoubleClick)
                            showWindow();
                    }));
        }
    }
    if (!tray_) return;
    const QString name = iconName();
    if (name != shownIcon_) {
        tray_->setIcon(icon(name));
        shownIcon_ = name;
    }
    const QString tip = toolTip();
    if (tray_->toolTip() != tip) tray_->setToolTip(tip);
    if (!tray_->isVisible()) tray_->show();
}

// One item per activity, checked while timed and enabled as its button is;
// each stops or starts as a click on its button does.
void TrayIndicator::fillMenu() {
    // Later: the item being triggered may be among them.
    for (QAction* action : menu_->actions()) {
        menu_->removeAction(action);
        if (action != show_ && action != quit_) action->deleteLater();
    }
    if (DataModule2) {
        for (const auto& entry : DataModule2->ActivityButtons) {
            QPointer<TColorButton> button = entry;
            if (!button) continue;
            auto* action = new QAction(button->text(), menu_);
            action->setObjectName(QStringLiteral("Tray") + button->objectName());
            action->setCheckable(true);
            action->setChecked(button->Tag() != 0);
            action->setEnabled(button->isEnabled() && !QApplication::activeModalWidget());
            connect(action, &QAction::triggered, this, guarded([this, button] {
                        if (!button || QApplication::activeModalWidget() || !form_.acceptsActions())
                            return;
                        // A stop needs the buttons in sight, as a click would.
                        if (button->Tag() != 0 && !form_.RichEdit->isHidden())
                            form_.CommenterClick();
                        form_.ButtonClick(button);
                        refresh();
                    }));
            menu_->addAction(action);
        }
        if (!menu_->isEmpty()) {
            auto* separator = new QAction(menu_);
            separator->setSeparator(true);
            menu_->addAction(separator);
        }
    }
    menu_->addAction(show_);
    menu_->addAction(quit_);
}

}  // namespace tavix
