#pragma once

// The one main of every test program, and the rule for tests that need a tool.

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace testsupport {

// CI must run every test: there a missing tool or pseudo-terminal is a failure.
inline bool underCi()
{
    return qgetenv("CI") == "true";
}

// The folder that stands in for the user's settings store while the program runs.
inline QString &configHome()
{
    static QString path;
    return path;
}

// The application's settings file inside that folder.
inline QString settingsFile()
{
    return configHome() + QStringLiteral("/Torvane/TorvaneVexaElectricActuator.conf");
}

// The settings store is redirected before anything can read the real one.
template <typename TestClass>
int runIsolated(int argc, char *argv[])
{
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    configHome() = config.path();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    TestClass test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace testsupport

// Skips with one line when a tool or a pseudo-terminal is missing; fails under CI.
#define VEXA_REQUIRE(condition, why)                                                               \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            if (testsupport::underCi())                                                            \
                QFAIL(why);                                                                        \
            QSKIP(why);                                                                            \
        }                                                                                          \
    } while (false)

#define VEXA_TEST_MAIN(TestClass)                                                                  \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        return testsupport::runIsolated<TestClass>(argc, argv);                                    \
    }
