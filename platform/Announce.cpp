#include "platform/Announce.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace tavix {

namespace {

const QString kName = QStringLiteral("Announcement");
AccessibilityListener gListener = nullptr;

// Tells the bus the notification's role; its name is the sentence.
QAccessibleInterface* notificationFactory(const QString& key, QObject* object) {
    if (key != QLatin1String("QWidget") || !object || object->objectName() != kName) return nullptr;
    auto* widget = qobject_cast<QWidget*>(object);
    return widget ? new QAccessibleWidget(widget, QAccessible::Notification) : nullptr;
}

}  // namespace

void setAccessibilityListener(AccessibilityListener listener) { gListener = listener; }

void tellAccessibility(QAccessibleEvent* event, bool toolkitTells) {
    if (gListener) gListener(event);
    if (!toolkitTells) QAccessible::updateAccessibility(event);
}

QWidget* announcementOf(QWidget* window) {
    return window ? window->findChild<QWidget*>(kName, Qt::FindDirectChildrenOnly) : nullptr;
}

void announce(QWidget* near, const QString& text) {
    if (!near || text.isEmpty()) return;
    QWidget* window = near->window();
    QWidget* note = announcementOf(window);
    if (!note) {
        static const bool installed = [] {
            QAccessible::installFactory(notificationFactory);
            return true;
        }();
        Q_UNUSED(installed);
        note = new QWidget(window);
        note->setObjectName(kName);
        // One pixel in the corner, drawn by nobody, never in the mouse's way.
        note->setGeometry(0, 0, 1, 1);
        note->setAttribute(Qt::WA_TransparentForMouseEvents);
        note->setFocusPolicy(Qt::NoFocus);
    }
    note->setAccessibleName(text);
    QAccessibleEvent named(note, QAccessible::NameChanged);
    tellAccessibility(&named, true);
    note->hide();
    if (!window->isVisible()) return;
    note->show();
    QAccessibleEvent shown(note, QAccessible::ObjectShow);
    tellAccessibility(&shown, true);
    QAccessibleEvent alert(note, QAccessible::Alert);
    tellAccessibility(&alert);
}

}  // namespace tavix
