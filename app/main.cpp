// trilette: the window that converts Tina nets to Structured Text.

#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    window.setFixedSize(373, 215);
    window.setProgressValue(0);
    window.show();
    return application.exec();
}
