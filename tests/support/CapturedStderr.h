#pragma once
// What the process writes to standard error while one of these lives:
// file descriptor 2 goes to a temporary file and comes back at text().

#include <cstdio>
#include <string>

#include <unistd.h>

namespace fixture {

class CapturedStderr {
public:
    CapturedStderr()
    {
        std::fflush(stderr);
        m_saved = dup(2);
        m_file = std::tmpfile();
        if (m_file)
            dup2(fileno(m_file), 2);
    }
    ~CapturedStderr() { restore(); }
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

    // Ends the capture and gives what was written.
    std::string text()
    {
        restore();
        return m_text;
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        dup2(m_saved, 2);
        close(m_saved);
        m_saved = -1;
        if (!m_file)
            return;
        std::rewind(m_file);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            m_text.append(buffer, n);
        std::fclose(m_file);
        m_file = nullptr;
    }

    int m_saved = -1;
    std::FILE* m_file = nullptr;
    std::string m_text;
};

}  // namespace fixture
