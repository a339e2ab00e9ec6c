#pragma once

#include <chrono>

// A self-pipe: a byte written to it wakes whoever polls its read end, so a
// thread blocked in poll() or a signal handler can be interrupted safely.
class SimWakePipe
{
public:
    SimWakePipe() = default;
    ~SimWakePipe() { close(); }
    SimWakePipe(const SimWakePipe &) = delete;
    SimWakePipe &operator=(const SimWakePipe &) = delete;

    bool open();  // non-blocking, close-on-exec
    void close();
    int readFd() const { return m_fds[0]; }

    // Async-signal-safe: a signal handler may call it.
    void raise() const;
    // Sleeps for duration, but returns false at once when raised.
    bool pauseFor(std::chrono::microseconds duration) const;
    bool isRaised() const { return !pauseFor(std::chrono::microseconds(0)); }

private:
    int m_fds[2] = {-1, -1};
};
