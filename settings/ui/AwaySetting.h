#pragma once

#include <QGroupBox>

class QLabel;
class QSpinBox;

namespace tavix {

// The settings window's "Absence après … minutes": after how long without
// input a timing asks about the time away (0: never). Says so when the
// desktop tells no idle time, as then only sleep is noticed.
class AwaySetting : public QGroupBox {
    Q_OBJECT
public:
    explicit AwaySetting(QWidget* parent = nullptr);

    QSpinBox* Minutes;
    QLabel* NoIdleNote;

    // From the setting "absence"; a bad value raises, as "config" does.
    void load();
    void save() const;
};

}  // namespace tavix
