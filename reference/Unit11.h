#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace tavix {

class TColorButton;
class TRadioGroup;

// The client chooser: pick an existing client or type a new one, which is
// added to table clients. Results are read once the window has closed.
class TForm11 : public QDialog {
    Q_OBJECT
public:
    explicit TForm11(QWidget* parent = nullptr);

    TRadioGroup* RadioGroup1;
    QWidget* Panel1;
    QLabel* Label1;
    QLineEdit* Edit1;
    TColorButton* ColorButton1;
    TColorButton* ColorButton2;

    QString ChosenClient;
    bool ClientAdded = false;

    void FormActivate();
    void ColorButton1Click();
    void ColorButton2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool activated_ = false;
};

}  // namespace tavix
