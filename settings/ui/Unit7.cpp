#include "settings/ui/Unit7.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QSpinBox>
#include <QVBoxLayout>

#include "controls/ColorButton.h"
#include "controls/KeyboardAccess.h"
#include "data/engine/Connection.h"
#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "platform/Services.h"
#include "settings/md5.h"
#include "settings/outils.h"
#include "settings/ui/AwaySetting.h"
#include "settings/ui/FormParts.h"

namespace tavix {

namespace {

// A check box with its caption to the left of the box.
QCheckBox* captionLeftBox(const QString& name, const QString& caption, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->setLayoutDirection(Qt::RightToLeft);
    return box;
}

TColorButton* silverButton(const QString& name, const QString& caption, QWidget* parent) {
    auto* button = new TColorButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    applyColorSet(*button, silverSet());
    button->setMinimumSize(97, 30);
    return button;
}

QLineEdit* lineEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QLabel* captionLabel(const QString& name, const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

bool isBlank(const QString& text) { return text.trimmed().isEmpty(); }

}  // namespace

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Tavix"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    paintWhite(*this);
    buildControls();
    returnFocusOnClose(this);

    OpenDialog1.Request.filter = QStringLiteral("*.mdb");
    OpenDialog1.Request.defaultSuffix = QStringLiteral("mdb");
    OpenDialog1.Request.initialName = QStringLiteral("*.mdb");
    OpenDialog1.Request.mustExist = false;

    connect(Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(ColorButton5, &QPushButton::clicked, this, guarded([this] { ColorButton5Click(); }));
    connect(Button2, &QPushButton::clicked, this, guarded([this] { Button2Click(); }));
    connect(ColorButton2, &QPushButton::clicked, this, guarded([this] { ColorButton2Click(); }));
    connect(ColorButton4, &QPushButton::clicked, this, guarded([this] { ColorButton4Click(); }));
}

void TForm7::buildControls() {
    // Title band: the picture at the left, the title in large red letters.
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    QPalette black = Panel1->palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::red);
    Panel1->setPalette(black);
    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/header.png")));
    Image1->setFixedSize(81, 81);
    Image1->setScaledContents(true);
    Label5 = new QLabel(QStringLiteral("Paramétrage Tavix"), Panel1);
    Label5->setObjectName(QStringLiteral("Label5"));
    QFont title = font();
    title.setBold(true);
    title.setPixelSize(32);
    Label5->setFont(title);
    auto* band = new QHBoxLayout(Panel1);
    band->setContentsMargins(8, 4, 8, 4);
    band->setSpacing(16);
    band->addWidget(Image1);
    band->addWidget(Label5, 1);

    GroupBox1 = new QGroupBox(QStringLiteral("Verrouillage"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    CheckBox1 = captionLeftBox(QStringLiteral("CheckBox1"), QStringLiteral("Extraction interdite"),
                               GroupBox1);
    CheckBox2 =
        captionLeftBox(QStringLiteral("CheckBox2"),
                       QStringLiteral("Rajout/Modification/suppression interdit"), GroupBox1);
    CheckBox6 =
        captionLeftBox(QStringLiteral("CheckBox6"),
                       QStringLiteral("Verrouiller l'édition des surveillances"), GroupBox1);
    CheckBox3 = captionLeftBox(QStringLiteral("CheckBox3"), autostart::caption(), GroupBox1);
    CheckBox7 = captionLeftBox(QStringLiteral("CheckBox7"), QStringLiteral("Mettre en avant-plan"),
                               GroupBox1);
    CheckBox9 =
        captionLeftBox(QStringLiteral("CheckBox9"),
                       QStringLiteral("Ne jamais réduire dans la barre des tâches"), GroupBox1);
    auto* locks = new QVBoxLayout(GroupBox1);
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox6, CheckBox3, CheckBox7, CheckBox9})
        locks->addWidget(box);
    locks->addStretch(1);

