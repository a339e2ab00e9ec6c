#include "cli.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)  // Qt 6 streams are UTF-8 already
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
#endif
    return runCli(app.arguments().mid(1), out, err);
}
