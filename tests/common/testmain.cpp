#include "testmain.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

// The settings store and the data folder (event logs) are redirected before anything can read the real one; then
// every registered class runs, and any failure fails the program.
int main(int argc, char *argv[])
{
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    testsupport::configHome() = config.path();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(config.path() + QStringLiteral("/data")));
    QApplication app(argc, argv);
    int failures = 0;
    for (const auto &entry : testsupport::registeredTests()) {
        const std::unique_ptr<QObject> test = entry.second();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
