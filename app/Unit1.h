#pragma once

#include <QMainWindow>
#include <QString>
#include <exception>
#include <optional>
#include <utility>

#include "app/TimingSession.h"
#include "data/PendingTiming.h"
#include "platform/DateTime.h"

class QAction;
class QDialog;
class QFrame;
class QLabel;
class QMenuBar;
class QTextEdit;
class QTimer;
class QWidget;

namespace tavix {

class EmptyListHint;
class ScrollColumn;
class TColorButton;
class TRadioGroup;

// The tracking window: date, time, day and stopwatch, one button per
// activity, the clients as radio buttons.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, named as the window's designer named them.
    QWidget* Panel1;
    QWidget* Panel2;
    QFrame* Shape1;
    QLabel* Label5;
    QLabel* Label6;
    TRadioGroup* RadioGroup1;
    QLabel* Image1;
    QLabel* Image2;
    QLabel* Label4;
    QLabel* Label1;
    QLabel* Label7;
    QLabel* Label2;
    QLabel* Label3;
    // The activity buttons, the comment box and "&Commenter" live in it; it
    // scrolls when the buttons do not fit.
    ScrollColumn* ActivityColumn;
    QTextEdit* RichEdit;
    TColorButton* Commenter;
    QTimer* Timer1;
    QMenuBar* MainMenu1;
    QAction* Quitter1;
    QAction* Rajouter1;
    QAction* unesurveillance1;
    QAction* unclient1;
    QAction* destarifs1;
    QAction* Extraction1;
    QAction* Avancs1;
    QAction* Verrouiller;
    QAction* Aide1;
    QAction* Voirlaide1;
    // In place of an empty activity column or client list: what to do.
    EmptyListHint* ActivityHint;
    EmptyListHint* ClientHint;

    // State.
    qint32 Config = 0;
    QString UserName;
    QString HelpPath;
    bool Closing = false;
    // The running timing; the window shows it and follows its signals.
    TimingSession* Timing;

    // Lifecycle.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void FormResize();
    void FormKeyDown(int key, Qt::KeyboardModifiers modifiers);
    bool HelpHook(quint16 command, qint32 helpData, bool& callHelp);

    // Timing.
    void ButtonClick(TColorButton* sender);
    void Verrouille_autres(const QString& id);
    void CommenterClick();
    void RadioGroup1Click();
    void Timer1Timer();

    // Menu.
    void Quitter1Click();
    void unesurveillance1Click();
    void unclient1Click();
    void destarifs1Click();
    void Extraction1Click();
    void VerrouillerClick();
    void Voirlaide1Click();

    void relance();

    // Offers to store the timings an earlier run could not store.
    void RecoverPendingTimings();

    // Another start of the program asked for this window.
    void bringForward(const QString& activationToken = {});
    // The session ends or the program was asked to stop: a running timing is
    // kept for the next start, ended now; the program ends without asking.
    void endProgram();
    // ---- The running timing, for the tray and the away time.
    // The timed activity's button; nullptr when idle.
    TColorButton* TimedButton() const { return timedButton(); }
    // The client the timing would be stored with: the selected one, or the
    // chooser's answer kept; empty when not known yet.
    QString TimedClient() const;
    // Ends the running timing at `end` (the chooser first when no client is
    // known); with `resume`, the same activity and client are timed again
    // from then. False when the timing goes on unchanged.
    bool CutTiming(const Instant& end, const std::optional<Instant>& resume);
    // The stop of the running timing at the instant `at` of the click that
    // asked for it: the chooser when no client is known, then the entry.
    // False when it goes on (no client chosen); raises when the log refuses.
    bool StopTiming(const Instant& at);

    // True once the first showing's steps have run, whatever they met.
    bool firstShowingRan() const { return firstShowingRan_; }

    // False while a login window is up: nothing of this window acts then,
    // whatever asks (mouse, keyboard, assistive technology).
    bool acceptsActions() const { return !loginShown_; }

    // Shows or hides the hints of the empty lists after the lists are built.
    void ShowEmptyHints();

    // The clients and the activity buttons, from the open database.
    void BuildLists();
    // The database opened after the start: lists, buttons and what an
    // earlier run left, as the start would have given them.
    void DatabaseOpened();
    // The status line: how many entries wait on this workstation for the
    // server, and a wait on the server while it lasts.
    QLabel* WaitingLabel;
    void ShowWaiting(int count);
    void ShowServerWait(bool waiting, const QString& server);

signals:
    // The first showing's steps have run; the window is on screen.
    void firstShown();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void layoutPanels();
    void applySavedGeometry();
    void runFirstShowing();
    QString logUser() const;
    TColorButton* timedButton() const;
    TColorButton* activityButton(int id) const;
    void keepPendingTiming();
    // The chooser's answer for a timing without a client; false: none.
    bool chooseClient();
    void syncSelection();
    void onTimingStarted();
    void onTimingStopped(const LogEntry& entry);
    // The timed button checked and described, the title naming the activity.
    void showTimingState();
    // Says the time timed so far (or that nothing is timed).
    void sayElapsed();
    // The control a keyboard user starts from: the first activity button
    // that can be pressed, else what the empty lists offer, else a client.
    QWidget* firstUsefulControl() const;
    void focusFirstUsefulControl();
    bool mayCloseDuringTiming();
    // Shows a login window modally with this window's controls disabled
    // and its handlers refusing; returns the login's result.
    int execLogin(QDialog& login);
    // A handler for connect(): guarded, and refused while a login is up.
    template <class F>
    auto userAction(F f);
    // The hints of ShowEmptyHints: an empty list, or rows stored since the
    // list was built.
    struct HintTexts {
        QString empty, add, stored, edit;
    };
    static qint64 storedCount(const QString& table);
    static void showHintFor(EmptyListHint& hint, qint64 stored, const HintTexts& texts,
                            bool locked);
    PendingTiming::Log entryLog() const;

    void showStatusLine();

    bool activated_ = false;
    int waitingCount_ = 0;
    bool serverWaitShown_ = false;
    bool firstShowingStarted_ = false;
    bool firstShowingRan_ = false;
    bool loginShown_ = false;
    // The activity of the running timing, kept for what is said at its stop.
    QString timedActivity_;
    std::exception_ptr creationError_;
};

// Whether the next tick shows the "on" icon; shared by the whole process.
extern bool IconPhase;

// The program's single tracking window, set while one exists.
extern TForm1* Form1;

}  // namespace tavix
