#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTimer;

// The hidden gesture that switches engineer mode, and the password check of
// the engineering page. Neither is stored: both start closed.
//
// Taps on the version label count up; a pause of ResetMs starts again from
// zero. From the CountdownFromTap-th tap the remaining taps are announced;
// the TapsToToggle-th tap inverts engineer mode.
class EngineeringAccess : public QObject
{
    Q_OBJECT

public:
    static constexpr int TapsToToggle = 17;
    static constexpr int CountdownFromTap = 12;
    static constexpr int ResetMs = 5000;

    explicit EngineeringAccess(QObject *parent = nullptr);

    // Lower-case hexadecimal SHA-256 of the factory password, which a shipped
    // program checks; tests hand a digest of their own password instead.
    static QByteArray factoryPasswordDigest();
    static QByteArray sha256Hex(const QString &text);
    void setPasswordDigest(const QByteArray &hexDigest) { m_passwordDigest = hexDigest.toLower(); }

    void tap();
    int tapCount() const { return m_taps; }
    bool engineerMode() const { return m_engineerMode; }
    // The single-shot timer whose timeout forgets the taps.
    QTimer *tapResetTimer() const { return m_resetTimer; }

    // "Tap %1 more time(s) to %2 engineer mode" or its Chinese text ("zh").
    static QString countdownText(int remaining, bool exiting, const QString &language);
    // SHA-256 of the UTF-8 password against the digest held.
    bool passwordAccepted(const QString &password) const;

Q_SIGNALS:
    // remaining taps until the toggle; exiting when engineer mode is on.
    void countdown(int remaining, bool exiting);
    void engineerModeChanged(bool on);

private:
    int m_taps = 0;
    bool m_engineerMode = false;
    QTimer *m_resetTimer;
    QByteArray m_passwordDigest;
};
