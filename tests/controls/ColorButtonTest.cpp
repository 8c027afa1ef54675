#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QVBoxLayout>
#include <QtTest/QTest>
#include <functional>

#include "controls/ColorButton.h"

using namespace tavix;

namespace {

class CountingButton : public TColorButton {
public:
    using TColorButton::TColorButton;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        TColorButton::paintEvent(event);
    }
};

void hoverIn(QWidget& w) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&w, &enter);
}

void hoverOut(QWidget& w) {
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &leave);
}

void settle() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

QFont testFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    return font;
}

QImage shot(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Bounding box of the pixels in area that are not the face colour.
QRect inkBox(const QImage& image, QRgb face, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) != face) box |= QRect(x, y, 1, 1);
    return box;
}

// The inside of a button's face, clear of frame and border.
QRect faceArea(const QWidget& w) { return w.rect().adjusted(6, 6, -6, -6); }

// Ink width of text drawn plainly with font, for comparison with the button.
int referenceInkWidth(const QFont& font, const QString& text) {
    QImage image(400, 60, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(20, 40), text);
    }
    return inkBox(image, qRgb(255, 255, 255), image.rect()).width();
}

// A button with a caption on a known face, ready to be grabbed.
struct Sample {
    explicit Sample(const QString& caption, QSize size = {200, 40}) {
        button.setText(caption);
        button.setFont(testFont());
        button.resize(size);
        button.setBackColor(clSilver);
        button.setForeColor(clRed);
    }
    QImage image() { return shot(button); }
    QRect ink() { return inkBox(image(), qRgb(192, 192, 192), faceArea(button)); }
    TColorButton button;
};

}  // namespace

TEST(ColorButtonTest, StartsLikeAStandardButtonInTheInitialColours) {
    TColorButton button;
    EXPECT_EQ(button.BackColor(), clBtnFace);
    EXPECT_EQ(button.ForeColor(), clBtnText);
    EXPECT_EQ(button.HoverColor(), clBtnFace);
    EXPECT_EQ(button.BorderColor(), clBlack);
    EXPECT_EQ(button.size(), QSize(75, 25));
    EXPECT_EQ(button.focusPolicy(), Qt::StrongFocus);
    EXPECT_FALSE(button.isActive());
    EXPECT_EQ(button.Tag(), 0);
}

TEST(ColorButtonTest, SettersRepaintOnlyWhenTheColourChanges) {
    const struct {
        const char* name;
        TColor (TColorButton::*get)() const;
        void (TColorButton::*set)(TColor);
    } properties[] = {
        {"BackColor", &TColorButton::BackColor, &TColorButton::setBackColor},
        {"ForeColor", &TColorButton::ForeColor, &TColorButton::setForeColor},
        {"HoverColor", &TColorButton::HoverColor, &TColorButton::setHoverColor},
        {"BorderColor", &TColorButton::BorderColor, &TColorButton::setBorderColor},
    };
    QWidget window;
    auto* button = new CountingButton(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const auto& p : properties) {
        settle();
        button->paints = 0;
        (button->*p.set)((button->*p.get)());
        settle();
        EXPECT_EQ(button->paints, 0) << p.name << ": same value";

        (button->*p.set)(clSkyBlue);
        EXPECT_EQ((button->*p.get)(), clSkyBlue) << p.name;
        settle();
        EXPECT_GE(button->paints, 1) << p.name << ": new value";
    }
}

TEST(ColorButtonTest, HoverSwapsTheFaceColourAndRestoresTheSavedOne) {
    constexpr TColor kNone = -1;
    const struct {
        const char* what;
        TColor back, hover, setWhileOver, whileOver, afterwards;
    } cases[] = {
        {"hover colour shown", clSilver, clGray, kNone, clGray, clSilver},
        {"hover equal to face", clSilver, clSilver, kNone, clSilver, clSilver},
        {"initial colours", clBtnFace, clBtnFace, kNone, clBtnFace, clBtnFace},
        {"set while over is replaced", clSilver, clGray, clNavy, clNavy, clSilver},
    };
    for (const auto& c : cases) {
        TColorButton button;
        button.setBackColor(c.back);
        button.setHoverColor(c.hover);
        hoverIn(button);
        if (c.setWhileOver != kNone) button.setBackColor(c.setWhileOver);
        EXPECT_EQ(button.BackColor(), c.whileOver) << c.what;
        hoverOut(button);
        EXPECT_EQ(button.BackColor(), c.afterwards) << c.what;
        EXPECT_EQ(button.HoverColor(), c.hover) << c.what;
    }
}

