#pragma once

#include <QString>
#include <QtGlobal>

// The stop delivered without the worker, once a connection ended while the
// rod may still be moving: on a port opened afresh (a serial device is
// reopened, a converter reconnected), the manual stop (0x00C8 = 0) and a
// pulse of the stop input X2, which also ends a move to position 1 or 2. Tried
// again on a new port until the drive confirms both or the time is up.
namespace StopDelivery {

constexpr int BudgetMs = 3000;

struct Outcome
{
    bool confirmed = false;
    int attempts = 0;
    QString error;  // why the last attempt failed ("Timeout", "cannot open ...")
};

// Blocks for at most about budgetMs (a TCP connect may overrun it by its own wait).
Outcome deliver(const QString &portName, quint8 station, int budgetMs = BudgetMs);

}  // namespace StopDelivery
