#include "app/Unit1.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <functional>
#include <utility>

#include "app/EmptyListHint.h"
#include "app/ScreenFit.h"
#include "app/ScrollColumn.h"
#include "consult/RatesEditor.h"
#include "consult/Unit5.h"
#include "controls/ColorButton.h"
#include "controls/RadioGroup.h"
#include "data/Unit2.h"
#include "platform/Announce.h"
#include "platform/Application.h"
#include "platform/Error.h"
#include "platform/Paths.h"
#include "platform/Regional.h"
#include "platform/Services.h"
#include "platform/SingleInstance.h"
#include "reference/Unit11.h"
#include "reference/Unit3.h"
#include "reference/Unit4.h"
#include "resources/Resources.h"
#include "settings/Colors.h"
#include "settings/outils.h"
#include "settings/ui/Unit7.h"
#include "settings/ui/Unit8.h"
#include "settings/ui/Unit9.h"

namespace tavix {

bool IconPhase = false;
TForm1* Form1 = nullptr;

namespace {

const QString kTitle = QStringLiteral("Surveillance tâches");
const QPoint kDesignedPosition(256, 124);
const QSize kDesignedSize(757, 661);

// Bounds a window can be reached at: wholly on one screen, within the
// frame the window manager adds (a window saved on a larger screen would
// otherwise open partly off a smaller one).
QRect reachableBounds(qint64 left, qint64 top, qint64 width, qint64 height, const QMargins& frame) {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
    return fitOnScreen(left, top, width, height, areas, frame, kDesignedPosition);
}

// Top of the scrolling part of the left panel, just below the stopwatch.
const int kColumnTop = 90;

const int kBackgroundHeight = 603;  // the background picture's own height...
const int kBandHeight = 65;         // ...and that of its dark top strip

// Day number as the day names count it: 1 = Sunday ... 7 = Saturday.
quint16 dayNumber(const QDate& date) { return static_cast<quint16>(date.dayOfWeek() % 7 + 1); }

// Blanks and control characters off both ends.
QString trimControls(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) <= u' ') ++first;
    while (last > first && text.at(last - 1) <= u' ') --last;
    return text.mid(first, last - first);
}

QLabel* redLabel(QWidget* parent, const QString& name, int x, int y) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(pal);
    label->move(x, y);
    return label;
}

void setLabelText(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
}

// Calls back once, the first time its window is exposed (on screen and
// painted), then goes away with it.
class ExposeWatcher : public QObject {
public:
    ExposeWatcher(QWindow* window, std::function<void()> onExposed)
        : QObject(window), window_(window), onExposed_(std::move(onExposed)) {
        window->installEventFilter(this);
        if (window->isExposed()) fire();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && event->type() == QEvent::Expose && window_->isExposed()) fire();
        return false;
    }

private:
    void fire() {
        if (!onExposed_) return;
        window_->removeEventFilter(this);
        auto call = std::move(onExposed_);
        onExposed_ = nullptr;
        deleteLater();
        call();
    }

    QWindow* window_;
    std::function<void()> onExposed_;
};

}  // namespace

template <class F>
auto TForm1::userAction(F f) {
    return guarded([this, f = std::move(f)]() mutable {
        if (acceptsActions()) f();
    });
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    Form1 = this;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kTitle);
    buildControls();
    buildMenu();
    setGeometry(QRect(kDesignedPosition, kDesignedSize));

    Timing = new TimingSession(entryLog(), paths::pendingTimingPath(), this);
    connect(Timing, &TimingSession::started, this, guarded([this] { onTimingStarted(); }));
    connect(Timing, &TimingSession::stopped, this,
            guarded([this](const LogEntry& entry) { onTimingStopped(entry); }));
    connect(Timing, &TimingSession::changed, this, guarded([this] {
                if (!Timing->client().isEmpty()) setLabelText(Label6, Timing->client());
                showTimingState();
            }));
    connect(RichEdit, &QTextEdit::textChanged, this,
            [this] { Timing->setComment(RichEdit->toPlainText()); });

    WaitingLabel = new QLabel(this);
    WaitingLabel->setObjectName(QStringLiteral("WaitingLabel"));
    statusBar()->addPermanentWidget(WaitingLabel);
    WaitingLabel->hide();
    statusBar()->hide();
    connect(statusBar(), &QStatusBar::messageChanged, this, [this] { showStatusLine(); });
    if (DataModule2) {
        connect(DataModule2, &TDataModule2::waitingChanged, this,
                guarded([this](int count) { ShowWaiting(count); }));
        connect(DataModule2, &TDataModule2::serverWait, this,
                guarded([this](bool waiting, const QString& server) {
                    ShowServerWait(waiting, server);
                }));
        connect(DataModule2, &TDataModule2::databaseOpened, this,
                guarded([this] { DatabaseOpened(); }));
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    // Never early: the stopwatch counts whole seconds at each tick.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
    Timer1->start();

    connect(Commenter, &QPushButton::clicked, this, userAction([this] { CommenterClick(); }));
    connect(RadioGroup1, &TRadioGroup::clicked, this, userAction([this] { RadioGroup1Click(); }));
    connect(ActivityHint->button(), &QPushButton::clicked, this,
            userAction([this] { unesurveillance1Click(); }));
    connect(ClientHint->button(), &QPushButton::clicked, this,
            userAction([this] { unclient1Click(); }));
    qApp->installEventFilter(this);
    // Any other end of the loop (the session manager's quit) keeps a running
    // timing too; a window closed the ordinary way has settled it already.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!Closing) keepPendingTiming();
    });

    // An error here is told once the window is on screen, in front of it.
    try {
        FormCreate();
    } catch (...) {
        creationError_ = std::current_exception();
    }
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
    application::setHelpHook({});
}