TEST(ColorButtonTest, UnpairedEnterAndLeaveKeepTheFace) {
    TColorButton button;
    button.setBackColor(clSilver);
    button.setHoverColor(clGray);

    hoverOut(button);  // no enter before: nothing saved to put back
    EXPECT_EQ(button.BackColor(), clSilver);

    hoverIn(button);
    hoverIn(button);  // a repeated enter must not save the hover colour
    hoverOut(button);
    EXPECT_EQ(button.BackColor(), clSilver);
}

TEST(ColorButtonTest, FaceIsFilledWithBackColor) {
    const struct {
        const char* what;
        TColor color;
        QColor expected;
    } cases[] = {
        {"silver", clSilver, QColor(192, 192, 192)},
        {"byte order red-green-blue", clSkyBlue, QColor(166, 202, 240)},
        {"system colour", clBtnFace, QGuiApplication::palette().color(QPalette::Button)},
    };
    for (const auto& c : cases) {
        TColorButton button;
        button.setBackColor(c.color);
        const QImage image = shot(button);
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), c.expected) << c.what;
    }
}

TEST(ColorButtonTest, CaptionIsBoldInForeColorWhateverTheFont) {
    const QString caption = QStringLiteral("Valider et fermer");
    Sample plain(caption);
    Sample styled(caption);
    QFont font = testFont();
    font.setItalic(true);
    font.setUnderline(true);
    font.setStrikeOut(true);
    styled.button.setFont(font);

    const QImage image = plain.image();
    EXPECT_EQ(styled.image(), image) << "italic, underline and strike-out are dropped";

    int foreground = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) foreground += image.pixel(x, y) == qRgb(255, 0, 0);
    EXPECT_GT(foreground, 30) << "solid caption pixels in ForeColor";

    QFont bold = testFont();
    bold.setBold(true);
    const int boldWidth = referenceInkWidth(bold, caption);
    ASSERT_GT(boldWidth - referenceInkWidth(testFont(), caption), 4) << "fonts too alike to tell";
    EXPECT_NEAR(plain.ink().width(), boldWidth, 1);
}

TEST(ColorButtonTest, AmpersandUnderlinesWhenEnabledAndShowsWhenDisabled) {
    QFont bold = testFont();
    bold.setBold(true);
    Sample marked(QStringLiteral("&Recalculer"));
    Sample unmarked(QStringLiteral("Recalculer"));

    // Enabled: same letters in the same place, plus an underline below them.
    const QImage withMark = marked.image();
    const QImage without = unmarked.image();
    const QRect letters = unmarked.ink();
    EXPECT_NEAR(letters.width(), referenceInkWidth(bold, QStringLiteral("Recalculer")), 1);
    QRect changed;
    for (int y = 0; y < withMark.height(); ++y)
        for (int x = 0; x < withMark.width(); ++x)
            if (withMark.pixel(x, y) != without.pixel(x, y)) changed |= QRect(x, y, 1, 1);
    ASSERT_FALSE(changed.isEmpty()) << "no underline drawn";
    EXPECT_GT(changed.top(), letters.bottom() - 2) << "only the underline differs";
    EXPECT_LT(changed.width(), letters.width() / 3) << "underline under one letter";

    // Disabled: embossed, "&" drawn as a character (one pixel wider for the
    // light copy offset by one).
    marked.button.setEnabled(false);
    const QRect embossed = marked.ink();
    EXPECT_NEAR(embossed.width(), referenceInkWidth(bold, QStringLiteral("&Recalculer")) + 1, 1);
    EXPECT_GT(embossed.width(), letters.width() + 5);
}

