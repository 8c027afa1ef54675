#pragma once

// What a screen reader would hear: every accessibility event the program
// tells while the recorder lives, with the text of its object at that
// moment. The offscreen platform has no bridge, so the toolkit drops its
// own events: what is heard is what passes through tellAccessibility().

#include <QAccessible>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "platform/Announce.h"

namespace tavix::test {

class AccessibleEvents {
public:
    struct Event {
        QAccessible::Event type;
        QPointer<QObject> object;
        QAccessible::Role role;
        QString name;
        QString description;
        QString value;  // the value changed to, or the text inserted
    };

    AccessibleEvents() {
        current() = this;
        setAccessibilityListener(&AccessibleEvents::handle);
    }
    ~AccessibleEvents() {
        setAccessibilityListener(nullptr);
        current() = nullptr;
    }
    AccessibleEvents(const AccessibleEvents&) = delete;
    AccessibleEvents& operator=(const AccessibleEvents&) = delete;

    QList<Event> events;

    // The names of the notifications shown: what was announced.
    QStringList announcements() const {
        QStringList said;
        for (const Event& e : events)
            if (e.type == QAccessible::ObjectShow && e.role == QAccessible::Notification)
                said << e.name;
        return said;
    }
    int count(QAccessible::Event type, const QObject* object = nullptr) const {
        int n = 0;
        for (const Event& e : events)
            if (e.type == type && (!object || e.object == object)) ++n;
        return n;
    }
    void clear() { events.clear(); }

private:
    static AccessibleEvents*& current() {
        static AccessibleEvents* recorder = nullptr;
        return recorder;
    }
    static void handle(QAccessibleEvent* event) {
        AccessibleEvents* self = current();
        if (!self) return;
        Event e{event->type(), event->object(), QAccessible::NoRole, {}, {}, {}};
        if (QAccessibleInterface* i = event->accessibleInterface()) {
            e.role = i->role();
            e.name = i->text(QAccessible::Name);
            e.description = i->text(QAccessible::Description);
        }
        if (event->type() == QAccessible::ValueChanged)
            e.value = static_cast<QAccessibleValueChangeEvent*>(event)->value().toString();
        else if (event->type() == QAccessible::TextInserted)
            e.value = static_cast<QAccessibleTextInsertEvent*>(event)->textInserted();
        self->events.append(e);
    }
};

}  // namespace tavix::test
