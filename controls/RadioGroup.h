#pragma once

#include <QGroupBox>
#include <QList>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QRadioButton;
class QVBoxLayout;

namespace tavix {

// A caption shown literally on a button or label: every "&" doubled, so a
// name such as "Dupont & fils" is displayed, not taken as an accelerator.
QString literalCaption(const QString& text);
// The text a literal caption shows (the inverse of literalCaption).
QString captionText(const QString& caption);

// A captioned box holding one radio button per item, at most one checked.
class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(const QString& caption, QWidget* parent = nullptr);

    void addItem(const QString& text);
    QStringList items() const { return items_; }
    int count() const { return static_cast<int>(items_.size()); }

    // -1 when nothing is selected.
    int itemIndex() const;
    void setItemIndex(int index);  // -1 clears the selection and every mark
    QString selectedText() const;  // empty when nothing is selected

    QRadioButton* button(int index) const;

signals:
    // The user clicked one of the radio buttons.
    void clicked();

private:
    QStringList items_;
    QList<QRadioButton*> buttons_;
    QButtonGroup* group_;
    QVBoxLayout* list_;
};

}  // namespace tavix
