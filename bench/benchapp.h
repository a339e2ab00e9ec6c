#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

// A bench's application: offscreen unless the caller chose a platform, and with a
// temporary settings store and data folder, so the window under test never touches the user's.
class BenchApplication
{
public:
    BenchApplication(int &argc, char **argv) : m_ready(prepare(m_config)), m_app(argc, argv) {}
    bool ready() const { return m_ready; }

private:
    static bool prepare(const QTemporaryDir &config)
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!config.isValid())
            return false;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(config.path() + QStringLiteral("/data")));
        return true;
    }

    QTemporaryDir m_config;
    bool m_ready;
    QApplication m_app;
};

// Serves the event loop until the condition holds; false after timeoutMs.
inline bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}
