#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <algorithm>

#include "resources/Resources.h"

namespace {

QImage load(const char* path) {
    tavix::initResources();
    return QImage(QString::fromLatin1(path)).convertToFormat(QImage::Format_ARGB32);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(ResourcesTest, PicturesHaveTheirSizes) {
    const struct {
        const char* path;
        QSize size;
    } pictures[] = {
        {":/icons/MAINICON.png", {32, 32}}, {":/icons/MAINICON-256.png", {256, 256}},
        {":/icons/ZORVA_ON.png", {32, 32}}, {":/pictures/background.png", {757, 603}},
        {":/pictures/logo.png", {81, 113}}, {":/pictures/header.png", {81, 81}},
    };
    for (const auto& p : pictures) {
        const QImage image = load(p.path);
        EXPECT_FALSE(image.isNull()) << p.path;
        EXPECT_EQ(image.size(), p.size) << p.path;
    }
}

TEST(ResourcesTest, UnencodedBackgroundIsThePicturePixelForPixel) {
    const QImage background = tavix::backgroundImage();
    EXPECT_EQ(background.format(), QImage::Format_RGB32);
    EXPECT_EQ(background.convertToFormat(QImage::Format_ARGB32), load(":/pictures/background.png"));
}

TEST(ResourcesTest, ZorvaOnIsTheIconOnARedSquare) {
    const QImage icon = load(":/icons/MAINICON.png");
    const QImage on = load(":/icons/ZORVA_ON.png");
    int transparent = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            const QColor i = icon.pixelColor(x, y), o = on.pixelColor(x, y);
            if (i.alpha() == 255) {
                EXPECT_EQ(o, i) << x << "," << y;
            }
            if (i.alpha() == 0 && x > 2 && y > 2 && x < 29 && y < 29) {
                ++transparent;
                EXPECT_EQ(o.alpha(), 255);
                EXPECT_GT(o.red(), 2 * std::max(o.green(), o.blue())) << x << "," << y;
            }
        }
    }
    EXPECT_GT(transparent, 50) << "the icon itself has a transparent background";
}

TEST(ResourcesTest, BackgroundStripIsDarkFor65Of603Rows) {
    const QImage image = load(":/pictures/background.png");
    for (int y = 0; y < image.height(); ++y) {
        for (const int x : {0, 378, 756}) {
            const int lightness = image.pixelColor(x, y).lightness();
            if (y < 65) {
                EXPECT_LT(lightness, 40) << "row " << y;
            } else {
                EXPECT_GT(lightness, 150) << "row " << y;
            }
        }
    }
}

TEST(ResourcesTest, HelpIsFrenchAndCopiedBesideTheExecutable) {
    tavix::initResources();
    const QByteArray page = contents(QStringLiteral(":/help/index.html"));
    EXPECT_TRUE(page.contains("<html lang=\"fr\">"));
    EXPECT_TRUE(page.contains("charset=\"utf-8\""));
    EXPECT_TRUE(page.contains("Client non sélectionné"));
    EXPECT_EQ(contents(QStringLiteral(TAVIX_HELP_DIR "/index.html")), page);
}
