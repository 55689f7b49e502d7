#pragma once
// The failures the toolkit and run-time library raise to callers, with
// their message texts. The application's guard shows them; Abort is silent.

#include <QString>

#include <new>
#include <stdexcept>

namespace platform {

class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

// A file could not be opened or read as a run-time file operation expects.
class InOutError : public Error {
public:
    using Error::Error;
};

// A string list was indexed outside its entries.
class ListIndexError : public Error {
public:
    explicit ListIndexError(qsizetype index)
        : Error(QStringLiteral("List index out of bounds (%1)").arg(index))
    {}
};

// A text did not convert to the number it should hold.
class ConvertError : public Error {
public:
    static ConvertError notAnInteger(const QString& text)
    {
        return ConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    }
    using Error::Error;
};

// The silent abort: ends a command without a message.
class Abort : public Error {
public:
    Abort() : Error(QStringLiteral("Operation aborted")) {}
};

inline constexpr char kOutOfMemoryText[] = "Out of memory.";

// The text an exception is shown with: a refused allocation says what it
// means to the user.
inline QString messageOf(const std::exception& e)
{
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return QString::fromLatin1(kOutOfMemoryText);
    return QString::fromUtf8(e.what());
}

}  // namespace platform
