#pragma once

#include "serialport.h"

#include <QMetaType>
#include <QString>

#include <stdexcept>

// A failure of the link or of a connection: its kind, for every decision, and
// a short English text for the traces and the command line ("Timeout",
// "Exception 02 (illegal data address)", "Port lost", "Unknown device family").
// The window makes its own text from the kind and the fields, in its language.
class ModbusError : public std::runtime_error
{
public:
    enum class Kind {
        None,           // no failure
        NoReply,        // no valid reply in time
        Refused,        // an exception reply of the addressed station; exceptionCode() says which
        PortOpen,       // the port could not be opened; portOpenError() says why
        PortLost,       // the port failed under us (adapter unplugged, converter gone)
        NotRecognised,  // the drive answered but the catalogue does not know it
        DriveDiffers,   // another drive answers than the one connected before
        Other,          // anything else (a malformed answer, a connection closed)
    };

    ModbusError() : ModbusError(QString(), Kind::None) {}
    explicit ModbusError(const QString &text, Kind kind = Kind::Other)
        : std::runtime_error(text.toStdString()), m_text(text), m_kind(kind)
    {
    }
    static ModbusError noReply() { return ModbusError(QStringLiteral("Timeout"), Kind::NoReply); }
    static ModbusError portLost() { return ModbusError(QStringLiteral("Port lost"), Kind::PortLost); }
    static ModbusError refused(quint8 exceptionCode, const QString &text)
    {
        ModbusError error(text, Kind::Refused);
        error.m_exceptionCode = exceptionCode;
        return error;
    }
    static ModbusError portOpen(const PortOpenError &reason)
    {
        ModbusError error(reason.text(), Kind::PortOpen);
        error.m_portOpenError = reason;
        return error;
    }

    Kind kind() const { return m_kind; }
    bool failed() const { return m_kind != Kind::None; }
    QString text() const { return m_text; }
    // Of a Refused error; 0 otherwise.
    quint8 exceptionCode() const { return m_exceptionCode; }
    // Of a PortOpen error.
    const PortOpenError &portOpenError() const { return m_portOpenError; }

private:
    QString m_text;
    Kind m_kind;
    quint8 m_exceptionCode = 0;
    PortOpenError m_portOpenError;
};

Q_DECLARE_METATYPE(ModbusError)
