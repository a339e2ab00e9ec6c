#pragma once

#include <QString>
#include <QtGlobal>

// The drive the window is connected to, as identified on connection. Family and
// size select its catalogue entry; the lead drives every mm <-> rpm conversion.
struct ProductIdentity
{
    QString family;          // catalogue family name, e.g. "LXAZ"
    int size = 0;            // bore size in mm
    double lead = 1.0;       // mm per screw revolution
    int stroke = 30;         // mm
    QString direction;       // the model code after its last "-"
    quint16 logicVersion = 0;
    QString firmware;
    QString hardware;
};
