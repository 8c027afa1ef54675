#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.h"

namespace tavix::fuzz {

void broken(const char* promise, const QString& input, const QString& detail) {
    std::fprintf(stderr, "Broken promise: %s\nInput: %s\n%s\n", promise,
                 input.left(2000).toUtf8().constData(), detail.toUtf8().constData());
    std::abort();
}

QString textOf(const uint8_t* data, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

}  // namespace tavix::fuzz
