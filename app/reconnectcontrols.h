#pragma once

#include "page.h"

class QCheckBox;
class QLabel;
class QSpinBox;
class QTimer;

// The big connection-state label while connected (or reconnected): green.
inline const QString ConnectionStatusOkStyle = QStringLiteral("font-size:20px;font-weight:bold;color:#16a34a;");

// The Connection tab's opt-in reconnect: "Reconnect automatically", its time
// limit, and the "Reconnecting…" state with its tries and the time since the loss.
class ReconnectControls : public WindowPart
{
public:
    explicit ReconnectControls(WindowContext &context);

    void retranslate();

private:
    void onReconnectingChanged(bool on);
    void showReconnectProgress();

    QCheckBox *chkReconnect = nullptr;
    QLabel *lblReconnectLimit = nullptr;
    QSpinBox *spinReconnectLimit = nullptr;
    QLabel *lblReconnectProgress = nullptr;
    QTimer *reconnectTimer = nullptr;
};
