// trilette [--traces] [NET.ndr]: the window that converts Tina nets to Structured Text, with NET
// chosen; --traces prints the reading traces on standard output, as the command line does.

#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before the application object: scale the form on high-density screens.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication application(argc, argv);
    installQtFrench(&application);
    MainWindow window;
    window.setProgressValue(0);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    window.setTraces(arguments.removeAll(QStringLiteral("--traces")) > 0);
    if (!arguments.isEmpty())
        window.chooseNet(arguments.first());
    window.show();
    return application.exec();
}
