#pragma once

// The classes a test program runs, and the rule for tests that need a tool. One main
// (testmain.cpp) runs every class registered in the program, each with its own fixture.

#include <QByteArray>
#include <QTest>

#include <map>
#include <memory>

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

using TestFactory = std::unique_ptr<QObject> (*)();

// Every test class of a program, in the order the program runs them.
inline std::map<QByteArray, TestFactory> &registeredTests()
{
    static std::map<QByteArray, TestFactory> tests;
    return tests;
}

struct TestRegistration
{
    TestRegistration(const char *name, TestFactory factory) { registeredTests()[name] = factory; }
};

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

#define VEXA_TEST_CLASS(TestClass)                                                                 \
    static const testsupport::TestRegistration TestClass##Registration(                            \
        #TestClass, [] { return std::unique_ptr<QObject>(new TestClass); })
