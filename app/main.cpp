// trilette [NET.ndr]: the window that converts Tina nets to Structured Text, with NET chosen.

#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before the application object: scale the fixed form on high-density screens.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication application(argc, argv);
    installQtFrench(&application);
    MainWindow window;
    window.setFixedSize(373, 215);
    window.setProgressValue(0);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() > 1)
        window.chooseNet(arguments.at(1));
    window.show();
    return application.exec();
}
