#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QRegularExpression>

#include "common/Fakes.h"
#include "settings/md5.h"

using namespace tavix;

namespace {

QString oracle(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

TEST(DigestTest, Rfc1321Suite) {
    const struct {
        const char* text;
        const char* digest;
    } suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : suite) EXPECT_EQ(DigestHex(c.text), c.digest) << c.text;
}

TEST(DigestTest, EveryLengthAroundTheBlockBoundaries) {
    QByteArray bytes;
    for (int n = 0; n <= 200; ++n) {
        EXPECT_EQ(QString::fromLatin1(Md5Digest(bytes).toHex()), oracle(bytes)) << n;
        bytes.append(static_cast<char>((n * 37 + 11) & 0xFF));
    }
    const QByteArray large(1 << 20, '\xA5');
    EXPECT_EQ(QString::fromLatin1(Md5Digest(large).toHex()), oracle(large));
}

TEST(DigestTest, TextIsDigestedAsWindows1252) {
    const struct {
        const char* text;
        QByteArray bytes;
    } cases[] = {
        {"mot de passe", "mot de passe"},
        {"été", "\xE9t\xE9"},
        {"€ ’ œ", "\x80 \x92 \x9C"},
        {"ÿ\u00A0«»", "\xFF\xA0\xAB\xBB"},
        {"\u2026\u0160\u017D\u2122\u0178", "\x85\x8A\x8E\x99\x9F"},
        {"\u0081\u008D\u008F\u0090\u009D", "\x81\x8D\x8F\x90\x9D"},  // undefined in the code page
        {"\u0080\u0100 \u4E2D \U0001F600", "?? ? ?"},                // not representable
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(ToWindows1252(text), c.bytes) << c.text;
        EXPECT_EQ(DigestHex(text), oracle(c.bytes)) << c.text;
    }
}

TEST(DigestTest, CharactersWithoutAWindows1252Byte) {
    const struct {
        const char* text;
        const char* missing;
    } cases[] = {
        {"mot de passe ?", ""}, {"été € œ ÿ", ""},
        {"\u0081\u009D", ""},   {"пароль", "пароль"},
        {"папа", "па"},         {"a\u0100b\U0001F600c\u0100", "\u0100\U0001F600"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NotInWindows1252(QString::fromUtf8(c.text)), QString::fromUtf8(c.missing))
            << c.text;
}

TEST(DigestTest, DigestTextShape) {
    static const QRegularExpression shape(QStringLiteral("^[0-9a-f]{32}$"));
    for (const char* text : {"x", "Tavix", "p@ss w0rd!", "très long mot de passe € ’"})
        EXPECT_TRUE(shape.match(DigestHex(QString::fromUtf8(text))).hasMatch()) << text;
}

}  // namespace