TEST(ColorButtonTest, DoubledAmpersandShowsOneInEveryState) {
    QFont bold = testFont();
    bold.setBold(true);
    const int expected = referenceInkWidth(bold, QStringLiteral("R&D"));
    const struct {
        const char* state;
        std::function<void(TColorButton&)> enter;
        int extra;  // the greyed caption's light copy is one pixel to the right
    } cases[] = {
        {"enabled", [](TColorButton&) {}, 0},
        {"disabled", [](TColorButton& b) { b.setEnabled(false); }, 1},
        {"hovered", [](TColorButton& b) { hoverIn(b); }, 0},
        {"pressed", [](TColorButton& b) { b.setDown(true); }, 0},
    };
    for (const auto& c : cases) {
        Sample sample(QStringLiteral("R&&D"));
        sample.button.setHoverColor(clSilver);
        c.enter(sample.button);
        EXPECT_NEAR(sample.ink().width(), expected + c.extra, 1) << c.state;
    }
}

TEST(ColorButtonTest, EveryButtonIsAsHighAsItsCaptionNeeds) {
    const struct {
        int pixelSize;
        bool inLayout;
    } cases[] = {{13, true}, {13, false}, {20, true}, {20, false}, {32, true}, {32, false}};
    for (const auto& c : cases) {
        QWidget window;
        QFont font = testFont();
        font.setPixelSize(c.pixelSize);
        window.setFont(font);
        auto* button = new TColorButton(&window);
        button->setText(QStringLiteral("&Valider"));
        button->setForeColor(clRed);
        if (c.inLayout) {
            auto* layout = new QHBoxLayout(&window);
            layout->addStretch(1);
            layout->addWidget(button);
        } else {
            button->setGeometry(10, 10, 200, 25);  // a height given by a window
        }
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        settle();
        QFont bold = font;
        bold.setBold(true);
        EXPECT_GE(button->height(), QFontMetrics(bold).height() + 16)
            << c.pixelSize << (c.inLayout ? " in a layout" : " placed");
        // The letters keep clear of the border lines (the rows down to 5 and
        // from height - 5 on) by at least one pixel.
        const QImage image = shot(*button);
        QRect red;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel(image.pixel(x, y));
                if (pixel.red() > 150 && pixel.green() < 100 && pixel.blue() < 100)
                    red |= QRect(x, y, 1, 1);
            }
        ASSERT_FALSE(red.isEmpty());
        EXPECT_GE(red.top(), 7) << c.pixelSize;
        EXPECT_LE(red.bottom(), button->height() - 7) << c.pixelSize;
    }
}

TEST(ColorButtonTest, PressedFaceMovesOnePixelRightAndDown) {
    Sample sample(QStringLiteral("Valider"));
    const QRect up = sample.ink();
    sample.button.setDown(true);
    EXPECT_EQ(sample.ink(), up.translated(1, 1));
}

TEST(ColorButtonTest, ShapeIsARoundedRectangleFollowingTheSize) {
    QWidget window;
    window.resize(300, 100);
    auto* button = new TColorButton(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const QSize size : {QSize(75, 25), QSize(241, 40), QSize(129, 40)}) {
        button->resize(size);
        settle();
        const int w = size.width(), h = size.height();
        const QRegion mask = button->mask();
        EXPECT_EQ(mask.boundingRect(), QRect(3, 3, w - 5, h - 5)) << w << "x" << h;
        for (const QPoint corner : {QPoint(3, 3), QPoint(w - 3, 3), QPoint(3, h - 3),
                                    QPoint(w - 3, h - 3), QPoint(0, 0), QPoint(w - 1, h - 1)})
            EXPECT_FALSE(mask.contains(corner))
                << w << "x" << h << " " << corner.x() << "," << corner.y();
        for (const QPoint inside : {QPoint(w / 2, 3), QPoint(3, h / 2), QPoint(w / 2, h / 2),
                                    QPoint(w - 3, h / 2), QPoint(w / 2, h - 3)})
            EXPECT_TRUE(mask.contains(inside))
                << w << "x" << h << " " << inside.x() << "," << inside.y();
    }
}

