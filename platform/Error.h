#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace tavix {

// Base of every error the program raises. Handlers let these propagate to
// the application's default error handler unless they have a reason to catch.
class Error : public std::exception {
public:
    explicit Error(QString message);
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// A text that should hold a number (or a colour) does not.
class ConvertError : public Error {
public:
    using Error::Error;
};

// The settings store refused a read or a write.
class RegistryError : public Error {
public:
    using Error::Error;
};

// An operation given up for a reason the user has just been shown; the
// default error handler shows nothing for it.
class AbortError : public Error {
public:
    AbortError() : Error(QString()) {}
};

// A list was indexed outside its bounds.
class ListIndexError : public Error {
public:
    using Error::Error;
};

// "'<text>' n'est pas une valeur entière correcte"
ConvertError notAnInteger(const QString& text);

// Decimal integer conversion as the settings use it: surrounding blanks are
// tolerated, anything else raises notAnInteger. "$" introduces hexadecimal.
int toInteger(const QString& text);

// The message as the default error handler shows it: a full stop is added
// when the last character sorts after '.'.
QString withFullStop(const QString& message);

}  // namespace tavix
