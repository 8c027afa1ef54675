#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <vector>

namespace tavix {

// UTF-16 length of UTF-8 text, as QString::size() counts it.
qint64 utf16Length(const char* p, qint64 n);

// The report's UTF-8 text as written: chunks that never move once written,
// each holding whole lines, and where each line starts. A long report grows
// without copying what it already holds, and is shown while it grows.
class ReportText {
public:
    ReportText() = default;
    explicit ReportText(QByteArrayView text) { append(text); }
    ReportText(const ReportText&) = delete;
    ReportText& operator=(const ReportText&) = delete;

    qint64 size() const { return size_; }
    int lineCount() const { return static_cast<int>(lines_.size()); }
    qint64 lineStart(int line) const { return lines_[line]; }
    qint64 lineEnd(int line) const;  // before its CR LF or LF
    qint64 lineEndWithBreak(int line) const;
    QByteArrayView line(int line) const;                 // without its line end
    QByteArrayView bytes(qint64 from, qint64 to) const;  // within one line
    QByteArray copy(qint64 from, qint64 to) const;       // any range
    QByteArray toByteArray() const { return copy(0, size_); }
    QString toString() const;

    // UTF-16 offsets, as assistive technology counts: counted on first use,
    // without copying the text.
    qint64 characterCount() const;
    qint64 lineCharacterStart(int line) const;
    int lineAtCharacter(qint64 offset) const;

    // Writing: room for maxBytes, then how many were written. A write ends
    // at a line end, except the text's last.
    char* beginWrite(qsizetype maxBytes);
    void endWrite(qsizetype used);
    void append(QByteArrayView text);

private:
    struct Chunk {
        std::unique_ptr<char[]> data;
        qint64 start = 0;
        qsizetype used = 0, capacity = 0;
    };
    const Chunk& chunkAt(qint64 offset) const;
    void countCharacters(int uptoLine) const;

    std::vector<Chunk> chunks_;
    std::vector<qint64> lines_;
    qint64 size_ = 0;
    bool lineOpen_ = false;  // the last line has no line end yet
    mutable std::vector<qint64> characterStarts_;
    mutable qint64 characterCount_ = -1;
};

}  // namespace tavix
