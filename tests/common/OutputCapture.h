#pragma once

#include <QByteArray>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

/**
 * Points fd 1 or 2 at a pipe for as long as it lives. A pipe rather than a
 * file, so that a test that limits file sizes still sees everything.
 */
class OutputCapture
{
public:
    explicit OutputCapture(int fd)
        : m_fd(fd)
    {
        std::fflush(nullptr);
        if (::pipe2(m_pipe, O_CLOEXEC) != 0)
            return;
        ::fcntl(m_pipe[0], F_SETFL, O_NONBLOCK);
        m_saved = ::dup(fd);
        ::dup2(m_pipe[1], fd);
    }
    ~OutputCapture()
    {
        std::fflush(nullptr);
        ::dup2(m_saved, m_fd);
        ::close(m_saved);
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }
    QByteArray text()
    {
        std::fflush(nullptr);
        char buffer[4096];
        for (ssize_t n; (n = ::read(m_pipe[0], buffer, sizeof buffer)) > 0;)
            m_text.append(buffer, n);
        return m_text;
    }

private:
    int m_fd;
    int m_pipe[2] = { -1, -1 };
    int m_saved = -1;
    QByteArray m_text;
};
