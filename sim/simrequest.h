#pragma once

#include "simbus.h"

#include <QByteArray>
#include <QtGlobal>

class SimDrive;

// Register-level handling of one request, as a drive answers it. Replies
// leave out the CRC: the bus adds it once the faults have shaped the reply.

// The request in a frame whose length and CRC the framer has checked.
SimRequest parseSimRequest(const QByteArray &frame, qint64 receivedAtMs);

// Carries the request out on the drive: the data or echo reply, or an
// exception reply when the drive refuses it.
QByteArray executeSimRequest(SimDrive &drive, const SimRequest &request);

QByteArray simExceptionReply(const SimRequest &request, quint8 code);
