#pragma once

#include <QDialog>

#include "data/Billing.h"

class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace tavix {

// "Tarifs et coordonnées": the rates of the clients (and of their
// activities), the user's own details and VAT, the clients' details, and
// the register of numbered documents. Each change is stored at once;
// changed() tells that amounts shown elsewhere are out of date.
class RatesEditor : public QDialog {
    Q_OBJECT
public:
    explicit RatesEditor(QWidget* parent = nullptr);

    QTabWidget* Tabs;
    // Rates
    QTableWidget* RatesTable;
    QComboBox* ClientBox;
    QComboBox* ActivityBox;  // first item: every activity
    QDateEdit* FromDate;
    QLineEdit* AmountEdit;
    QComboBox* UnitBox;  // per hour, per day
    QDoubleSpinBox* DayHours;
    QPushButton* SaveRateButton;
    QPushButton* DeleteRateButton;
    // The user's details
    QLineEdit* NameEdit;
    QPlainTextEdit* AddressEdit;
    QLineEdit* SiretEdit;
    QLineEdit* VatNumberEdit;
    QComboBox* VatBox;  // exemption first, then the rates
    QPlainTextEdit* MentionsEdit;
    QPushButton* SaveSenderButton;
    // The clients' details
    QComboBox* DetailsClientBox;
    QPlainTextEdit* ClientAddressEdit;
    QLineEdit* ClientReferenceEdit;
    QPushButton* SaveClientButton;
    // The register
    QTableWidget* InvoicesTable;

    // Stores the rate the boxes describe; false (the user told why) when
    // the amount is refused.
    bool saveRate();
    void deleteRate();
    void saveSender();
    void saveClient();

signals:
    void changed();

private:
    void showRates();
    void showInvoices();
    void showClientDetails();
    std::vector<Rate> shown_;
};

}  // namespace tavix
