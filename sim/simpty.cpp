#include "simpty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool makeRaw(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// Child processes (a test running an external master, say) must not inherit
// the pty: a copy of the master would keep the port alive after close().
bool setCloseOnExec(int fd)
{
    const int flags = fcntl(fd, F_GETFD);
    return flags >= 0 && fcntl(fd, F_SETFD, flags | FD_CLOEXEC) == 0;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

SimPty::~SimPty()
{
    close();
}

bool SimPty::open(QString *error)
{
    close();
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        *error = systemError("openpty");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    const int flags = fcntl(m_master, F_GETFL);
    if (!setCloseOnExec(m_master) || !setCloseOnExec(m_slave) || !makeRaw(m_slave) || !makeRaw(m_master)
        || flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = systemError("configuring the pseudo-terminal");
        close();
        return false;
    }

    // Our own slave descriptor was opened before the watch, so only clients count.
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch < 0
        || inotify_add_watch(m_watch, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        *error = systemError("watching the pseudo-terminal");
        close();
        return false;
    }
    m_openClients = 0;
    return true;
}

void SimPty::close()
{
    for (int *fd : {&m_watch, &m_slave, &m_master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    m_slavePath.clear();
    m_openClients = 0;
}

void SimPty::handleClientEvents()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_watch, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + i);
            if (event->mask & IN_OPEN) {
                ++m_openClients;
            } else if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                m_openClients = m_openClients > 0 ? m_openClients - 1 : 0;
                if (m_openClients == 0)
                    tcflush(m_slave, TCIFLUSH);
            }
            i += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
}

bool SimPty::hasClients()
{
    handleClientEvents();
    return m_openClients > 0;
}

QByteArray SimPty::readAvailable()
{
    QByteArray bytes;
    char chunk[1024];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n <= 0)
            return bytes;
        bytes.append(chunk, int(n));
    }
}