    GroupBox2 = new QGroupBox(QStringLiteral("Code d'accès"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    Edit1 = lineEdit(QStringLiteral("Edit1"), GroupBox2);
    Edit2 = lineEdit(QStringLiteral("Edit2"), GroupBox2);
    Edit3 = lineEdit(QStringLiteral("Edit3"), GroupBox2);
    hideAsStars(*Edit2);
    hideAsStars(*Edit3);
    Label1 =
        captionLabel(QStringLiteral("Label1"), QStringLiteral("Utilisateur"), Edit1, GroupBox2);
    Label2 =
        captionLabel(QStringLiteral("Label2"), QStringLiteral("Mot de passe"), Edit2, GroupBox2);
    Label3 =
        captionLabel(QStringLiteral("Label3"), QStringLiteral("Confirmation"), Edit3, GroupBox2);
    CheckBox5 = captionLeftBox(QStringLiteral("CheckBox5"),
                               QStringLiteral("Verrouiller les paramètres"), GroupBox2);
    CheckBox8 = captionLeftBox(QStringLiteral("CheckBox8"),
                               QStringLiteral("Ecrire l'utilisateur dans les stats."), GroupBox2);
    auto* code = new QGridLayout(GroupBox2);
    code->addWidget(Label1, 0, 0);
    code->addWidget(Label2, 0, 1);
    code->addWidget(Label3, 0, 2);
    code->addWidget(Edit1, 1, 0);
    code->addWidget(Edit2, 1, 1);
    code->addWidget(Edit3, 1, 2);
    code->addWidget(CheckBox5, 0, 3);
    code->addWidget(CheckBox8, 1, 3);

    GroupBox3 = new QGroupBox(QStringLiteral("Base de données"), this);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    Edit4 = lineEdit(QStringLiteral("Edit4"), GroupBox3);
    Edit4->setAccessibleName(QStringLiteral("Base de données"));
    Button2 = silverButton(QStringLiteral("Button2"), QStringLiteral("&Parcourir"), GroupBox3);
    auto* database = new QHBoxLayout(GroupBox3);
    database->addWidget(Edit4, 1);
    database->addWidget(Button2);

    GroupBox4 = new QGroupBox(QStringLiteral("Couleur des boutons"), this);
    GroupBox4->setObjectName(QStringLiteral("GroupBox4"));
    Label4 = new QLabel(QStringLiteral("Exemple"), GroupBox4);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setAutoFillBackground(true);
    Label4->setMinimumSize(120, 30);
    QFont bold = Label4->font();
    bold.setBold(true);
    Label4->setFont(bold);
    ColorButton2 = silverButton(QStringLiteral("ColorButton2"), QStringLiteral("&Fond"), GroupBox4);
    ColorButton4 =
        silverButton(QStringLiteral("ColorButton4"), QStringLiteral("&Texte"), GroupBox4);
    auto* colours = new QHBoxLayout(GroupBox4);
    colours->addWidget(Label4, 1);
    colours->addWidget(ColorButton2);
    colours->addWidget(ColorButton4);
    setSampleColors(clSkyBlue, clBlack);

    Away = new AwaySetting(this);

    ColorButton5 = silverButton(QStringLiteral("ColorButton5"), QStringLiteral("&Annuler"), this);
    Button1 = silverButton(QStringLiteral("Button1"), QStringLiteral("&Valider"), this);

    auto* body = new QGridLayout;
    body->setContentsMargins(8, 8, 8, 8);
    body->addWidget(GroupBox1, 0, 0, 3, 1);
    body->addWidget(GroupBox2, 0, 1);
    body->addWidget(GroupBox3, 1, 1);
    body->addWidget(GroupBox4, 2, 1);
    body->addWidget(Away, 3, 0, 1, 2);
    body->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ColorButton5);
    buttons->addWidget(Button1);
    body->addLayout(buttons, 4, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addLayout(body, 1);

    // Groups, then "&Valider" before the colours, "&Annuler" last.
    const QList<QWidget*> order = {CheckBox1,    CheckBox2,   CheckBox6, CheckBox3, CheckBox7,
                                   CheckBox9,    Edit1,       Edit2,     Edit3,     CheckBox5,
                                   CheckBox8,    Edit4,       Button2,   Button1,   ColorButton2,
                                   ColorButton4, ColorButton5};
    for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
    setTabOrder(Button2, Away->Minutes);
}

void TForm7::setSampleColors(TColor back, TColor text) {
    sampleBack_ = back;
    sampleText_ = text;
    QPalette pal = Label4->palette();
    pal.setColor(QPalette::Window, toQColor(back));
    pal.setColor(QPalette::WindowText, toQColor(text));
    Label4->setPalette(pal);
}

void TForm7::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (activated_) return;
    activated_ = true;
    runGuarded([this] { FormActivate(); });
}

void TForm7::FormActivate() {
    const QString user = ReadSetting(QStringLiteral("user"));
    const QString pwd = ReadSetting(QStringLiteral("pwd"));
    const QString sgbd = ReadSetting(QStringLiteral("sgbd"));
    const int config = ReadConfig();

    Edit1->setText(user);
    // The stored digest itself: untouched boxes leave the password as it is.
    Edit2->setText(pwd);
    Edit3->setText(pwd);
    // A password an older version saved is not shown; confirming drops it.
    Edit4->setText(db::withoutPassword(sgbd));

    CheckBox1->setChecked(config & ConfigBit::NoExtraction);
    CheckBox2->setChecked(config & ConfigBit::NoListEditing);
    CheckBox3->setChecked(config & ConfigBit::StartWithWindows);
    CheckBox5->setChecked(config & ConfigBit::LockSettings);
    CheckBox6->setChecked(config & ConfigBit::LockLogEditing);
    CheckBox7->setChecked(config & ConfigBit::StayOnTop);
    CheckBox9->setChecked(config & ConfigBit::NeverMinimize);
    CheckBox8->setChecked(!isBlank(user) && (config & ConfigBit::UserInLog));

    const QString back = ReadSetting(QStringLiteral("couleur fond"));
    setSampleColors(isBlank(back) ? clSkyBlue : StringToColor(back), sampleText_);
    const QString text = ReadSetting(QStringLiteral("couleur texte"));
    setSampleColors(sampleBack_, isBlank(text) ? clBlack : StringToColor(text));
    Away->load();
}

void TForm7::Button1Click() {
    // A server address holding a password never reaches the settings file:
    // the window stays open with the box to mend.
    try {
        db::checkDatabaseSetting(Edit4->text());
    } catch (const Error& e) {
        messageBoxes().error(e.message());
        Edit4->setFocus();
        return;
    }
    const bool noExtraction = CheckBox1->isChecked();
    const bool noListEditing = CheckBox2->isChecked();
    const bool startWithSession = CheckBox3->isChecked();
    const bool lockSettings = CheckBox5->isChecked();
    const bool lockLogEditing = CheckBox6->isChecked();
    const bool stayOnTop = CheckBox7->isChecked();
    const bool neverMinimize = CheckBox9->isChecked();
    const bool userInLog = CheckBox8->isChecked();

    // Chosen colours are kept even when the password check below fails.
    if (!isBlank(ChosenBackColor)) WriteSetting(QStringLiteral("couleur fond"), ChosenBackColor);
    if (!isBlank(ChosenTextColor)) WriteSetting(QStringLiteral("couleur texte"), ChosenTextColor);

    const QString password = Edit2->text();
    if (password != Edit3->text()) {
        messageBoxes().inform(QStringLiteral("mot de passe incorrect"));
        return;
    }
    // The digest is taken over the password's Windows-1252 bytes: a
    // character without one would be stored as '?' and let other texts in.
    const QString refused = NotInWindows1252(password);
    if (!refused.isEmpty()) {
        messageBoxes().inform(
            QStringLiteral("Le mot de passe ne peut pas contenir les caractères « %1 ».\n"
                           "Choisissez-le parmi les lettres latines, accentuées ou non, les "
                           "chiffres et les signes usuels.")
                .arg(refused));
        Edit2->setFocus();
        return;
    }
    const QString digest = password.isEmpty() ? QString() : DigestHex(password);
    const bool passwordChanged = password != ReadSetting(QStringLiteral("pwd"));

    const QString user = Edit1->text();
    int config = 0;
    if (noExtraction) config += ConfigBit::NoExtraction;
    if (noListEditing) config += ConfigBit::NoListEditing;
    if (startWithSession) config += ConfigBit::StartWithWindows;
    if (lockSettings) config += ConfigBit::LockSettings;
    if (lockLogEditing) config += ConfigBit::LockLogEditing;
    if (stayOnTop) config += ConfigBit::StayOnTop;
    if (neverMinimize) config += ConfigBit::NeverMinimize;
    if (userInLog && !isBlank(user)) config += ConfigBit::UserInLog;

    WriteSetting(QStringLiteral("user"), user);
    if (passwordChanged) WriteSetting(QStringLiteral("pwd"), digest);
    WriteSetting(QStringLiteral("sgbd"), Edit4->text());
    WriteSetting(QStringLiteral("config"), QString::number(config));
    Away->save();

    if (startWithSession)
        EnableAutostart(paths::executablePath());
    else
        DisableAutostart();

    accept();
}

void TForm7::ColorButton5Click() { reject(); }

void TForm7::Button2Click() {
    if (OpenDialog1.Execute(this)) Edit4->setText(OpenDialog1.FileName);
}

void TForm7::ColorButton2Click() {
    if (!ColorDialog1.Execute(this)) return;
    const TColor color = fromQColor(ColorDialog1.Color);
    setSampleColors(color, sampleText_);
    ChosenBackColor = ColorToString(color);
}

void TForm7::ColorButton4Click() {
    if (!ColorDialog1.Execute(this)) return;
    const TColor color = fromQColor(ColorDialog1.Color);
    setSampleColors(sampleBack_, color);
    ChosenTextColor = ColorToString(color);
}

}  // namespace tavix
