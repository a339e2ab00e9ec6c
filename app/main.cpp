#include "demobus.h"
#include "dialogs.h"
#include "mainwindow.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include <memory>

int main(int argc, char *argv[])
{
    // Scale factors must be fixed before the application object exists.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);

    QApplication app(argc, argv);
    // The look the window was designed in, where the platform has it.
    const QString designedStyle = QStringLiteral("WindowsVista");
    if (QStyleFactory::keys().contains(designedStyle, Qt::CaseInsensitive))
        app.setStyle(designedStyle);
    app.setWindowIcon(QIcon(QStringLiteral(":/icon.png")));

    // Declared before the window so that it outlives the window's worker.
    std::unique_ptr<DemoBus> demoBus;
    if (DemoBus::requestedBy(QCoreApplication::arguments()))
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
    if (demoRunning && !demoBus->scheduleAlarm(QCoreApplication::arguments(), &alarmError))
        window.dialogs()->message(QMessageBox::Warning, QStringLiteral("Demo"), alarmError);
    return app.exec();
}
