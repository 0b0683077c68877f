// The window: choosing a net by browsing, typing or the keyboard, and whole conversion runs
// driven through "Triler", some held half-way to see the window answer and to cancel them.

#include "app/mainwindow.h"

#include "tests/casefile.h"
#include "tests/support/chainnet.h"

#include <QtTest>
#include <QtWidgets>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

/// A golden case: its first transition is T1, its first place P1.
const QString lamp = QStringLiteral(TRILETTE_SOURCE_DIR "/tests/golden/lamp");

QMutex debugMutex; // the run's last debug lines come from its own thread
QStringList debugLines;
QtMessageHandler testlibHandler = nullptr;

/// Writes `contents` into `path` unless null, and reads it back.
QByteArray file(const QString &path, const QByteArray &contents = {})
{
    QFile file(path);
    if (!contents.isNull() && !(file.open(QIODevice::WriteOnly) && file.write(contents) >= 0))
        return "(not written)";
    file.close();
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(absent)");
}

/// Every file under `dir`, relative, sorted.
QString filesIn(const QString &dir)
{
    QStringList files;
    for (QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files.join(' ');
}

/// Every run goes through it: it holds the run, on its own thread, at its first progress value
/// from `at` on, until released or for two seconds at most.
struct Hold : trilette::ConversionObserver
{
    trilette::ConversionObserver *window = nullptr;
    QSemaphore reached, release;
    bool onGuiThread = false;
    int at = 101;
    void progress(int value) override
    {
        window->progress(value);
        if (value < at)
            return;
        at = 101; // held once
        reached.release();
        if (!onGuiThread) // a run on the GUI thread would wait for ever
            release.tryAcquire(1, 2000);
    }
    void debugLine(const std::string &text) override { window->debugLine(text); }
    bool cancelled() override { return window->cancelled(); }
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

    QString root_, answer_; // what the file and folder dialogs answer
    std::unique_ptr<QTemporaryDir> temp_;
    MainWindow *window_ = nullptr;
    QTimer boxCloser_;
    // Boxes as "title: text", the informative text, the details, "(mal formée)" unless a modal box
    // of the window with only Ok, the right icon, no taller than the screen with its details.
    QStringList boxes_, dialogCalls_, openedUrls_, bars_;
    std::unique_ptr<Hold> hold_;

    template<typename T = QWidget> T *widget(const char *name) const
    {
        return window_->findChild<T *>(name);
    }
    QString work() const { return root_ + "/work"; }
    /// <n>: the nets' folder, <w>: the work folder and current directory, <h>: where the file
    /// dialog opens at first, <~>: home, <l>: the golden lamp.ndr.
    QString place(QString text) const
    {
        const QString home = QSysInfo::productType() == "windows" ? "C://" : QDir::homePath();
        return text.replace("<n>", root_ + "/nets")
            .replace("<w>", work())
            .replace("<h>", home)
            .replace("<~>", QDir::homePath())
            .replace("<l>", lamp + ".ndr");
    }
    /// What a run locks: "Triler"'s text, whether Parcourir, the format, the check box and
    /// "Triler" are enabled, whether the field is read-only, the cursor.
    QString state() const
    {
        QString text = widget<QAbstractButton>("commandLinkButton")->text() + ' ';
        for (const char *name : {"pushButton", "comboBox", "checkBox", "commandLinkButton"})
            text += widget(name)->isEnabled() ? '1' : '0';
        const QCursor *cursor = QApplication::overrideCursor();
        return text + (widget<QLineEdit>("lineEdit")->isReadOnly() ? " read-only" : "")
            + (cursor ? QString(" cursor %1").arg(cursor->shape()) : "");
    }
    /// Steps split at ';': "browse PATH" (the dialog answers PATH, none: cancelled; `net`, if
    /// any, written there first), "type TEXT" (into the field, which keeps the focus), "open
    /// PATH" (from the command line), "mkdir DIR", "rmdir DIR", "tick" (the check box), "format
    /// N" (entry N, with the keyboard), "outdir DIR" and "default" (the Fichier menu), "restart"
    /// (a new session), "show", "triler" (clicked, the focus kept; the bar's values meanwhile go
    /// to bars_), "key WIDGET KEYS" (pressed on WIDGET, which has the focus back after a run). A
    /// run adds "run NET" to the dialog calls.
    void play(const QString &steps, const QByteArray &net = {})
    {
        for (const QString &step : steps.split(';')) {
            const QString verb = step.section(' ', 0, 0), arg = place(step.section(' ', 1));
            const int from = debugLines.size(), dialogs = dialogCalls_.size();
            auto *edit = widget<QLineEdit>("lineEdit");
            auto *bar = widget<QProgressBar>("progressBar");
            if (verb == "browse") {
                QVERIFY(net.isNull() || arg.isEmpty() || file(arg, net) == net);
                answer_ = arg;
                QTest::mouseClick(widget("pushButton"), Qt::LeftButton);
            } else if (verb == "type") {
                edit->setFocus();
                edit->clear();
                QTest::keyClicks(edit, arg);
            } else if (verb == "mkdir" || verb == "rmdir") {
                QVERIFY(verb == "mkdir" ? QDir().mkpath(arg) : QDir(arg).removeRecursively());
            } else if (verb == "open") {
                window_->chooseNet(arg);
            } else if (verb == "tick") {
                QTest::mouseClick(widget("checkBox"), Qt::LeftButton);
            } else if (verb == "format") {
                for (int i = 0; i < arg.toInt(); ++i)
                    QTest::keyClick(widget("comboBox"), Qt::Key_Down);
            } else if (verb == "outdir" || verb == "default") {
                answer_ = arg;
                widget<QAction>(verb == "outdir" ? "actionOutputFolder" : "actionDefaultFolder")
                    ->trigger();
            } else if (verb == "restart") {
                delete window_;
                window_ = new MainWindow;
                selectedFileName.clear();
            } else if (verb == "show") {
                window_->show();
                QVERIFY(QTest::qWaitForWindowExposed(window_));
                QApplication::setActiveWindow(window_); // which a bare X server would not
            } else if (verb == "key") {
                QWidget *focus = widget(qPrintable(arg.section(' ', 0, 0)));
                focus->setFocus();
                QTest::keySequence(focus, QKeySequence(arg.section(' ', 1)));
                // A shortcut shows its button pressed for a moment before it clicks.
                QTRY_VERIFY(dialogCalls_.size() > dialogs || debugLines.size() > from);
                window_->waitForRun();
                QCOMPARE(QApplication::focusWidget(), focus);
            } else {
                QCOMPARE(verb, QString("triler"));
                bar->setValue(100);
                QSignalSpy spy(bar, &QProgressBar::valueChanged);
                widget<QCommandLinkButton>("commandLinkButton")->click();
                window_->waitForRun();
                QStringList values;
                for (const QList<QVariant> &signal : spy)
                    values << signal.at(0).toString();
                bars_ << values.join(',');
            }
            if (debugLines.size() > from)
                dialogCalls_ << "run " + debugLines.value(from + 1);
        }
    }

private slots:
    void initTestCase()
    {
        MainWindow::progressInterval = 0;
        MainWindow::folderDialog
            = [this](QWidget *, const QString &, const QString &) { return answer_; };
        MainWindow::fileDialog = [this](QWidget *parent, const QString &caption, const QString &dir,
                                        const QString &filter) {
            const bool ours = parent == window_
                && caption + filter == "Ouvrir le fichier à trilerRdP Tina (*.ndr)";
            dialogCalls_ << (ours ? "dialog " : "another dialog ") + dir;
            return answer_;
        };
        connect(&boxCloser_, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *button : box->buttons()) // shows the details
                if (box->buttonRole(button) == QMessageBox::ActionRole)
                    button->click();
            QCoreApplication::processEvents();
            const bool wellFormed = box->parentWidget() == window_
                && box->standardButtons() == QMessageBox::Ok
                && box->icon()
                    == (box->windowTitle() == "Erreur" ? QMessageBox::Warning
                                                       : QMessageBox::Information)
                && box->frameGeometry().height() <= box->screen()->availableGeometry().height();
            const QString details
                = box->detailedText().isEmpty() ? "" : "[détails]\n" + box->detailedText();
            boxes_ << QStringList({box->windowTitle() + ": " + box->text(), box->informativeText(),
                                   details, wellFormed ? "" : "(mal formée)"})
                          .filter(QRegularExpression("."))
                          .join("\n\n");
            box->button(QMessageBox::Ok)->click();
        });
        testlibHandler = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
                if (type != QtDebugMsg)
                    return testlibHandler(type, context, message);
                QMutexLocker lock(&debugMutex);
                debugLines << message;
            });
    }

    // Each test gets a fresh window, a fresh current directory <w> and nets in <n>.
    void init()
    {
        temp_ = std::make_unique<QTemporaryDir>();
        root_ = QDir(temp_->path()).canonicalPath();
        QVERIFY(QDir(root_).mkpath("nets") && QDir(root_).mkpath("work")
                && QDir::setCurrent(work()));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root_ + "/settings");
        for (QStringList *list : {&openedUrls_, &dialogCalls_, &debugLines, &boxes_, &bars_})
            list->clear();
        answer_ = selectedFileName = QString();
        MainWindow::openUrl = [this](const QUrl &url) {
            openedUrls_ << (url.isLocalFile() ? url.toLocalFile() : "not local: " + url.toString());
            return true;
        };
        hold_ = std::make_unique<Hold>();
        MainWindow::convert = [this](const trilette::ConversionJob &job, trilette::TextSink *trace,
                                     trilette::ConversionObserver *observer) {
            hold_->window = observer;
            hold_->onGuiThread = QThread::currentThread() == qApp->thread();
            return trilette::convertNet(job, trace, hold_.get());
        };
        window_ = new MainWindow;
        boxCloser_.start(5);
    }

    void cleanup()
    {
        boxCloser_.stop();
        delete std::exchange(window_, nullptr);
        QDir::setCurrent(QDir::tempPath());
        temp_.reset();
    }

    // Tab follows the eye: the field, Parcourir, the format, the check box, Triler. A wider window
    // stretches the field and keeps the buttons at its right.
    void tabOrder()
    {
        play("show");
        widget("lineEdit")->setFocus();
        QStringList visited {"lineEdit"};
        for (int i = 0; i < 5; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited.join(' '),
                 QString("lineEdit pushButton comboBox checkBox commandLinkButton lineEdit"));
        const QRect field = widget("lineEdit")->geometry(),
                    button = widget("pushButton")->geometry();
        window_->resize(window_->width() + 200, window_->height());
        QCOMPARE(widget("lineEdit")->geometry(), field.adjusted(0, 0, 200, 0));
        QCOMPARE(widget("pushButton")->geometry(), button.translated(200, 0));
    }

    void steps_data()
    {
        QTest::addColumn<QString>("steps"); // as play() takes them
        QTest::addColumn<QByteArray>("net");
        QTest::addColumn<QString>("seen");
        QTest::addColumn<bool>("whole"); // else only the choice is seen
        // The choice: "dialog DIR" where each browse opens, "run NET", and the net shown whole.
        // Enter presses the focused button; Alt+P, Ctrl+O and Alt+T act from anywhere.
        const QString rows
            = QString::fromUtf8(R"(browsed | browse <n>/u.ndr | dialog <h> | <n>/u.ndr
again: in its folder | browse <n>/a.ndr;browse <n>/u.ndr | dialog <h>;dialog <n> | <n>/u.ndr
again: its folder gone | browse /parti/a.ndr;browse <n>/u.ndr | dialog <h>;dialog <h> | <n>/u.ndr
cancelled after a choice | browse <n>/u.ndr;browse | dialog <h>;dialog <n> | <n>/u.ndr
browsed, another typed | browse <n>/a.ndr;type <n>/u.ndr;triler | dialog <h>;run <n>/u.ndr | <n>/u.ndr
a name typed over a choice | browse <n>/a.ndr;type u.ndr;triler | dialog <h>;run <n>/u.ndr | <n>/u.ndr
relative after a run in TriledFiles | mkdir TriledFiles;type a.ndr;triler;type b.ndr;triler | run <w>/a.ndr;run <w>/b.ndr | <w>/b.ndr
blanks around | type  <n>/u.ndr  ;triler | run <n>/u.ndr | <n>/u.ndr
home folder | type ~/r.ndr;triler | run <~>/r.ndr | <~>/r.ndr
a dropped file's address | type file://<n>/r%C3%A9seau.ndr;triler | run <n>/réseau.ndr | <n>/réseau.ndr
the field emptied | browse <n>/u.ndr;type ;triler | dialog <h>;run Ex.ndr | 
from the command line | open sous/r.ndr;triler | run <w>/sous/r.ndr | <w>/sous/r.ndr
keys that browse | key pushButton Return;key lineEdit Alt+P;key lineEdit Ctrl+O | dialog <h>;dialog <h>;dialog <h> | 
keys that convert | open <l>;key commandLinkButton Return;key checkBox Alt+T | run <l>;run <l> | <l>
Enter in the field | type <l>;key lineEdit Return | run <l> | <l>)");
        for (const QString &row : rows.split('\n')) {
            const QStringList cells = row.split(" | ");
            QTest::newRow(qPrintable(cells[0]))
                << cells[1] << QByteArray() << "dialogs " + cells[2] + "\nshown " + cells[3]
                << false;
        }
        // Runs and what they leave, whole.
        for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/window.cases"))
            QTest::newRow(qPrintable(c.name))
                << QString(c.text("steps")).trimmed()
                << (c.find("net") ? c.text("net") : file(lamp + ".ndr")) << QString(c.text("seen"))
                << true;
    }

    // Browsing opens in the chosen net's folder, else at home; a cancelled dialog changes nothing.
    // What the field shows, whole with its end in view, is what "Triler" converts.
    void steps()
    {
        QFETCH(QString, steps);
        QFETCH(QByteArray, net);
        QFETCH(QString, seen);
        QFETCH(bool, whole);
        play("show;" + steps, net);
        auto *edit = widget<QLineEdit>("lineEdit");
        const bool shown = edit->toolTip() == edit->text() && selectedFileName == edit->text()
            && edit->cursorPosition() == edit->text().size();
        QStringList lines {"dialogs " + dialogCalls_.join(';'),
                           "shown " + edit->text() + (shown ? "" : " (not whole)"),
                           "bar " + bars_.join(' '),
                           "debug " + debugLines.join('|'),
                           "files " + filesIn(work()),
                           "opened " + openedUrls_.join(' '),
                           "status " + window_->statusBar()->toolTip()};
        lines << boxes_;
        for (QString &line : lines)
            line = QDir::fromNativeSeparators(line.trimmed());
        QCOMPARE((lines.mid(0, 2) + (whole ? lines.mid(2).filter(" ") : QStringList())).join('\n'),
                 place(seen).trimmed());
        QCOMPARE(window_->statusBar()->currentMessage().isEmpty(),
                 window_->statusBar()->toolTip().isEmpty());
    }

    // The reading traces go to standard output, as with the command line, only with --traces.
    void traces()
    {
#ifdef Q_OS_UNIX
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO), out = open("out", O_WRONLY | O_CREAT, 0644);
        QVERIFY(dup2(out, STDOUT_FILENO) >= 0 && close(out) == 0);
        play("open <l>;triler");
        window_->setTraces(true);
        play("triler");
        std::fflush(stdout);
        QVERIFY(dup2(saved, STDOUT_FILENO) >= 0 && close(saved) == 0);
        QCOMPARE(file("out"), file(lamp + ".out"));
