#include "settings/md5.h"

#include <QList>
#include <array>
#include <cstdint>
#include <cstring>

namespace tavix {

namespace {

// RFC 1321, processed one 64-byte block at a time.
class Md5 {
public:
    void update(const unsigned char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            block_[used_++] = data[i];
            if (used_ == block_.size()) {
                transform();
                used_ = 0;
            }
        }
        length_ += size;
    }

    std::array<unsigned char, 16> finish() {
        const std::uint64_t bits = length_ * 8;
        static const unsigned char kPad[64] = {0x80};
        const std::size_t padding = used_ < 56 ? 56 - used_ : 120 - used_;
        update(kPad, padding);
        unsigned char lengthBytes[8];
        for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<unsigned char>(bits >> (8 * i));
        update(lengthBytes, 8);
        std::array<unsigned char, 16> digest{};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                digest[4 * i + j] = static_cast<unsigned char>(state_[i] >> (8 * j));
        return digest;
    }

private:
    static std::uint32_t rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

    void transform() {
        // Per-round shift amounts and the sine-derived constants of RFC 1321.
        static constexpr int kShift[64] = {
            7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 7,  12, 17, 22, 5,  9,  14, 20, 5,  9,
            14, 20, 5,  9,  14, 20, 5,  9,  14, 20, 4,  11, 16, 23, 4,  11, 16, 23, 4,  11, 16, 23,
            4,  11, 16, 23, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21, 6,  10, 15, 21};
        static constexpr std::uint32_t kT[64] = {
            0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
            0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
            0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
            0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
            0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
            0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
            0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
            0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
            0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
            0xeb86d391};

        std::uint32_t x[16];
        for (int i = 0; i < 16; ++i)
            x[i] = std::uint32_t(block_[4 * i]) | std::uint32_t(block_[4 * i + 1]) << 8 |
                   std::uint32_t(block_[4 * i + 2]) << 16 | std::uint32_t(block_[4 * i + 3]) << 24;

        std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
        for (int i = 0; i < 64; ++i) {
            std::uint32_t f;
            int k;
            if (i < 16) {
                f = (b & c) | (~b & d);
                k = i;
            } else if (i < 32) {
                f = (b & d) | (c & ~d);
                k = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                k = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                k = (7 * i) % 16;
            }
            const std::uint32_t next = b + rotl(a + f + kT[i] + x[k], kShift[i]);
            a = d;
            d = c;
            c = b;
            b = next;
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
    }

    std::array<std::uint32_t, 4> state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<unsigned char, 64> block_{};
    std::size_t used_ = 0;
    std::uint64_t length_ = 0;
};

// Windows-1252 bytes 0x80 to 0x9F. The five positions the code page leaves
// undefined round-trip to the C1 control characters, as Windows maps them.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char toWindows1252(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

QByteArray ToWindows1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    // By code point, so a character outside the BMP becomes one '?'.
    for (const uint c : text.toUcs4()) bytes.append(toWindows1252(c));
    return bytes;
}

QString NotInWindows1252(const QString& text) {
    QString missing;
    for (const char32_t c : text.toUcs4()) {
        if (c == U'?' || toWindows1252(c) != '?') continue;
        const QString one = QString::fromUcs4(&c, 1);
        if (!missing.contains(one)) missing += one;
    }
    return missing;
}

QByteArray Md5Digest(QByteArrayView bytes) {
    Md5 md5;
    md5.update(reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<std::size_t>(bytes.size()));
    const auto digest = md5.finish();
    return QByteArray(reinterpret_cast<const char*>(digest.data()), digest.size());
}

QString DigestHex(const QString& text) {
    return QString::fromLatin1(Md5Digest(ToWindows1252(text)).toHex());
}

}  // namespace tavix
