#pragma once

#include <QtGlobal>

namespace tavix::db {

// The numbers of the stored form 'YYYY-MM-DD HH:MM:SS' (or the date alone,
// the time then zero), unchecked as a date; false for any other shape.
struct StoredParts {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
// Inline: the report reads two per row, through this alone.
inline bool splitStored(const char* p, qsizetype n, StoredParts& t) {
    const auto digits = [](const char* q, int count, int& out) {
        int v = 0;
        for (int i = 0; i < count; ++i) {
            if (q[i] < '0' || q[i] > '9') return false;
            v = v * 10 + (q[i] - '0');
        }
        out = v;
        return true;
    };
    t.hour = t.minute = t.second = 0;
    return (n == 10 || n == 19) && p[4] == '-' && p[7] == '-' && digits(p, 4, t.year) &&
           digits(p + 5, 2, t.month) && digits(p + 8, 2, t.day) &&
           (n == 10 || (p[10] == ' ' && p[13] == ':' && p[16] == ':' && digits(p + 11, 2, t.hour) &&
                        digits(p + 14, 2, t.minute) && digits(p + 17, 2, t.second)));
}

}  // namespace tavix::db
