#include "demobus.h"
#include "dialogs.h"
#include "mainwindow.h"
#include "page.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QStyleFactory>

#include <cstdio>
#include <memory>

namespace {

// True when Qt would find no screen to open: it would abort instead of failing.
// Only the platforms that need a display server are judged; Qt picks xcb or
// Wayland when QT_QPA_PLATFORM is empty.
bool displayMissing()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool x11 = qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (platform.isEmpty())
        return x11 && wayland;
    return platform.startsWith("xcb") && x11;
}

}  // namespace

int main(int argc, char *argv[])
{
    // Scale factors must be fixed before the application object exists.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);

    // The command line is read before the window's application object exists,
    // which needs a display: --help and --version work on any terminal.
    const bool english = appSettings().value(QStringLiteral("AppLanguage"), QStringLiteral("zh")).toString()
                         == QLatin1String("en");
    const auto text = [english](const char *zh, const char *en) { return QString::fromUtf8(english ? en : zh); };
    // The demo bus reads its options in its own form, after the program's name.
    QStringList demoArguments{QString::fromLocal8Bit(argv[0])};
    {
        QCoreApplication commandLine(argc, argv);
        QCoreApplication::setApplicationVersion(QStringLiteral(VEXA_APP_VERSION));
        QCommandLineParser parser;
        parser.setApplicationDescription(text("設定與監看 Torvane Vexa 電動缸（RS-485，Modbus RTU）。",
                                              "Sets up and watches Torvane Vexa actuators (RS-485, Modbus RTU)."));
        parser.addHelpOption();
        parser.addVersionOption();
        const QCommandLineOption demo(DemoBus::Option.mid(2),
                                      text("開啟內建的模擬驅動器匯流排（站號 1、3、5），不需硬體。",
                                           "Opens on the built-in simulated drive bus (stations 1, 3 and 5), no hardware needed."));
        const QCommandLineOption alarm(DemoBus::AlarmOption.mid(2),
                                       text("配合 --demo：模擬驅動器發出警報 CODE，指定 SECONDS 時於該秒數後發出。",
                                            "With --demo: the simulated drives raise alarm CODE, after SECONDS when given."),
                                       QStringLiteral("CODE[@SECONDS]"));
        parser.addOptions({demo, alarm});
        parser.process(commandLine);  // prints the help, the version or the error itself and exits
        if (parser.isSet(demo))
            demoArguments << DemoBus::Option;
        if (parser.isSet(alarm))
            demoArguments << DemoBus::AlarmOption << parser.value(alarm);
    }
    if (displayMissing()) {
        std::fputs(text("vexa-actuator：沒有可用的顯示器，請設定 DISPLAY（或 WAYLAND_DISPLAY），"
                           "或以 QT_QPA_PLATFORM 指定平台（例如 offscreen）。\n",
                           "vexa-actuator: no display to open the window on: set DISPLAY (or WAYLAND_DISPLAY), "
                           "or choose a platform with QT_QPA_PLATFORM (for example offscreen).\n")
                       .toLocal8Bit()
                       .constData(),
                   stderr);
        return 1;
    }

    QApplication app(argc, argv);
    // The look the window was designed in, where the platform has it.
    const QString designedStyle = QStringLiteral("WindowsVista");
    if (QStyleFactory::keys().contains(designedStyle, Qt::CaseInsensitive))
        app.setStyle(designedStyle);
    app.setWindowIcon(QIcon(QStringLiteral(":/icon.png")));

    // Declared before the window so that it outlives the window's worker.
    std::unique_ptr<DemoBus> demoBus;
    if (DemoBus::requestedBy(demoArguments))
        demoBus = std::make_unique<DemoBus>();
    const bool demoRunning = demoBus && demoBus->start();

    MainWindow window;
    if (demoRunning)
        window.setDemoPort(demoBus->portPath());
    window.show();
    window.raise();
    window.activateWindow();
    if (demoBus && !demoRunning) {
        window.dialogs()->message(QMessageBox::Warning, QStringLiteral("Demo"),
                                  QStringLiteral("The simulated drive bus could not be started: %1")
                                      .arg(demoBus->errorString()));
    }
    QString alarmError;
    if (demoRunning && !demoBus->scheduleAlarm(demoArguments, &alarmError))
        window.dialogs()->message(QMessageBox::Warning, QStringLiteral("Demo"), alarmError);
    return app.exec();
}
