#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The TCP side of a simulated converter: a listening socket on 127.0.0.1 and
// at most one client, whose bytes are RTU frames as on the wire. A new client
// replaces the previous one. Non-blocking descriptors, polled by the bus.
class SimTcp
{
public:
    SimTcp() = default;
    ~SimTcp() { close(); }
    SimTcp(const SimTcp &) = delete;
    SimTcp &operator=(const SimTcp &) = delete;

    // Port 0 takes any free port; port() then tells which.
    bool listen(quint16 port, QString *error);
    void close();

    quint16 port() const { return m_port; }
    int listenFd() const { return m_listen; }
    int clientFd() const { return m_client; }

    // A waiting connection becomes the client; true when one did.
    bool acceptClient();
    // Everything the client sent so far; false when the client has gone.
    bool readAvailable(QByteArray *bytes);
    void closeClient();

private:
    int m_listen = -1;
    int m_client = -1;
    quint16 m_port = 0;
};