void TForm1::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("Client"));
    central->setAutoFillBackground(true);
    QPalette white = central->palette();
    white.setColor(QPalette::Window, Qt::white);
    central->setPalette(white);
    QFont bold = font();
    bold.setBold(true);
    bold.setPixelSize(16);
    central->setFont(bold);

    Panel2 = new QWidget(central);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel1 = new QWidget(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedWidth(236);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(Panel2, 1);
    row->addWidget(Panel1);
    setCentralWidget(central);

    // Right panel: the dark band with the running activity and client, then
    // the clients.
    Shape1 = new QFrame(Panel1);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setAutoFillBackground(true);
    QPalette black = Shape1->palette();
    black.setColor(QPalette::Window, Qt::black);
    Shape1->setPalette(black);
    Label5 = redLabel(Panel1, QStringLiteral("Label5"), 16, 8);
    Label6 = redLabel(Panel1, QStringLiteral("Label6"), 16, 32);
    RadioGroup1 = new TRadioGroup(QStringLiteral("Clients / dossiers"), Panel1);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setAutoFillBackground(true);
    RadioGroup1->setPalette(white);
    QFont normal = bold;
    normal.setPixelSize(13);
    RadioGroup1->setFont(normal);

    // Left panel: background, logo, date, time, stopwatch, comment box.
    Image1 = new QLabel(Panel2);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QPixmap::fromImage(backgroundImage()));
    Image1->setScaledContents(true);
    Image2 = new QLabel(Panel2);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(QPixmap(QStringLiteral(":/pictures/logo.png")));
    Image2->setScaledContents(true);
    Image2->setGeometry(8, 8, 81, 113);
    Label4 = redLabel(Panel2, QStringLiteral("Label4"), 240, 8);
    Label1 = redLabel(Panel2, QStringLiteral("Label1"), 336, 9);
    Label7 = redLabel(Panel2, QStringLiteral("Label7"), 96, 40);
    Label7->setAutoFillBackground(true);
    QPalette onBlack = Label7->palette();
    onBlack.setColor(QPalette::Window, Qt::black);
    Label7->setPalette(onBlack);
    setLabelText(Label7, QStringLiteral("Chronomètre:"));
    Label2 = redLabel(Panel2, QStringLiteral("Label2"), 240, 40);
    Label3 = redLabel(Panel2, QStringLiteral("Label3"), 336, 41);

    ActivityColumn = new ScrollColumn(Panel2, kColumnTop);
    RichEdit = new QTextEdit(ActivityColumn->content());
    RichEdit->setObjectName(QStringLiteral("RichEdit"));
    RichEdit->setAcceptRichText(false);
    QFont plain = font();
    RichEdit->setFont(plain);
    RichEdit->setGeometry(136, 100, 225, 169);
    RichEdit->setAccessibleName(QStringLiteral("Commentaire"));
    // Tab moves on, as in every other box of the program: a comment never
    // holds a tab (Ctrl+Tab is caught by the window's filter).
    RichEdit->setTabChangesFocus(true);
    RichEdit->hide();

    Commenter = new TColorButton(ActivityColumn->content());
    Commenter->setObjectName(QStringLiteral("Commenter"));
    Commenter->setText(QStringLiteral("&Commenter"));
    Commenter->setGeometry(8, 100, 129, 40);
    Commenter->setBackColor(clSilver);
    Commenter->setForeColor(clBlack);
    Commenter->setHoverColor(clSilver);
    Commenter->setBorderColor(clNavy);
    Commenter->hide();

    ActivityHint =
        new EmptyListHint(QStringLiteral("ActivityHint"), ActivityColumn->content(), 150, 100, 241);
    ClientHint = new EmptyListHint(QStringLiteral("ClientHint"), RadioGroup1, 8, 28, 0);
    // The frame around the clients does nothing when focused; its radio
    // buttons take the focus.
    RadioGroup1->setFocusPolicy(Qt::NoFocus);

    Panel1->installEventFilter(this);
    Panel2->installEventFilter(this);
}

