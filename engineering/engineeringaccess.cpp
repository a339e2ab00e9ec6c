#include "engineeringaccess.h"

#include <QCryptographicHash>
#include <QTimer>

namespace {
// SHA-256 of the factory engineering password, lower-case hexadecimal.
const char PasswordDigest[] = "c94e0153de4e193860b315d572bb0db6d24d458e40244a9b3bdc94691c2c5f52";
}  // namespace

EngineeringAccess::EngineeringAccess(QObject *parent)
    : QObject(parent), m_resetTimer(new QTimer(this)), m_passwordDigest(factoryPasswordDigest())
{
    m_resetTimer->setSingleShot(true);
    m_resetTimer->setInterval(ResetMs);
    connect(m_resetTimer, &QTimer::timeout, this, [this] { m_taps = 0; });
}

void EngineeringAccess::tap()
{
    const int n = ++m_taps;
    m_resetTimer->start();
    if (n < CountdownFromTap)
        return;
    if (n < TapsToToggle) {
        Q_EMIT countdown(TapsToToggle - n, m_engineerMode);
        return;
    }
    m_taps = 0;
    m_engineerMode = !m_engineerMode;
    Q_EMIT engineerModeChanged(m_engineerMode);
}

QString EngineeringAccess::countdownText(int remaining, bool exiting, const QString &language)
{
    if (language == QLatin1String("zh"))
        return QStringLiteral("再點 %1 次%2工程模式").arg(remaining).arg(exiting ? QStringLiteral("退出") : QStringLiteral("啟用"));
    return QStringLiteral("Tap %1 more time(s) to %2 engineer mode")
        .arg(remaining)
        .arg(exiting ? QStringLiteral("exit") : QStringLiteral("enable"));
}

QByteArray EngineeringAccess::factoryPasswordDigest()
{
    return QByteArray(PasswordDigest);
}

QByteArray EngineeringAccess::sha256Hex(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex();
}

bool EngineeringAccess::passwordAccepted(const QString &password) const
{
    const QByteArray digest = sha256Hex(password);
    const QByteArray &stored = m_passwordDigest;
    if (digest.size() != stored.size())
        return false;
    // Compare every byte so the time taken says nothing about the digest.
    int difference = 0;
    for (int i = 0; i < stored.size(); ++i)
        difference |= digest[i] ^ stored[i];
    return difference == 0;
}
