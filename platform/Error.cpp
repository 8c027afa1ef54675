#include "platform/Error.h"

namespace tavix {

Error::Error(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

ConvertError notAnInteger(const QString& text) {
    return ConvertError(QStringLiteral("'%1' n'est pas une valeur entière correcte").arg(text));
}

int toInteger(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    int value = 0;
    if (t.startsWith(u'$')) {
        const QStringView digits = QStringView(t).mid(1);
        // Hex texts name 32-bit patterns such as $FF00000F: read unsigned, keep the bits.
        const uint u = digits.isEmpty() || digits.startsWith(u'-') || digits.startsWith(u'+')
                           ? 0
                           : digits.toUInt(&ok, 16);
        value = static_cast<int>(u);
    } else {
        const QStringView digits = t.startsWith(u'+') ? QStringView(t).mid(1) : QStringView(t);
        if (!digits.startsWith(u'-') || digits.size() > 1) value = digits.toInt(&ok, 10);
        if (digits.startsWith(u'+')) ok = false;
    }
    if (!ok) throw notAnInteger(text);
    return value;
}

QString withFullStop(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.') return message + u'.';
    return message;
}

}  // namespace tavix