void TForm1::buildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    Quitter1 = MainMenu1->addAction(QStringLiteral("&Quitter"));
    Quitter1->setObjectName(QStringLiteral("Quitter1"));
    QMenu* lists = MainMenu1->addMenu(QStringLiteral("&Rajouter/modifier/supprimer"));
    Rajouter1 = lists->menuAction();
    Rajouter1->setObjectName(QStringLiteral("Rajouter1"));
    unesurveillance1 = lists->addAction(QStringLiteral("une &surveillance"));
    unesurveillance1->setObjectName(QStringLiteral("unesurveillance1"));
    unclient1 = lists->addAction(QStringLiteral("un &client"));
    unclient1->setObjectName(QStringLiteral("unclient1"));
    destarifs1 = lists->addAction(QStringLiteral("des &tarifs et coordonnées…"));
    destarifs1->setObjectName(QStringLiteral("destarifs1"));
    MainMenu1->addAction(QString());
    MainMenu1->addAction(QString());
    Extraction1 = MainMenu1->addAction(QStringLiteral("&Extraction"));
    Extraction1->setObjectName(QStringLiteral("Extraction1"));
    MainMenu1->addAction(QString());
    // "&Aide" keeps Alt+A, as in every program.
    QMenu* advanced = MainMenu1->addMenu(QStringLiteral("A&vancés"));
    Avancs1 = advanced->menuAction();
    Avancs1->setObjectName(QStringLiteral("Avancs1"));
    Verrouiller = advanced->addAction(QStringLiteral("Paramètres"));
    Verrouiller->setObjectName(QStringLiteral("Verrouiller"));
    MainMenu1->addAction(QString());
    QMenu* help = MainMenu1->addMenu(QStringLiteral("&Aide"));
    Aide1 = help->menuAction();
    Aide1->setObjectName(QStringLiteral("Aide1"));
    Voirlaide1 = help->addAction(QStringLiteral("&Voir l'aide"));
    Voirlaide1->setObjectName(QStringLiteral("Voirlaide1"));

    connect(Quitter1, &QAction::triggered, this, userAction([this] { Quitter1Click(); }));
    connect(unesurveillance1, &QAction::triggered, this,
            userAction([this] { unesurveillance1Click(); }));
    connect(unclient1, &QAction::triggered, this, userAction([this] { unclient1Click(); }));
    connect(destarifs1, &QAction::triggered, this, userAction([this] { destarifs1Click(); }));
    connect(Verrouiller, &QAction::triggered, this, userAction([this] { VerrouillerClick(); }));
    connect(Voirlaide1, &QAction::triggered, this, userAction([this] { Voirlaide1Click(); }));
    connect(Extraction1, &QAction::triggered, this, userAction([this] { Extraction1Click(); }));

    // F10 opens the first menu, as in GNOME and KDE programs; the arrows
    // then walk the menu bar.
    auto* menus = new QShortcut(QKeySequence(Qt::Key_F10), this);
    menus->setObjectName(QStringLiteral("MenuKey"));
    connect(menus, &QShortcut::activated, this, userAction([this] {
                for (QAction* action : MainMenu1->actions()) {
                    if (!action->isVisible() || !action->isEnabled() || !action->menu()) continue;
                    MainMenu1->setActiveAction(action);
                    const QList<QAction*> items = action->menu()->actions();
                    if (!items.isEmpty()) action->menu()->setActiveAction(items.first());
                    return;
                }
            }));
    // Ctrl+T says the time timed so far, wherever the focus is.
    auto* elapsed = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_T), this);
    elapsed->setObjectName(QStringLiteral("ElapsedKey"));
    connect(elapsed, &QShortcut::activated, this, userAction([this] { sayElapsed(); }));
}

void TForm1::layoutPanels() {
    Image1->setGeometry(Panel2->rect());
    Image1->lower();
    FormResize();
}

// ---- lifecycle -------------------------------------------------------------

void TForm1::FormCreate() {
    const QString config = ReadSetting(QStringLiteral("config"));
    Config = 0;
    if (!config.isEmpty()) Config = toInteger(config);
    if (NeverMinimize(Config))
        setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    // Set before the first showing so that applying it then changes nothing
    // (changing window flags of a visible window hides it).
    if (StayOnTop(Config)) setWindowFlag(Qt::WindowStaysOnTopHint, true);
    IconPhase = false;
}

