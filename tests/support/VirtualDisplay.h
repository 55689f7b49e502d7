#pragma once
// An X server of the test's own (Xvfb), for runs of the program on a display.

#include "HangGuard.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <poll.h>
#include <unistd.h>

class VirtualDisplay {
public:
    VirtualDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return;
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
    ~VirtualDisplay()
    {
        if (m_server.state() != QProcess::NotRunning) {
            // A few seconds to end cleanly, then it is killed.
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
            m_server.waitForFinished(kHangGuard);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", or empty when no server could be started.
    QString name() const { return m_name; }

private:
    QProcess m_server;
    QString m_name;
};
