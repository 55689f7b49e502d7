#pragma once
// An X server of the test's own (Xvfb), for runs of the program on a display,
// optionally with a window manager (openbox) that frames and stacks windows.

#include "HangGuard.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <poll.h>
#include <unistd.h>

class VirtualDisplay {
public:
    enum Manager { NoWindowManager, WithWindowManager };

    explicit VirtualDisplay(Manager manager = NoWindowManager)
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
        // A server or manager that fails to come up on a busy machine, beside
        // other tests' servers, is given another try before the test goes
        // without a display.
        for (int attempt = 0; attempt < 3 && m_name.isEmpty(); ++attempt) {
            stop();
            startServer(xvfb);
            if (manager == WithWindowManager && !m_name.isEmpty())
                startWindowManager();
        }
    }
    ~VirtualDisplay() { stop(); }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", or empty when no server could be started.
    QString name() const { return m_name; }

private:
    void startServer(const QString& xvfb)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        // The server picks a free display and writes its number to the pipe.
        m_server.setProgram(xvfb);
        m_server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]),
                               QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
                               QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        m_server.setChildProcessModifier([fd = fds[0]] { ::close(fd); });
        m_server.start();
        ::close(fds[1]);
        QByteArray number;
        char c = 0;
        pollfd in {fds[0], POLLIN, 0};
        if (m_server.waitForStarted(kHangGuard))
            while (::poll(&in, 1, kHangGuard) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
                number += c;
        ::close(fds[0]);
        if (!number.isEmpty())
            m_name = u':' + QString::fromLatin1(number);
    }
    void stop()
    {
        m_name.clear();
        if (m_manager.state() != QProcess::NotRunning) {
            m_manager.terminate();
            if (!m_manager.waitForFinished(5000))
                m_manager.kill();
            m_manager.waitForFinished(kHangGuard);
        }
        if (m_server.state() != QProcess::NotRunning) {
            // A few seconds to end cleanly, then it is killed.
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
            m_server.waitForFinished(kHangGuard);
        }
    }
    // The display counts as ready once the manager has announced itself on
    // the root window; without one, the display is not given.
    void startWindowManager()
    {
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        const QString xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
        const QString name = m_name;
        m_name.clear();
        if (openbox.isEmpty() || xprop.isEmpty())
            return;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), name);
        m_manager.setProcessEnvironment(env);
        m_manager.setProgram(openbox);
        m_manager.setStandardOutputFile(QProcess::nullDevice());
        m_manager.setStandardErrorFile(QProcess::nullDevice());
        m_manager.start();
        if (!m_manager.waitForStarted(kHangGuard))
            return;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < kHangGuard) {
            QProcess query;
            query.setProcessEnvironment(env);
            query.start(xprop, {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
            query.waitForFinished(kHangGuard);
            if (query.readAllStandardOutput().contains("window id")) {
                m_name = name;
                return;
            }
            if (m_manager.waitForFinished(100))
                return;
        }
    }

    QProcess m_manager;
    QProcess m_server;
    QString m_name;
};