void TForm1::FormActivate() {
    Label5->clear();
    Label6->clear();
    Closing = false;
    RichEdit->clear();
    RichEdit->resize(RichEdit->width(), 169);
    RichEdit->hide();

    UserName = ReadSetting(QStringLiteral("user"));
    const QString pwd = ReadSetting(QStringLiteral("pwd"));

    const bool onTop = StayOnTop(Config);
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) != onTop) {
        const bool wasVisible = isVisible();
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
        if (wasVisible) show();
    }

    Extraction1->setVisible(NoExtraction(Config));
    Rajouter1->setVisible(NoListEditing(Config));

    applySavedGeometry();

    application::setHelpHook([this](quint16 command, qint32 helpData, bool& callHelp) {
        return HelpHook(command, helpData, callHelp);
    });

    const QString executable = paths::executablePath();
    const QString sgbd = ReadSetting(QStringLiteral("sgbd"));
    QString databasePath = sgbd.isEmpty() ? paths::defaultDatabasePath(executable) : sgbd;
    HelpPath = paths::helpPath(executable);
    DataModule2->DatabasePath = databasePath;
    // A new user starts with an empty database of their own; a file named in
    // "sgbd" is never created.
    if (sgbd.isEmpty() && !QFileInfo::exists(databasePath))
        runGuarded([&] { TDataModule2::CreateDatabase(databasePath); });

    RichEdit->hide();
    RichEdit->clear();

    if (DataModule2->OpenDatabase()) BuildLists();
    ShowEmptyHints();

    Commenter->hide();
    const DateTime now = clock().now();
    setLabelText(Label1, regional::dateToText(now.date()));
    setLabelText(Label2, QStringLiteral("00:00:00"));
    setLabelText(Label3, regional::timeToText(now.time()));
    setLabelText(Label4, DayName(dayNumber(now.date())));

    // The access code guards the start-up unless it guards the settings.
    if (!UserName.isEmpty() && !pwd.isEmpty() && !LockSettings(Config)) {
        TForm8 login(this);
        execLogin(login);
        if (application::terminated()) return;  // the login gave up
    }

    // Without a database the user has been told why; the check would only
    // add a second, misleading error.
    if (!DataModule2->ADOConnection1.connected()) return;
    const quint8 version = DataModule2->SchemaVersion();
    if (version != 7) {
        const QString question = QStringLiteral(
            "Attention la version de votre base de données \r\n"
            "ne correspond pas à cette version de TAVIX.\r\n"
            "Voulez-vous la convertir ?");
        if (messageBoxes().confirm(question)) {
            DataModule2->ConvertSchema(version);
            relance();
        }
    }

    if (!application::terminated()) RecoverPendingTimings();
}

void TForm1::BuildLists() {
    DataModule2->FillClients(*RadioGroup1);
    RadioGroup1->setItemIndex(-1);
    DataModule2->CreateActivityButtons(ActivityColumn->content(), 100, 150, 40, 241,
                                       [this](TColorButton* button) {
                                           if (acceptsActions()) ButtonClick(button);
                                       });
    // Toggle buttons: a screen reader says which one is timing.
    for (const auto& button : DataModule2->ActivityButtons)
        if (button) button->setCheckable(true);
    ActivityColumn->refresh();
}

// A server away at the start answers now: the window gets what the start
// could not give it, without a restart.
void TForm1::DatabaseOpened() {
    if (!firstShowingRan_ || !DataModule2->ActivityButtons.empty() || RadioGroup1->count() > 0)
        return;
    BuildLists();
    ShowEmptyHints();
    focusFirstUsefulControl();
    statusBar()->showMessage(QStringLiteral("Le serveur répond : la base de données est ouverte."),
                             10000);
    showStatusLine();
    announce(this, QStringLiteral("Le serveur répond : la base de données est ouverte."));
    if (!application::terminated()) RecoverPendingTimings();
}

void TForm1::ShowWaiting(int count) {
    waitingCount_ = count;
    if (count <= 0)
        WaitingLabel->clear();
    else
        WaitingLabel->setText(
            count == 1 ? QStringLiteral("1 surveillance en attente du serveur sur ce poste")
                       : QStringLiteral("%1 surveillances en attente du serveur sur ce "
                                        "poste")
                             .arg(count));
    WaitingLabel->setVisible(count > 0);
    showStatusLine();
}

void TForm1::ShowServerWait(bool waiting, const QString& server) {
    if (waiting == serverWaitShown_) return;
    serverWaitShown_ = waiting;
    if (waiting) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        statusBar()->showMessage(QStringLiteral("En attente du %1…").arg(server));
    } else {
        QGuiApplication::restoreOverrideCursor();
        statusBar()->clearMessage();
    }
    showStatusLine();
    // Painted now: the loop turning meanwhile paints it too, but a wait may
    // end before its next turn.
    statusBar()->repaint();
}

// Only while it has something to say: a file's window keeps its own size.
void TForm1::showStatusLine() {
    const bool needed =
        waitingCount_ > 0 || serverWaitShown_ || !statusBar()->currentMessage().isEmpty();
    if (statusBar()->isVisibleTo(this) != needed) statusBar()->setVisible(needed);
}

// The stored top, left, width and height, in that order; an empty value
// keeps that coordinate, a value that is not a number stops there. The
// window stays within reach whatever the values.
void TForm1::applySavedGeometry() {
    // Positions are those of the client area: they survive a window
    // manager that adds its frame only once the window is mapped.
    const QRect current = geometry();
    qint64 values[] = {current.top(), current.left(), current.width(), current.height()};
    const QString names[] = {QStringLiteral("top"), QStringLiteral("left"), QStringLiteral("width"),
                             QStringLiteral("height")};
    std::exception_ptr failure;
    try {
        for (int i = 0; i < 4; ++i) {
            const QString text = ReadSetting(names[i]);
            if (!text.isEmpty()) values[i] = toInteger(text);
        }
    } catch (const Error&) {
        failure = std::current_exception();
    }
    const QRect outer = frameGeometry();
    const QMargins frame(current.left() - outer.left(), current.top() - outer.top(),
                         outer.right() - current.right(), outer.bottom() - current.bottom());
    setGeometry(reachableBounds(values[1], values[0], values[2], values[3], frame));
    if (failure) std::rethrow_exception(failure);
}

