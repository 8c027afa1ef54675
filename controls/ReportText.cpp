#include "controls/ReportText.h"

#include <algorithm>
#include <cstring>

namespace tavix {

namespace {
// Chunks of this size: big enough to be few, small enough that growing
// never copies much nor pauses.
constexpr qsizetype kChunkBytes = qsizetype(1) << 20;
}  // namespace

qint64 utf16Length(const char* p, qint64 n) {
    qint64 count = 0;
    for (qint64 i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        count += (b & 0xC0) != 0x80;
        count += b >= 0xF0;
    }
    return count;
}

// ReportText

const ReportText::Chunk& ReportText::chunkAt(qint64 offset) const {
    const auto it = std::upper_bound(chunks_.begin(), chunks_.end(), offset,
                                     [](qint64 o, const Chunk& c) { return o < c.start; });
    return *(it - 1);
}

qint64 ReportText::lineEndWithBreak(int line) const {
    return line + 1 < lineCount() ? lines_[line + 1] : size_;
}

qint64 ReportText::lineEnd(int line) const {
    const qint64 from = lines_[line];
    qint64 to = lineEndWithBreak(line);
    if (to == from) return to;
    const Chunk& c = chunkAt(from);
    const char* base = c.data.get() - c.start;
    while (to > from && (base[to - 1] == '\n' || base[to - 1] == '\r')) --to;
    return to;
}

QByteArrayView ReportText::bytes(qint64 from, qint64 to) const {
    if (to <= from) return {};
    const Chunk& c = chunkAt(from);
    return QByteArrayView(c.data.get() + (from - c.start), to - from);
}

QByteArrayView ReportText::line(int line) const { return bytes(lines_[line], lineEnd(line)); }

QByteArray ReportText::copy(qint64 from, qint64 to) const {
    QByteArray out;
    from = std::max<qint64>(from, 0);
    to = std::min(to, size_);
    if (to <= from) return out;
    out.reserve(to - from);
    for (const Chunk& c : chunks_) {
        const qint64 a = std::max(from, c.start);
        const qint64 b = std::min(to, c.start + c.used);
        if (a < b) out.append(c.data.get() + (a - c.start), b - a);
    }
    return out;
}

QString ReportText::toString() const {
    QString out;
    out.reserve(characterCount());
    for (const Chunk& c : chunks_) out += QString::fromUtf8(c.data.get(), c.used);
    return out;
}

void ReportText::countCharacters(int uptoLine) const {
    uptoLine = std::min(uptoLine, lineCount() - 1);
    if (characterStarts_.empty() && uptoLine >= 0) characterStarts_.push_back(0);
    for (int k = static_cast<int>(characterStarts_.size()); k <= uptoLine; ++k) {
        const QByteArrayView previous = bytes(lines_[k - 1], lines_[k]);
        characterStarts_.push_back(characterStarts_.back() +
                                   utf16Length(previous.data(), previous.size()));
    }
}

qint64 ReportText::lineCharacterStart(int line) const {
    countCharacters(line);
    return characterStarts_[line];
}

qint64 ReportText::characterCount() const {
    if (lines_.empty()) return 0;
    const int last = lineCount() - 1;
    const QByteArrayView tail = bytes(lines_[last], size_);
    return lineCharacterStart(last) + utf16Length(tail.data(), tail.size());
}

int ReportText::lineAtCharacter(qint64 offset) const {
    if (lines_.empty()) return -1;
    countCharacters(lineCount() - 1);
    const auto it = std::upper_bound(characterStarts_.begin(), characterStarts_.end(), offset);
    return std::max(0, static_cast<int>(it - characterStarts_.begin()) - 1);
}

char* ReportText::beginWrite(qsizetype maxBytes) {
    if (chunks_.empty() || chunks_.back().capacity - chunks_.back().used < maxBytes) {
        Chunk c;
        c.capacity = std::max(kChunkBytes, maxBytes);
        c.data = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(c.capacity));
        c.start = size_;
        chunks_.push_back(std::move(c));
    }
    Chunk& c = chunks_.back();
    return c.data.get() + c.used;
}

void ReportText::endWrite(qsizetype used) {
    if (used <= 0) return;
    Chunk& c = chunks_.back();
    const char* begin = c.data.get() + c.used;
    const char* end = begin + used;
    const qint64 at = c.start + c.used;
    if (!lineOpen_) {
        lines_.push_back(at);
        lineOpen_ = true;
    }
    for (const char* p = begin;
         (p = static_cast<const char*>(std::memchr(p, '\n', end - p))) != nullptr;) {
        ++p;
        if (p == end) {
            lineOpen_ = false;  // a final line end adds no empty line
            break;
        }
        lines_.push_back(at + (p - begin));
    }
    c.used += used;
    size_ += used;
}

void ReportText::append(QByteArrayView text) {
    if (text.isEmpty()) return;
    char* out = beginWrite(text.size());
    std::memcpy(out, text.data(), static_cast<size_t>(text.size()));
    endWrite(text.size());
}

}  // namespace tavix
