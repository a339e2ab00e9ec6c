#include "mainwindow.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

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

    MainWindow window;
    window.show();
    window.raise();
    window.activateWindow();
    return app.exec();
}