void TForm1::FormClose() {
    Closing = true;
    DataModule2->ADOConnection1.close();
    const QRect bounds = geometry();
    WriteSetting(QStringLiteral("top"), QString::number(bounds.top()));
    WriteSetting(QStringLiteral("left"), QString::number(bounds.left()));
    WriteSetting(QStringLiteral("width"), QString::number(width()));
    WriteSetting(QStringLiteral("height"), QString::number(height()));
}

void TForm1::FormResize() {
    const int band = qRound(Image1->height() * 100.0 / kBackgroundHeight * kBandHeight / 100.0);
    Shape1->setGeometry(0, 0, Panel1->width(), band);
    RadioGroup1->setGeometry(0, band, Panel1->width(), qMax(0, Panel1->height() - band));
    Label5->raise();
    Label6->raise();
}

void TForm1::FormKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    Q_UNUSED(modifiers);
    if (key == Qt::Key_F1) {
        bool callHelp = false;
        HelpHook(0, 0, callHelp);
    }
}

bool TForm1::HelpHook(quint16 command, qint32 helpData, bool& callHelp) {
    Q_UNUSED(command);
    Q_UNUSED(helpData);
    callHelp = false;
    shell().openDocument(HelpPath);
    return true;
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (activated_) return;
    activated_ = true;
    // Mapped where it will stay, so the first showing does not move it in
    // sight; a bad value is reported by the first showing itself.
    try {
        applySavedGeometry();
    } catch (const Error&) {
    }
    // The first showing asks questions and reports errors: they must stand
    // in front of the window, so it runs once the window is on screen.
    if (QWindow* handle = windowHandle())
        new ExposeWatcher(handle, [this] {
            QMetaObject::invokeMethod(
                this, [this] { runFirstShowing(); }, Qt::QueuedConnection);
        });
    else
        QMetaObject::invokeMethod(
            this, [this] { runFirstShowing(); }, Qt::QueuedConnection);
}

void TForm1::runFirstShowing() {
    if (firstShowingStarted_) return;
    firstShowingStarted_ = true;
    if (creationError_) reportException(std::exchange(creationError_, nullptr));
    runGuarded([this] { FormActivate(); });
    // Also after the login and the questions of the start.
    if (!application::terminated()) focusFirstUsefulControl();
    firstShowingRan_ = true;
    emit firstShown();
}

int TForm1::execLogin(QDialog& login) {
    // Modality holds the mouse and the keyboard only; assistive technology
    // acts on widgets directly, so they refuse too.
    loginShown_ = true;
    centralWidget()->setEnabled(false);
    MainMenu1->setEnabled(false);
    const auto restore = qScopeGuard([this] {
        loginShown_ = false;
        centralWidget()->setEnabled(true);
        MainMenu1->setEnabled(true);
    });
    return modalRunner().exec(login);
}

void TForm1::ShowEmptyHints() {
    // Without a database the editors cannot open: the error told says why.
    const bool open = DataModule2->ADOConnection1.connected();
    const bool locked = !NoListEditing(Config);
    if (open && DataModule2->ActivityButtons.empty())
        showHintFor(*ActivityHint, storedCount(QStringLiteral("travaux")),
                    {QStringLiteral("Aucune surveillance pour l'instant."),
                     QStringLiteral("Ajouter une surveillance…"),
                     QStringLiteral("%1 surveillance%2 enregistrée%2, affichée%2 au prochain "
                                    "lancement de Tavix."),
                     QStringLiteral("Modifier les surveillances…")},
                    locked);
    else
        ActivityHint->hide();
    if (open && RadioGroup1->count() == 0)
        showHintFor(
            *ClientHint, storedCount(QStringLiteral("clients")),
            {QStringLiteral("Aucun client pour l'instant."), QStringLiteral("Ajouter un client…"),
             QStringLiteral("%1 client%2 enregistré%2, affiché%2 au prochain lancement "
                            "de Tavix."),
             QStringLiteral("Modifier les clients…")},
            locked);
    else
        ClientHint->hide();
}

// The lists are built once per run: rows stored since (the restart was
// declined) are not shown yet, and the hint must not call the list empty.
qint64 TForm1::storedCount(const QString& table) {
    try {
        return DataModule2->CountRows(table);
    } catch (const Error&) {
        return 0;  // as the window was built
    }
}

