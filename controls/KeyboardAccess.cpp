#include "controls/KeyboardAccess.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QShortcut>
#include <QTextEdit>

#include "platform/Announce.h"

namespace tavix {

namespace {

void describe(QComboBox* box, const QString& text) {
    if (box->accessibleDescription() == text) return;
    box->setAccessibleDescription(text);
    QAccessibleEvent changed(box, QAccessible::DescriptionChanged);
    tellAccessibility(&changed, true);
}

// A value set with its signals blocked is caught up when the list gets the
// focus, before a screen reader reads it.
class ValueOnFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn)
            if (auto* box = qobject_cast<QComboBox*>(watched)) describe(box, box->currentText());
        return false;
    }
};

}  // namespace

void tellCurrentValue(QComboBox* box) {
    if (!box || box->property("tavixTellsValue").toBool()) return;
    box->setProperty("tavixTellsValue", true);
    describe(box, box->currentText());
    QObject::connect(box, &QComboBox::currentTextChanged, box,
                     [box](const QString& text) { describe(box, text); });
    box->installEventFilter(new ValueOnFocus(box));
}

void tellCurrentValues(QWidget* root) {
    if (!root) return;
    for (QComboBox* box : root->findChildren<QComboBox*>()) tellCurrentValue(box);
}

namespace {

class WindowShortcuts : public QObject {
public:
    explicit WindowShortcuts(QWidget* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->window() != window_ || !takesText(widget)) return false;
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        if (!windowHas(pressed)) return false;
        event->ignore();  // not the text box's: the shortcut runs
        return true;
    }

private:
    static bool takesText(const QWidget* w) {
        return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
               qobject_cast<const QComboBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
               qobject_cast<const QPlainTextEdit*>(w);
    }
    bool windowHas(const QKeySequence& pressed) const {
        for (const QShortcut* s : window_->findChildren<QShortcut*>())
            if (s->isEnabled() && s->keys().contains(pressed)) return true;
        for (const QAction* a : window_->findChildren<QAction*>())
            if (a->isEnabled() && a->shortcuts().contains(pressed)) return true;
        return false;
    }

    QWidget* window_;
};

class FocusReturn : public QObject {
public:
    explicit FocusReturn(QDialog* dialog) : QObject(dialog), dialog_(dialog) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != dialog_) return false;
        if (event->type() == QEvent::Show) {
            QWidget* active = QApplication::activeWindow();
            if (!active || active == dialog_) active = dialog_->parentWidget();
            opener_ = active ? active->window() : nullptr;
        } else if (event->type() == QEvent::Hide && opener_ && opener_->isVisible()) {
            opener_->activateWindow();
            opener_->raise();
        }
        return false;
    }

private:
    QDialog* dialog_;
    QPointer<QWidget> opener_;
};

}  // namespace

void keepWindowShortcuts(QWidget* window) {
    if (!window) return;
    qApp->installEventFilter(new WindowShortcuts(window));
}

void returnFocusOnClose(QDialog* dialog) {
    if (!dialog) return;
    dialog->installEventFilter(new FocusReturn(dialog));
}

}  // namespace tavix
