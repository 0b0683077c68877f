// Times one conversion run of the window on a net, as a click on "Triler" would start it:
// trilette-bench-window NET.ndr [RUNS]. The outputs go to a temporary folder; traces are dropped.

#include "app/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fputs("Usage : trilette-bench-window RESEAU.ndr [ESSAIS]\n", stderr);
        return 2;
    }
    const QString net = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::freopen("/dev/null", "w", stdout);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    // A box would wait for the user: close any at once, and say so.
    int boxes = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            ++boxes;
            box->accept();
        }
    });
    closer.start(1);

    QTemporaryDir folder;
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        QDir::setCurrent(folder.path());
        MainWindow window;
        window.show();
        window.chooseNet(net);
        QElapsedTimer timer;
        timer.start();
        QMetaObject::invokeMethod(&window, "on_commandLinkButton_clicked");
        window.waitForRun();
        seconds.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::sort(seconds.begin(), seconds.end());
    std::fprintf(stderr, "run in the window: min %.3f s, median %.3f s over %d runs%s\n",
                 seconds.front(), seconds[seconds.size() / 2], runs,
                 boxes ? ", with message boxes" : "");
    return 0;
}