void TForm1::showHintFor(EmptyListHint& hint, qint64 stored, const HintTexts& texts, bool locked) {
    if (stored <= 0) {
        hint.showFor(texts.empty, texts.add, locked);
        return;
    }
    hint.showFor(texts.stored.arg(stored).arg(stored > 1 ? QStringLiteral("s") : QString()),
                 texts.edit, locked);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Nothing closes the program behind a login.
    if (!acceptsActions()) {
        event->ignore();
        return;
    }
    // Where the keyboard was, unless on the menu bar ("&Quitter").
    QPointer<QWidget> before = focusWidget();
    if (Timing->running() && !mayCloseDuringTiming()) {
        event->ignore();
        if (before && before != MainMenu1 && before->isVisible() && before->isEnabled())
            before->setFocus(Qt::OtherFocusReason);
        else
            focusFirstUsefulControl();
        return;
    }
    runGuarded([this] { FormClose(); });
    event->accept();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    runGuarded([this] { FormResize(); });
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && (watched == Panel1 || watched == Panel2)) {
        layoutPanels();
        return false;
    }
    // F1 anywhere in the program asks for the help, whatever modifiers are held.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1) {
            runGuarded([&] { FormKeyDown(key->key(), key->modifiers()); });
            return true;
        }
        // Tab, Shift+Tab and Ctrl+Tab leave the comment box; none is typed.
        if (watched == RichEdit && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            const bool forward =
                key->key() == Qt::Key_Tab && !key->modifiers().testFlag(Qt::ShiftModifier);
            focusNextPrevChild(forward);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
// ---- timing ----------------------------------------------------------------

void TForm1::ButtonClick(TColorButton* button) {
    // The moment of the click is the moment of a stop, whatever comes between.
    const Instant at = Instant::now();
    // The click toggled the button; it shows the timing whatever happens,
    // a refused stop included.
    const auto showState = qScopeGuard([this] { showTimingState(); });
    const QString activity = captionText(button->text());
    setLabelText(Label5, activity);
    if (button->Tag() == 0) {
        Timing->setUser(logUser());
        Timing->setDatabase(DataModule2->DatabasePath);
        Timing->startTiming(button->objectName().mid(3).toInt(), activity, at,
                            RadioGroup1->itemIndex() >= 0 ? RadioGroup1->selectedText() : QString(),
                            RichEdit->toPlainText());
    } else {
        StopTiming(at);
    }
    QCoreApplication::processEvents();
}

// The selection in sight is the one the timing stores.
void TForm1::syncSelection() {
    Timing->setSelectedClient(RadioGroup1->itemIndex() >= 0 ? RadioGroup1->selectedText()
                                                            : QString());
}

bool TForm1::chooseClient() {
    if (!Timing->client().isEmpty()) return true;
    TForm11 chooser(this);
    modalRunner().exec(chooser);
    Timing->setChosenClient(chooser.ChosenClient, chooser.ClientAdded);
    return !Timing->client().isEmpty();
}

bool TForm1::StopTiming(const Instant& at) {
    if (!Timing->running()) return false;
    syncSelection();
    Timing->beginStop(at);
    if (Timing->client().isEmpty()) {
        // Closed without a client, the chooser leaves the window as it was:
        // the timing goes on in sight, its comment button and box with it.
        const bool chosen = chooseClient();
        RadioGroup1->setItemIndex(-1);
        if (!chosen) {
            Timing->abandonStop();
            setLabelText(Label5, Timing->activity());
            return false;
        }
    }
    Timing->setUser(logUser());
    Timing->setComment(RichEdit->toPlainText());
    if (!Timing->stop(at)) return false;
    // A client the chooser added still needs the restart, once stored.
    if (Timing->takeClientAdded()) relance();
    return true;
}

bool TForm1::CutTiming(const Instant& end, const std::optional<Instant>& resume) {
    if (!Timing->running()) return false;
    // The stop path expects the activity buttons in sight.
    if (!RichEdit->isHidden()) CommenterClick();
    syncSelection();
    if (!chooseClient()) return false;
    Timing->setUser(logUser());
    Timing->setComment(RichEdit->toPlainText());
    bool done = false;
    runGuarded([&] { done = Timing->cut(end, resume); });
    if (done && Timing->takeClientAdded()) relance();
    return done;
}

// The window shows what the timing holds, whoever started it.
void TForm1::onTimingStarted() {
    const QString id = QString::number(Timing->activityId());
    timedActivity_ = Timing->activity();
    setLabelText(Label5, Timing->activity());
    if (TColorButton* button = activityButton(Timing->activityId())) {
        // A start at exactly midnight still has to read as "timing".
        const int timeOfDay = Timing->start().time().msecsSinceStartOfDay();
        button->setTag(timeOfDay == 0 ? 1 : timeOfDay);
        Verrouille_autres(id);
        Commenter->move(Commenter->x(), button->y());
        RichEdit->move(RichEdit->x(), button->y());
        Commenter->show();
        Commenter->raise();
    }
    const QString selected = Timing->selectedClient();
    const int index = static_cast<int>(RadioGroup1->items().indexOf(selected));
    if (!selected.isEmpty() && index >= 0 && RadioGroup1->itemIndex() != index)
        RadioGroup1->setItemIndex(index);
    if (!Timing->client().isEmpty()) setLabelText(Label6, Timing->client());
    if (RichEdit->toPlainText() != Timing->comment()) RichEdit->setPlainText(Timing->comment());
    // The stopwatch counts from here; ticks from now on come a whole
    // number of seconds after it, so each shows one second more.
    if (Timer1->isActive()) Timer1->start();
    showTimingState();
    announce(this,
             Timing->client().isEmpty()
                 ? QStringLiteral("%1 démarrée").arg(timedActivity_)
                 : QStringLiteral("%1 démarrée pour %2").arg(timedActivity_, Timing->client()));
}

void TForm1::onTimingStopped(const LogEntry& entry) {
    if (!RichEdit->isHidden()) CommenterClick();
    Label5->clear();
    Label6->clear();
    RadioGroup1->setItemIndex(-1);
    RichEdit->clear();
    if (DataModule2) {
        DataModule2->UnlockButtons();
        for (const auto& button : DataModule2->ActivityButtons)
            if (button) button->setTag(0);
    }
    // Nothing is timed: the blinking icon must not stay on "running".
    application::setIcon(QStringLiteral("MAINICON"));
    Commenter->hide();
    showTimingState();
    const QString activity = std::exchange(timedActivity_, QString());
    if (!entry.activity.isEmpty())
        announce(this, QStringLiteral("%1 arrêtée : %2 enregistrées")
                           .arg(entry.activity, SecondsToHMS(entry.duration)));
    else if (!activity.isEmpty())
        announce(this, QStringLiteral("%1 arrêtée, rien n'est enregistré").arg(activity));
}

void TForm1::showTimingState() {
    TColorButton* timed = timedButton();
    if (DataModule2) {
        for (const auto& button : DataModule2->ActivityButtons) {
            if (!button) continue;
            const bool on = button == timed;
            // The toolkit tells both changes itself (a click toggles the
            // button before the timing follows).
            if (button->isChecked() != on) button->setChecked(on);
            if (button->property("toldChecked").toBool() != on) {
                button->setProperty("toldChecked", on);
                QAccessible::State state;
                state.checked = true;
                QAccessibleStateChangeEvent changed(button, state);
                tellAccessibility(&changed, true);
            }
            QString description;
            if (on) {
                const QString client = Timing->client();
                description = QStringLiteral("En cours depuis %1, %2")
                                  .arg(SecondsToHMS(Timing->elapsedSeconds()),
                                       client.isEmpty() ? QStringLiteral("client à choisir")
                                                        : QStringLiteral("client ") + client);
            }
            if (button->accessibleDescription() != description) {
                button->setAccessibleDescription(description);
                QAccessibleEvent described(button, QAccessible::DescriptionChanged);
                tellAccessibility(&described, true);
            }
        }
    }
    const QString title = Timing->running()
                              ? QStringLiteral("%1 en cours – %2").arg(Timing->activity(), kTitle)
                              : kTitle;
    if (windowTitle() != title) setWindowTitle(title);
}

void TForm1::sayElapsed() {
    if (!Timing->running()) {
        announce(this, QStringLiteral("Aucune surveillance en cours"));
        return;
    }
    const QString client = Timing->client();
    const QString elapsed = SecondsToHMS(Timing->elapsedSeconds());
    announce(this,
             client.isEmpty()
                 ? QStringLiteral("%1 : %2, client à choisir").arg(Timing->activity(), elapsed)
                 : QStringLiteral("%1 : %2 pour %3").arg(Timing->activity(), elapsed, client));
}

QWidget* TForm1::firstUsefulControl() const {
    if (DataModule2)
        for (const auto& button : DataModule2->ActivityButtons)
            if (button && button->isVisibleTo(this) && button->isEnabled()) return button;
    for (EmptyListHint* hint : {ActivityHint, ClientHint})
        if (hint->isVisibleTo(this) && hint->button()->isVisibleTo(this)) return hint->button();
    if (RadioGroup1->count() > 0) return RadioGroup1->button(0);
    return nullptr;
}

void TForm1::focusFirstUsefulControl() {
    if (QWidget* control = firstUsefulControl()) control->setFocus(Qt::OtherFocusReason);
}

QString TForm1::logUser() const {
    return UserInLog(Config) && !trimControls(UserName).isEmpty() ? UserName : QString();
}

TColorButton* TForm1::activityButton(int id) const {
    if (!DataModule2) return nullptr;
    const QString name = QStringLiteral("BP_") + QString::number(id);
    for (const auto& button : DataModule2->ActivityButtons)
        if (button && button->objectName() == name) return button;
    return nullptr;
}

TColorButton* TForm1::timedButton() const {
    return Timing->running() ? activityButton(Timing->activityId()) : nullptr;
}

// Whatever the running timing holds now goes to its state file; a failure
// is told but never stops the timing.
void TForm1::keepPendingTiming() {
    runGuarded([&] { Timing->keep(); });
}

PendingTiming::Log TForm1::entryLog() const {
    return {[](const LogEntry& e, const QString& key) {
                return DataModule2->CountLogEntries(e.user, e.client, e.activity, e.start, e.end,
                                                    e.duration, e.comment, key);
            },
            [](const LogEntry& e, const QString& key) {
                DataModule2->AddLogEntry(e.user, e.client, e.activity, e.start, e.end, e.duration,
                                         e.comment, key);
            }};
}

void TForm1::bringForward(const QString& activationToken) {
    // Wayland passes the focus on only with the token the other start got.
    if (!activationToken.isEmpty()) qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    // A question or a window in front of it comes forward with it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void TForm1::endProgram() {
    keepPendingTiming();
    // A window of its own still open may be using the database.
    if (!QApplication::activeModalWidget()) runGuarded([this] { FormClose(); });
    application::terminate();
}

// Closing during a timing: "Oui" stops it as its button would, and the
// window closes only once it is stored; "Non" drops it.
// Closing during a timing: "Oui" stops it as its button would, and the
// window closes only once it is stored; "Non" drops it.
bool TForm1::mayCloseDuringTiming() {
    if (!Timing->running()) return true;
    const Instant at = Instant::now();
    const DateTime start = Timing->start();
    QString since = regional::timeToText(start.time());
    if (start.date() != at.wall.date()) since.prepend(regional::dateToText(start.date()) + u' ');
    const QString question = QStringLiteral(
                                 "Une surveillance est en cours (%1, depuis %2).\n"
                                 "Voulez-vous l'enregistrer avant de quitter ?")
                                 .arg(Timing->activity(), since);
    switch (messageBoxes().ask(question)) {
        case MessageBoxes::Answer::Cancel:
            return false;
        case MessageBoxes::Answer::No:
            Timing->drop();
            return true;
        case MessageBoxes::Answer::Yes:
            break;
    }
    if (!RichEdit->isHidden()) CommenterClick();
    runGuarded([&] { StopTiming(at); });
    return !Timing->running();
}

QString TForm1::TimedClient() const { return Timing->client(); }

void TForm1::Verrouille_autres(const QString& id) {
    DataModule2->LockOtherButtons(QStringLiteral("BP_") + id);
}

void TForm1::CommenterClick() {
    if (RichEdit->isHidden()) {
        DataModule2->HideActivityButtons();
        // The timed button stays, the box below it: the stop is one Tab
        // away from the comment.
        if (TColorButton* timed = timedButton()) {
            timed->show();
            RichEdit->move(RichEdit->x(), timed->y() + timed->height() + 4);
            setTabOrder(Commenter, RichEdit);
            setTabOrder(RichEdit, timed);
        }
        RichEdit->show();
        RichEdit->raise();
        ActivityColumn->refresh();
        Commenter->setText(QStringLiteral("&Fermer"));
        // Typing goes straight into the comment.
        RichEdit->setFocus();
        ActivityColumn->ensureVisible(RichEdit);
    } else {
        RichEdit->hide();
        DataModule2->ShowActivityButtons();
        Commenter->setText(QStringLiteral("&Commenter"));
        keepPendingTiming();
    }
}

void TForm1::RadioGroup1Click() {
    if (RadioGroup1->itemIndex() >= 0) {
        setLabelText(Label6, RadioGroup1->selectedText());
        Timing->setSelectedClient(RadioGroup1->selectedText());
    }
    keepPendingTiming();
}

void TForm1::Timer1Timer() {
    if (Closing) {
        Timer1->stop();
        return;
    }
    const Instant at = Instant::now();
    setLabelText(Label3, regional::timeToText(at.wall.time()));
    setLabelText(Label4, DayName(dayNumber(at.wall.date())));
    if (Timing->running()) {
        // Elapsed time, not ticks: ticks the loop could not deliver (a busy
        // machine, a wait on the database) are not lost from the duration.
        setLabelText(Label2, SecondsToHMS(Timing->elapsedSeconds(at)));
        showTimingState();
        application::setIcon(IconPhase ? QStringLiteral("ZORVA_ON") : QStringLiteral("MAINICON"));
        repaint();
        IconPhase = !IconPhase;
    }
    Timing->tick(at);
}

// ---- menu ------------------------------------------------------------------

void TForm1::Quitter1Click() { close(); }

// The lists' editors: the tracking window shows the changes from the next
// start, hence the restart offer after every use.
void TForm1::unesurveillance1Click() {
    DataModule2->tblTravaux.open();
    {
        TForm4 editor(this);
        modalRunner().exec(editor);
    }
    relance();
}

void TForm1::unclient1Click() {
    DataModule2->tblClients.open();
    {
        TForm3 editor(this);
        modalRunner().exec(editor);
    }
    relance();
}

// Rates and details take effect at once: no restart is offered.
void TForm1::destarifs1Click() {
    RatesEditor editor(this);
    modalRunner().exec(editor);
}

void TForm1::VerrouillerClick() {
    if (LockSettings(ReadConfig())) {
        TForm9 login([this] { relance(); }, this);
        execLogin(login);
        return;
    }
    TForm7 settings(this);
    if (modalRunner().exec(settings) == QDialog::Accepted) relance();
}

void TForm1::Voirlaide1Click() {
    bool callHelp = false;
    HelpHook(0, 0, callHelp);
}

void TForm1::relance() {
    const QString executable = paths::executablePath();
    if (!messageBoxes().confirm(QStringLiteral(
            "Voulez-vous relancer l'application pour appliquer les modifications ?"))) {
        ShowEmptyHints();
        return;
    }
    // The next copy offers a running timing, ended now; it waits for this
    // copy to end rather than bring it forward.
    keepPendingTiming();
    SingleInstance::handOver();
    shell().startProgram(executable);
    application::terminate();
}

void TForm1::Extraction1Click() {
    DataModule2->ADOTable1.open();
    TForm5 form(this);
    modalRunner().exec(form);
}

}  // namespace tavix
