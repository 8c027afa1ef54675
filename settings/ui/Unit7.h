#pragma once

#include <QDialog>
#include <QString>

#include "settings/Colors.h"
#include "settings/ui/Dialogs.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace tavix {

class AwaySetting;
class TColorButton;

// The settings window: locks, access code, database file and the colours of
// the activity buttons. Loads the settings as it opens and writes them on
// "&Valider" (result Accepted); nothing is written otherwise. The new values
// apply after a restart, which the opener offers.
class TForm7 : public QDialog {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);

    QWidget* Panel1;  // the black title band
    QLabel* Image1;
    QLabel* Label5;

    QGroupBox* GroupBox1;  // "Verrouillage"
    QCheckBox* CheckBox1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox6;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox7;
    QCheckBox* CheckBox9;

    QGroupBox* GroupBox2;  // "Code d'accès"
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QCheckBox* CheckBox5;
    QCheckBox* CheckBox8;

    QGroupBox* GroupBox3;  // "Base de données"
    QLineEdit* Edit4;
    TColorButton* Button2;

    QGroupBox* GroupBox4;  // "Couleur des boutons"
    QLabel* Label4;
    TColorButton* ColorButton2;
    TColorButton* ColorButton4;

    AwaySetting* Away;  // "Absence après … minutes"

    TColorButton* Button1;       // "&Valider"
    TColorButton* ColorButton5;  // "&Annuler"

    TOpenDialog OpenDialog1;
    TColorDialog ColorDialog1;

    // Colour texts of the colours chosen since the window opened; empty
    // until chosen.
    QString ChosenBackColor;
    QString ChosenTextColor;

    // The sample's colours.
    TColor SampleBackColor() const { return sampleBack_; }
    TColor SampleTextColor() const { return sampleText_; }

    void FormActivate();
    void Button1Click();
    void ColorButton5Click();
    void Button2Click();
    void ColorButton2Click();
    void ColorButton4Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void setSampleColors(TColor back, TColor text);

    bool activated_ = false;
    TColor sampleBack_ = clSkyBlue;
    TColor sampleText_ = clBlack;
};

}  // namespace tavix