#else
        QSKIP("Standard output is captured through POSIX descriptors");
#endif
    }

    void duringRun_data()
    {
        QTest::addColumn<QString>("how"); // what the user does while the run is held
        QTest::addColumn<int>("heldAt"); // the progress value that holds the run
        QTest::newRow("double-click: converted") << "double-click" << 50; // the net read
        QTest::newRow("Annuler, while reading") << "Annuler" << 1;
        QTest::newRow("Escape, while writing") << "Escape" << 51;
        QTest::newRow("closing the window") << "close" << 51;
    }

    // A run goes on off the GUI thread: Parcourir, the format and the check box wait, the field is
    // read-only, "Triler" has become "Annuler", the bar shows the value reached. A double-click on
    // "Triler" starts a run and does not cancel it: the bar rises from 0 through the bytes read
    // and written to 100. A cancelled run leaves the earlier outputs as they were and no other
    // file, the bar empty, and says so; a closed window goes at once, and answers while it waits.
    void duringRun()
    {
        QFETCH(QString, how);
        QFETCH(int, heldAt);
        QVERIFY(file("../nets/u.ndr", chainNet(40000)).size() > 0
                && file("u.log", "ancien\n") == file("u_ST.txt", "ancien\n"));
        hold_->at = heldAt;
        play("show;open ../nets/u.ndr");
        widget("checkBox")->setFocus();
        auto *triler = widget<QCommandLinkButton>("commandLinkButton");
        auto *bar = widget<QProgressBar>("progressBar");
        bar->setValue(100);
        QSignalSpy spy(bar, &QProgressBar::valueChanged);
        triler->click(); // the focus stays where it is
        hold_->reached.acquire();
        QVERIFY2(!hold_->onGuiThread, "the run blocks the window");
        QCoreApplication::processEvents(); // the values that the run has posted
        QCOMPARE(state(), QString("Ann&uler 0001 read-only cursor %1").arg(Qt::BusyCursor));
        QVERIFY(bar->value() >= heldAt);
        if (how == "Annuler")
            QTest::qWait(QApplication::doubleClickInterval()); // no double-click's second click
        if (how == "Annuler" || how == "double-click")
            triler->click();
        if (how == "Escape")
            QTest::keyClick(window_, Qt::Key_Escape);
        if (how == "close") {
            bool answered = false;
            QTimer::singleShot(0, window_, [&] {
                answered = !window_->isVisible();
                hold_->release.release();
            });
            window_->close();
            QVERIFY(answered && !QApplication::overrideCursor());
            delete std::exchange(window_, nullptr);
        } else {
            hold_->release.release();
            window_->waitForRun();
            QList<int> values;
            for (const QList<QVariant> &signal : spy)
                values << signal.at(0).toInt();
            const bool rising = values.size() >= 8 && values.first() == 0 && values.last() == 100
                && std::adjacent_find(values.begin(), values.end(), std::greater_equal<int>())
                    == values.end();
            QCOMPARE(QString("%1, %2 %3 %4 %5")
                         .arg(state(), QApplication::focusWidget()->objectName())
                         .arg(rising)
                         .arg(bar->value())
                         .arg(window_->statusBar()->currentMessage() == "Conversion annulée"),
                     "&Triler 1111, checkBox "
                         + QString(how == "double-click" ? "1 100 0" : "0 0 1"));
        }
        QCOMPARE(filesIn("."), QString("u.log u_ST.txt"));
        QCOMPARE(file("u.log") + file("u_ST.txt") == "ancien\nancien\n", how != "double-click");
        QCOMPARE(boxes_, QStringList());
    }

    // The output folder chosen in the menu, and the folder of the last net browsed, are kept for
    // the next session; the runs write into that folder. Fichier > Dossier par défaut forgets the
    // choice. A kept folder gone since is dropped at the start, and the status bar says so.
    void settingsKept()
    {
        const QString out = root_ + "/sorties";
        play("mkdir ../sorties;browse <n>/u.ndr;outdir ../sorties;restart;browse <n>/u.ndr;triler",
             file(lamp + ".ndr"));
        QCOMPARE(dialogCalls_.join(';') + '|' + filesIn(out) + '|' + filesIn("."),
                 place("dialog <h>;dialog <n>;run <n>/u.ndr|u.log u_ST.txt|"));
        play("default");
        QVERIFY(window_->outputFolder() == work()
                && !QSettings("Trilette", "trilette").contains("outputFolder"));
        play("outdir ../sorties;rmdir ../sorties;restart;show");
        QCOMPARE(window_->outputFolder() + '|' + window_->statusBar()->currentMessage() + "|"
                     + window_->statusBar()->toolTip(),
                 work() + "|Dossier de sortie introuvable : " + out + "|Le dossier de sortie « "
                     + out + " » n'existe plus : les fichiers vont dans le dossier par défaut, "
                     + work());
        QVERIFY(!QSettings("Trilette", "trilette").contains("outputFolder"));
    }

    // A hundred warnings: three lines, the whole list in the details, which keep the box within
    // the screen. Without a file manager, opening the folder fails: the status bar says so. A run
    // that runs out of memory says so, and gives the window back.
    void failures()
    {
        MainWindow::openUrl = [](const QUrl &) { return false; };
        play("tick;browse n.ndr;triler", "p 1 2 P 1 n\n" + QByteArray("t 1 2\n").repeated(99));
        const QStringList box = boxes_.value(0).split('\n');
        QCOMPARE(
            (box.mid(5, 3) << QString::number(box.size()) << window_->statusBar()->currentMessage())
                .join('|'),
            QString("… et 97 autres messages, dans les détails.||[détails]|108|Impossible d'ouvrir "
                    "le dossier : aucun gestionnaire de fichiers n'a répondu"));
        MainWindow::convert
            = [](const auto &...) -> trilette::ConversionResult { throw std::bad_alloc(); };
        play("triler");
        QCOMPARE(QStringList({boxes_.value(1), bars_.join(' '), state()}),
                 QStringList({"Erreur: Problème de mémoire !", "0,50,100 0", "&Triler 1111"}));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
