#pragma once
// A file's bytes, read or written whole, for the tests.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace fixture {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

}  // namespace fixture
