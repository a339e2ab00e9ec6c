#include "simtcp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

bool SimTcp::listen(quint16 port, QString *error)
{
    close();
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listen < 0) {
        *error = QStringLiteral("cannot create a socket: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const int on = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // tests and demos stay on this machine
    socklen_t length = sizeof address;
    if (::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(m_listen, 4) != 0
        || ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    }
    m_port = ntohs(address.sin_port);
    return true;
}

void SimTcp::close()
{
    closeClient();
    if (m_listen >= 0)
        ::close(m_listen);
    m_listen = -1;
    m_port = 0;
}

bool SimTcp::acceptClient()
{
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0)
        return false;
    closeClient();
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_client = fd;
    return true;
}

bool SimTcp::readAvailable(QByteArray *bytes)
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::recv(m_client, chunk, sizeof chunk, 0);
        if (n > 0) {
            bytes->append(chunk, int(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

void SimTcp::closeClient()
{
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
}
