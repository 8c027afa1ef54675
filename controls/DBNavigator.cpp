#include "controls/DBNavigator.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

#include "controls/ReloadOffer.h"
#include "platform/Services.h"

namespace tavix {

namespace {

using Button = TDBNavigator::Button;
using State = db::TableDataset::State;

struct ButtonText {
    const char* name;  // object name
    QString tip;       // tooltip and accessible name
};

const ButtonText& textOf(Button b) {
    static const ButtonText texts[TDBNavigator::kButtonCount] = {
        {"First", QStringLiteral("Premier")},  {"Prior", QStringLiteral("Précédent")},
        {"Next", QStringLiteral("Suivant")},   {"Last", QStringLiteral("Dernier")},
        {"Insert", QStringLiteral("Insérer")}, {"Delete", QStringLiteral("Supprimer")},
        {"Edit", QStringLiteral("Modifier")},  {"Post", QStringLiteral("Enregistrer")},
        {"Cancel", QStringLiteral("Annuler")}, {"Refresh", QStringLiteral("Rafraîchir")},
    };
    return texts[static_cast<int>(b)];
}

// The buttons' pictures, drawn in a 16 by 16 box.
QPixmap glyph(Button b, const QColor& color) {
    QPixmap pix(16, 16);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const auto triangle = [&p](qreal tipX, qreal baseX) {
        QPainterPath path;
        path.moveTo(tipX, 8);
        path.lineTo(baseX, 3);
        path.lineTo(baseX, 13);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (b) {
        case Button::First:
            p.drawRect(QRectF(3, 3, 2, 10));
            triangle(5, 12);
            break;
        case Button::Prior:
            triangle(4, 11);
            break;
        case Button::Next:
            triangle(12, 5);
            break;
        case Button::Last:
            triangle(11, 4);
            p.drawRect(QRectF(11, 3, 2, 10));
            break;
        case Button::Insert:
            p.drawRect(QRectF(7, 3, 2, 10));
            p.drawRect(QRectF(3, 7, 10, 2));
            break;
        case Button::Delete:
            p.drawRect(QRectF(3, 7, 10, 2));
            break;
        case Button::Edit: {
            QPainterPath path;
            path.moveTo(8, 3);
            path.lineTo(13, 12);
            path.lineTo(3, 12);
            path.closeSubpath();
            p.drawPath(path);
            break;
        }
        case Button::Post: {
            QPen pen(color, 2);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(6.5, 12), QPointF(13, 4)}));
            break;
        }
        case Button::Cancel: {
            QPen pen(color, 2);
            p.setPen(pen);
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        }
        case Button::Refresh: {
            QPen pen(color, 2);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, 270 * 16);
            p.setPen(Qt::NoPen);
            p.setBrush(color);
            QPainterPath head;
            head.moveTo(8, 0.5);
            head.lineTo(12, 3);
            head.lineTo(8, 5.5);
            head.closeSubpath();
            p.drawPath(head);
            break;
        }
    }
    return pix;
}

QIcon iconOf(Button b, const QWidget* owner) {
    QIcon icon;
    icon.addPixmap(glyph(b, owner->palette().color(QPalette::Active, QPalette::ButtonText)),
                   QIcon::Normal);
    icon.addPixmap(glyph(b, owner->palette().color(QPalette::Disabled, QPalette::ButtonText)),
                   QIcon::Disabled);
    return icon;
}

}  // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Navigateur"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    for (int i = 0; i < kButtonCount; ++i) {
        const auto which = static_cast<Button>(i);
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(textOf(which).name));
        b->setToolTip(textOf(which).tip);
        b->setAccessibleName(textOf(which).tip);
        b->setIcon(iconOf(which, this));
        b->setIconSize(QSize(16, 16));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setFocusPolicy(Qt::TabFocus);
        b->setAutoRaise(false);
        row->addWidget(b);
        buttons_.append(b);
        connect(b, &QToolButton::clicked, this, guarded([this, which] { btnClick(which); }));
    }
    updateButtons();
}

TDBNavigator::~TDBNavigator() = default;

QAbstractButton* TDBNavigator::button(Button which) const {
    return buttons_.value(static_cast<int>(which));
}

void TDBNavigator::setDataSource(TDataSource* source) {
    if (source_ == source) return;
    if (source_) source_->disconnect(this);
    source_ = source;
    if (source_) {
        connect(source_, &TDataSource::dataSetChanged, this, [this] { attachDataSet(); });
        connect(source_, &QObject::destroyed, this, [this] { attachDataSet(); });
    }
    attachDataSet();
}

void TDBNavigator::attachDataSet() {
    db::TableDataset* ds = source_ ? source_->dataSet() : nullptr;
    if (attached_ != ds) {
        if (attached_) attached_->disconnect(this);
        attached_ = ds;
        if (ds) {
            const auto update = [this] { updateButtons(); };
            connect(ds, &db::TableDataset::activeChanged, this, update);
            connect(ds, &db::TableDataset::stateChanged, this, update);
            connect(ds, &db::TableDataset::currentChanged, this, update);
            connect(ds, &db::TableDataset::rowsReset, this, update);
            connect(ds, &db::TableDataset::rowInserted, this, update);
            connect(ds, &db::TableDataset::rowRemoved, this, update);
            connect(ds, &QObject::destroyed, this, update);
        }
    }
    updateButtons();
}

void TDBNavigator::updateButtons() {
    db::TableDataset* ds = attached_.data();
    const bool active = ds && ds->active();
    const int count = active ? ds->recordCount() : 0;
    const int row = active ? ds->recNo() : -1;
    const bool editing = active && (ds->state() == State::Edit || ds->state() == State::Insert);
    const bool enabled[kButtonCount] = {
        active && row > 0,                      // First
        active && row > 0,                      // Prior
        active && row >= 0 && row < count - 1,  // Next
        active && row >= 0 && row < count - 1,  // Last
        active,                                 // Insert
        active && count > 0,                    // Delete
        active && !editing && count > 0,        // Edit
        editing,                                // Post
        editing,                                // Cancel
        active,                                 // Refresh
    };
    for (int i = 0; i < kButtonCount; ++i) buttons_[i]->setEnabled(enabled[i]);
}

void TDBNavigator::btnClick(Button which) {
    db::TableDataset* ds = attached_.data();
    if (!ds || !ds->active()) return;
    switch (which) {
        case Button::Cancel:
            source_->discardEdits();
            ds->cancel();
            return;
        case Button::Delete:
            if (ds->recordCount() == 0) return;
            if (!messageBoxes().confirmOkCancelDestructive(
                    QStringLiteral("Supprimer l'enregistrement ?")))
                return;
            source_->discardEdits();
            ds->deleteRecord();
            return;
        default:
            break;
    }
    // Text still being typed belongs to the row before it moves or is saved.
    source_->updateRecord();
    switch (which) {
        case Button::First:
            ds->first();
            break;
        case Button::Prior:
            ds->prior();
            break;
        case Button::Next:
            ds->next();
            break;
        case Button::Last:
            ds->last();
            break;
        case Button::Insert:
            ds->insert();
            // What the user types next goes into the new row.
            source_->focusEditor();
            break;
        case Button::Edit:
            ds->edit();
            source_->focusEditor();
            break;
        case Button::Post:
            db::postOrOfferReload(*ds);
            break;
        case Button::Refresh:
            ds->refresh();
            break;
        case Button::Delete:
        case Button::Cancel:
            break;
    }
}

}  // namespace tavix
