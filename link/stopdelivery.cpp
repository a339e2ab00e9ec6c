#include "stopdelivery.h"

#include "modbustransport.h"
#include "registers.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QThread>

namespace StopDelivery {
namespace {
constexpr int FreshPortSettleMs = 20;
constexpr int BetweenAttemptsMs = 100;
}  // namespace

Outcome deliver(const QString &portName, quint8 station, int budgetMs)
{
    Outcome outcome;
    QElapsedTimer spent;
    spent.start();
    while (!outcome.confirmed && spent.elapsed() < budgetMs) {
        if (outcome.attempts++ > 0)
            QThread::msleep(BetweenAttemptsMs);
        PortOpenError openError;
        const std::unique_ptr<QIODevice> port = openDrivePort(portName, &openError);
        if (!port) {
            outcome.error = openError.text();
            continue;
        }
        QThread::msleep(FreshPortSettleMs);
        ModbusTransport link(ModbusTransport::Pacing::SinceLastTransmission, port.get());
        const bool stopped = link.writeRegister(station, Reg::ManualCommand, Reg::ManualCommandValue::Stop);
        const QString stopError = link.lastWriteError().text();
        // Sent whether or not the manual stop was confirmed: it is the only stop
        // of a move to position 1 or 2. Lowered again at once, even unconfirmed:
        // lowering an input starts nothing.
        const bool raised = link.writeRegister(station, Reg::CommandInputs, Reg::CommandInputBit::Stop);
        const QString raiseError = link.lastWriteError().text();
        link.writeRegister(station, Reg::CommandInputs, 0);
        outcome.confirmed = stopped && raised;
        if (!outcome.confirmed)
            outcome.error = stopped ? raiseError : stopError;
    }
    return outcome;
}

}  // namespace StopDelivery
