#include "simwakepipe.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

bool SimWakePipe::open()
{
    return pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) == 0;
}

void SimWakePipe::close()
{
    for (int &fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SimWakePipe::raise() const
{
    // The interrupted code may be about to read errno.
    const int savedErrno = errno;
    const char byte = 1;
    while (::write(m_fds[1], &byte, 1) < 0 && errno == EINTR) {
    }
    errno = savedErrno;
}

bool SimWakePipe::pauseFor(std::chrono::microseconds duration) const
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + duration;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
        const long long ns = std::max<long long>(0, left.count());
        const timespec timeout{time_t(ns / 1000000000), long(ns % 1000000000)};
        pollfd fd{m_fds[0], POLLIN, 0};
        const int ready = ppoll(&fd, 1, &timeout, nullptr);
        if (ready > 0)
            return false;
        if (ready == 0 || errno != EINTR)
            return true;
    }
}
