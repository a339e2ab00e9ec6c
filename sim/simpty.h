#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair in raw mode on both sides: nothing is echoed or
// translated. Clients open slavePath() like a serial port; the bus reads and
// writes the master side.
//
// The pty keeps a slave descriptor of its own open. Without it the master
// would report a hang-up (and reads would fail) whenever no client has the
// port open, for instance between an identification and the worker opening
// the port. The price: bytes written for a client that has gone would wait
// in the slave's queue for the next client, which no real adapter does. So
// the pty watches the slave node for opens and closes: when the last client
// has closed it drops what was left unread, and the bus sends nothing while
// no client is there to receive it.
class SimPty
{
public:
    SimPty() = default;
    ~SimPty();
    SimPty(const SimPty &) = delete;
    SimPty &operator=(const SimPty &) = delete;

    bool open(QString *error);
    void close();

    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // Readable when a client opened or closed the slave; then call handleClientEvents().
    int clientWatchFd() const { return m_watch; }
    void handleClientEvents();
    bool hasClients();

    // Everything the clients wrote so far (the master is non-blocking).
    QByteArray readAvailable();

private:
    int m_master = -1;
    int m_slave = -1;
    int m_watch = -1;
    int m_openClients = 0;
    QString m_slavePath;
};