TEST(ColorButtonTest, ShowingDoesNotRepaintForever) {
    QWidget window;
    auto* button = new CountingButton(&window);
    button->setText(QStringLiteral("&Voir"));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    settle();
    const int afterShow = button->paints;
    EXPECT_LE(afterShow, 3);
    settle();
    EXPECT_EQ(button->paints, afterShow);
}

TEST(ColorButtonTest, ActiveFollowsWhatEnterWouldPress) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* first = new TColorButton;
    auto* second = new TColorButton;
    auto* edit = new QLineEdit;
    layout->addWidget(first);
    layout->addWidget(second);
    layout->addWidget(edit);
    first->setDefault(true);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    first->setFocus();
    EXPECT_TRUE(first->isActive());
    EXPECT_FALSE(second->isActive());

    second->setFocus();
    EXPECT_FALSE(first->isActive()) << "another push button has the focus";
    EXPECT_TRUE(second->isActive());

    edit->setFocus();
    EXPECT_TRUE(first->isActive()) << "the default button answers Enter";
    EXPECT_FALSE(second->isActive());

    // Focus moving in another window changes nothing here.
    QWidget other;
    auto* elsewhere = new TColorButton(&other);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    elsewhere->setFocus();
    EXPECT_TRUE(first->isActive());
}

// The focus shows at once whatever the face: a ring of black and white
// inside the border, on the focused button only.
TEST(ColorButtonTest, TheFocusedButtonShowsARingOnAnyFace) {
    for (const TColor face : {clSilver, clNavy, TColor(0x00FFFF) /* yellow */}) {
        SCOPED_TRACE(face);
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* first = new TColorButton;
        auto* second = new TColorButton;
        for (TColorButton* b : {first, second}) {
            b->setText(QStringLiteral("&Fermer"));
            b->setFixedSize(120, 27);  // the windows' own size
            b->setBackColor(face);
            layout->addWidget(b);
        }
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        second->setFocus();
        settle();
        const QImage unfocused = shot(*first);
        first->setFocus();
        settle();
        const QImage focused = shot(*first);
        // Pixels of the ring: pure black or white where the unfocused button
        // showed the face, along each side.
        int black = 0;
        int white = 0;
        int changed = 0;
        for (int y = 0; y < focused.height(); ++y)
            for (int x = 0; x < focused.width(); ++x) {
                if (focused.pixel(x, y) == unfocused.pixel(x, y)) continue;
                ++changed;
                black += focused.pixel(x, y) == qRgb(0, 0, 0);
                white += focused.pixel(x, y) == qRgb(255, 255, 255);
            }
        EXPECT_GE(black, 120) << "dashes all round";
        EXPECT_GE(white, 40) << "between the dashes";
        EXPECT_GE(changed, 2 * (120 + 27)) << "a ring, not a pixel's shift";
    }
}

// Enter typed in a box or on a check box presses no button of the window
// unless one was made its default; on a focused button it presses that one.
TEST(ColorButtonTest, EnterPressesOnlyTheFocusedOrTheDefaultButton) {
    QDialog window;
    auto* layout = new QVBoxLayout(&window);
    auto* browse = new TColorButton;
    auto* ok = new TColorButton;
    auto* edit = new QLineEdit;
    auto* box = new QCheckBox(QStringLiteral("Case"));
    for (QWidget* w : std::initializer_list<QWidget*>{edit, browse, box, ok}) layout->addWidget(w);
    int browsed = 0, validated = 0;
    QObject::connect(browse, &QPushButton::clicked, [&] { ++browsed; });
    QObject::connect(ok, &QPushButton::clicked, [&] { ++validated; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(browse->autoDefault());
    EXPECT_FALSE(browse->isDefault()) << "not made the default by showing the window";

    for (QWidget* target : std::initializer_list<QWidget*>{edit, box}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    }
    EXPECT_EQ(browsed, 0);
    EXPECT_EQ(validated, 0);
    EXPECT_FALSE(browse->isActive());
    EXPECT_TRUE(window.isVisible());

    browse->setFocus();
    QTest::keyClick(browse, Qt::Key_Return);
    EXPECT_EQ(browsed, 1);

    ok->setDefault(true);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(validated, 1);
    EXPECT_EQ(browsed, 1);
}
