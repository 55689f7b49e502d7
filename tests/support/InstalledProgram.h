#pragma once
// The built program copied into a folder of its own, so that no settings land
// beside the build, with a home and a working folder for its runs.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// How a run of the program ended: its status and its standard error.
struct Outcome {
    int status = -1;
    QString err;
};

class InstalledProgram : public ::testing::Test {
protected:
    QTemporaryDir installed;
    QTemporaryDir home;
    QTemporaryDir work;

    void SetUp() override
    {
#ifndef PICTORIUM_EXE
        GTEST_SKIP() << "the program is not built";
#else
        const QString built = QFileInfo(QStringLiteral(PICTORIUM_EXE)).absolutePath();
        for (const char* name : {"pictorium", "english.lng", "pictorium.rsrc"})
            ASSERT_TRUE(QFile::copy(built + u'/' + QLatin1String(name), installed.filePath(name))) << name;
        QFile::setPermissions(installed.filePath("pictorium"), QFile::permissions(built + "/pictorium"));
        QDir(home.path()).mkdir("runtime");
        QFile::setPermissions(home.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    }

    // This session's environment without a display, in the test's own home.
    QProcessEnvironment batchEnvironment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        env.insert("ASAN_OPTIONS", "detect_leaks=1");
        return env;
    }
};
