// trilette-screenshot: saves a picture of the window, with a net chosen and a finished run,
// for the README. Used by scripts/screenshot.sh: trilette-screenshot OUTPUT.png

#include "app/mainwindow.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("Usage : trilette-screenshot IMAGE.png\n", stderr);
        return 2;
    }
    MainWindow::fileDialog = [](QWidget *, const QString &, const QString &, const QString &) {
        return QStringLiteral("/home/utilisateur/reseaux/usine.ndr");
    };
    // The settings of the user who takes the picture stay out of it.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    MainWindow window;
    window.show();
    window.findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
    window.setProgressValue(100);
    // What a finished run of that net says.
    window.statusBar()->showMessage(QStringLiteral(
        "usine.log et usine_ST.txt écrits dans /home/utilisateur/reseaux/TriledFiles"));
    QApplication::processEvents();
    if (!window.grab().save(QFile::decodeName(argv[1]), "PNG")) {
        std::fprintf(stderr, "trilette-screenshot: impossible d'écrire %s\n", argv[1]);
        return 1;
    }
    return 0;
}
