// The window: its form, choosing a net by browsing or typing, the keyboard, and whole conversion
// runs driven by clicking "Triler", held half-way to see the window answer.

#include "app/mainwindow.h"

#include "tests/support/chainnet.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>
#include <functional>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

/// The net that runs convert, a golden case: its first transition is T1, its first place P1.
const QString lamp = QStringLiteral(TRILETTE_SOURCE_DIR "/tests/golden/lamp");

QMutex debugMutex; // the run's last debug lines come from its own thread
QStringList debugLines;
QtMessageHandler testlibHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg)
        return testlibHandler(type, context, message);
    QMutexLocker lock(&debugMutex);
    debugLines << message;
}

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size(),
             qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(absent)");
}

/// Every file under `dir`, relative, sorted.
QStringList filesIn(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

/// Holds a run at its first progress value from `at` on, on its own thread, until the test lets
/// it go on.
struct Hold : trilette::ConversionObserver
{
    trilette::ConversionObserver *window = nullptr;
    QSemaphore reached, release;
    bool onGuiThread = false;
    int at = 1;
    bool held = false;
    void progress(int value) override
    {
        window->progress(value);
        if (value < at || held)
            return;
        held = true;
        reached.release();
        if (!onGuiThread) // a run on the GUI thread would wait for ever
            release.acquire();
    }
    void debugLine(const std::string &text) override { window->debugLine(text); }
    bool cancelled() override { return window->cancelled(); }
};

const QString errorBox = "Erreur: Le r\xc3\xa9seau \xc2\xab %1 \xc2\xbb n'a pas \xc3\xa9t\xc3\xa9 "
                         "tril\xc3\xa9 : %2.\n\n";
#ifdef Q_OS_WIN
const QString homeFolder = "C://";
#else
const QString homeFolder = QDir::homePath();
#endif
const QString warningBox
    = "Avertissement: Le r\xc3\xa9seau \xc2\xab %1 \xc2\xbb a \xc3\xa9t\xc3\xa9"
      " tril\xc3\xa9, avec %2.\n\n";

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabOrder();
    void widened();
    void chosen_data();
    void chosen();
    void run_data();
    void run();
    void barFollowsRun();
    void tracesOnStandardOutput();
    void answersDuringRun();
    void cancel_data();
    void cancel();
    void settingsKept();
    void noFileManager();
    void about();
    void outOfMemory();

private:
    template<typename T = QWidget> T *widget(const char *name) const
    {
        return window_->findChild<T *>(name);
    }
    QString place(QString text) const
    {
        return text.replace("<nets>", root_ + "/nets").replace("<work>", work());
    }
    QString work(const QString &p = {}) const { return QDir::cleanPath(root_ + "/work/" + p); }
    /// Writes the lamp's net as <nets>/`name` and chooses it.
    QString lampChosen(const QString &name = "usine.ndr")
    {
        const QString net = root_ + "/nets/" + name;
        writeFile(net, readFile(lamp + ".ndr"));
        window_->chooseNet(net);
        return net;
    }
    /// Browses, with the dialog answering `path`.
    void choose(const QString &path)
    {
        answer_ = path;
        QTest::mouseClick(widget<QPushButton>("pushButton"), Qt::LeftButton);
    }
    void clickTriler() { QTest::mouseClick(widget("commandLinkButton"), Qt::LeftButton); }
    /// Clicks "Triler" and waits for the run to end.
    void triler()
    {
        clickTriler();
        window_->waitForRun();
    }
    /// Shows the window and makes it Qt's active one: a bare X server without window manager
    /// activates nothing.
    void showActive()
    {
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_));
        QApplication::setActiveWindow(window_);
    }
    /// Makes the runs stop at their first progress value from `at` on until `hold_.release` is
    /// released.
    void holdRuns(int at = 1)
    {
        hold_ = std::make_unique<Hold>();
        hold_->at = at;
        MainWindow::convert = [this](const trilette::ConversionJob &job, trilette::TextSink *trace,
                                     trilette::ConversionObserver *observer) {
            hold_->window = observer;
            hold_->onGuiThread = QThread::currentThread() == qApp->thread();
            return trilette::convertNet(job, trace, hold_.get());
        };
    }

    QString startDir_;
    std::unique_ptr<QTemporaryDir> temp_;
    QString root_;
    MainWindow *window_ = nullptr;
    QTimer boxCloser_;
    QStringList boxes_; // "title: text", then the informative text, then the details
    // Each a modal box of the window with only Ok, the right icon, no taller than the screen with
    // its details shown.
    bool boxesWellFormed_ = true;
    QString answer_; // what the file dialog answers
    QString folderAnswer_; // what the folder dialog answers
    QStringList dialogCalls_, openedUrls_;
    std::unique_ptr<Hold> hold_;
};

void TestWindow::initTestCase()
{
    startDir_ = QDir::currentPath();
    MainWindow::progressInterval = 0;
    MainWindow::folderDialog = [this](QWidget *, const QString &, const QString &dir) {
        dialogCalls_ << "folder " + dir;
        return folderAnswer_;
    };
    MainWindow::fileDialog = [this](QWidget *parent, const QString &caption, const QString &dir,
                                    const QString &filter) {
        dialogCalls_ << QStringList {parent->objectName(), caption, dir, filter}.join(" | ");
        return answer_;
    };
    connect(&boxCloser_, &QTimer::timeout, this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        QString seen = box->windowTitle() + QLatin1String(": ") + box->text();
        if (!box->informativeText().isEmpty())
            seen += "\n\n" + box->informativeText();
        if (!box->detailedText().isEmpty()) {
            seen += "\n\n[d\xc3\xa9tails]\n" + box->detailedText();
            // The details shown: the box still fits the screen.
            for (QAbstractButton *button : box->buttons())
                if (box->buttonRole(button) == QMessageBox::ActionRole)
                    button->click();
            QCoreApplication::processEvents();
            boxesWellFormed_ = boxesWellFormed_ && box->findChild<QTextEdit *>()->isVisible()
                && box->frameGeometry().height() <= box->screen()->availableGeometry().height();
        }
        boxes_ << seen;
        boxesWellFormed_ = boxesWellFormed_ && box->parentWidget() == window_
            && box->standardButtons() == QMessageBox::Ok
            && box->icon()
                == (box->windowTitle() == "Erreur" ? QMessageBox::Warning
                                                   : QMessageBox::Information);
        box->button(QMessageBox::Ok)->click();
    });
}

// Each test gets a fresh window, a fresh current directory <root>/work and nets in <root>/nets.
void TestWindow::init()
{
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    root_ = QDir(temp_->path()).canonicalPath();
    QVERIFY(QDir(root_).mkpath("nets") && QDir(root_).mkpath("work") && QDir::setCurrent(work()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root_ + "/settings");
    for (QStringList *list : {&openedUrls_, &dialogCalls_, &debugLines, &boxes_})
        list->clear();
    answer_.clear();
    folderAnswer_.clear();
    selectedFileName.clear();
    boxesWellFormed_ = true;
    MainWindow::openUrl = [this](const QUrl &url) {
        openedUrls_ << url.toString();
        return true;
    };
    testlibHandler = qInstallMessageHandler(captureDebug);
    window_ = new MainWindow;
    boxCloser_.start(5);
}

void TestWindow::cleanup()
{
    if (hold_)
        hold_->release.release(100); // a failed check must not leave a run held
    boxCloser_.stop();
    delete window_;
    window_ = nullptr;
    hold_.reset();
    MainWindow::convert = &trilette::convertNet;
    qInstallMessageHandler(testlibHandler);
    QDir::setCurrent(startDir_);
    temp_.reset();
}

// Tab follows the eye: the field, Parcourir, the format, the check box, Triler; the labels'
// mnemonics reach their controls, none twice.
void TestWindow::tabOrder()
{
    showActive();
    widget<QLineEdit>("lineEdit")->setFocus();
    QStringList visited {QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited,
             QStringList({"lineEdit", "pushButton", "comboBox", "checkBox", "commandLinkButton",
                          "lineEdit"}));
    QStringList mnemonics;
    for (QWidget *w : window_->findChildren<QWidget *>()) {
        const auto *menu = qobject_cast<QMenu *>(w);
        const QString text = menu && menu->parentWidget() == window_->menuBar()
            ? menu->title()
            : w->property("text").toString();
        if (text.contains('&'))
            mnemonics << text.mid(text.indexOf('&') + 1, 1).toUpper();
    }
    mnemonics.sort();
    QCOMPARE(mnemonics.join(""), QString("AFLNOPT"));
    for (const auto &[key, focus] : {std::pair(Qt::Key_L, "comboBox"), {Qt::Key_N, "lineEdit"}}) {
        QTest::keyClick(window_, key, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString(focus));
    }
    QTest::keyClick(window_, Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(widget<QCheckBox>("checkBox")->isChecked());
}

// A wider window stretches the field and keeps the buttons at its right.
void TestWindow::widened()
{
    showActive();
    QCOMPARE(window_->minimumSize(), window_->size());
    const QRect field = widget("lineEdit")->geometry(), button = widget("pushButton")->geometry();
    window_->resize(window_->width() + 200, window_->height());
    QCOMPARE(widget("lineEdit")->geometry(), field.adjusted(0, 0, 200, 0));
    QCOMPARE(widget("pushButton")->geometry(), button.translated(200, 0));
}

void TestWindow::chosen_data()
{
    // Steps: "browse PATH" (the dialog answers PATH; empty: cancelled), "type TEXT" (replaces the
    // field's text, the focus stays there), "open PATH" (given on the command line), "mkdir DIR"
    // (in the current directory), "triler" (clicked without the focus moving), "key WIDGET KEYS"
    // (pressed with WIDGET focused, which has the focus back after a run).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("seen"); // "dialog DIR" where each browse opens, "run NET"
    QTest::addColumn<QString>("shown"); // the choice afterwards, shown whole, also as tooltip

    const QString usine = "<nets>/usine.ndr", autre = "<nets>/autre.ndr";
    const QString home = QDir::homePath() + "/r.ndr";
    const QString dialogHome = "dialog <home>", run = "run ";
    QTest::newRow("browsed") << QStringList {"browse " + usine} << QStringList {dialogHome}
                             << usine;
    QTest::newRow("again: opens in the chosen net's folder")
        << QStringList {"browse " + usine, "browse " + autre}
        << QStringList {dialogHome, "dialog <nets>"} << autre;
    QTest::newRow("again after a net of a vanished folder")
        << QStringList {"browse /home/utilisateur/disparu/usine.ndr", "browse " + usine}
        << QStringList {dialogHome, dialogHome} << usine;
    QTest::newRow("cancelled after a choice") << QStringList {"browse " + usine, "browse "}
                                              << QStringList {dialogHome, "dialog <nets>"} << usine;
    QTest::newRow("browsed, another typed")
        << QStringList {"browse " + usine, "type " + autre, "triler"}
        << QStringList {dialogHome, run + autre} << autre;
    QTest::newRow("a name typed over a choice: beside it")
        << QStringList {"browse " + usine, "type autre.ndr", "triler"}
        << QStringList {dialogHome, run + autre} << autre;
    QTest::newRow("relative after a run in TriledFiles")
        << QStringList {"mkdir TriledFiles", "type a.ndr", "triler", "type b.ndr", "triler"}
        << QStringList {"run <work>/a.ndr", "run <work>/b.ndr"} << "<work>/b.ndr";
    QTest::newRow("blanks around")
        << QStringList {"type  " + usine + "  ", "triler"} << QStringList {run + usine} << usine;
    QTest::newRow("home folder") << QStringList {"type ~/r.ndr", "triler"}
                                 << QStringList {run + home} << home;
    QTest::newRow("a dropped file's address")
        << QStringList {"type file://<nets>/r%C3%A9seau.ndr", "triler"}
        << QStringList {"run <nets>/r\xc3\xa9seau.ndr"} << "<nets>/r\xc3\xa9seau.ndr";
    QTest::newRow("browsed, then the field emptied")
        << QStringList {"browse " + usine, "type ", "triler"}
        << QStringList {dialogHome, "run Ex.ndr"} << "";
    // Enter presses the focused button, and converts from the field; Alt+P and Alt+T press their
    // buttons from anywhere in the window, Ctrl+O browses.
    const QString net = lamp + ".ndr", open = "open " + net;
    QTest::newRow("Enter on Parcourir")
        << QStringList {"key pushButton Return"} << QStringList {dialogHome} << "";
    QTest::newRow("Enter on Triler")
        << QStringList {open, "key commandLinkButton Return"} << QStringList {run + net} << net;
    QTest::newRow("Alt+P from the field")
        << QStringList {"key lineEdit Alt+P"} << QStringList {dialogHome} << "";
    QTest::newRow("Alt+T from the check box")
        << QStringList {open, "key checkBox Alt+T"} << QStringList {run + net} << net;
    QTest::newRow("Enter in the field")
        << QStringList {"type " + net, "key lineEdit Return"} << QStringList {run + net} << net;
    QTest::newRow("Ctrl+O from the field")
        << QStringList {"key lineEdit Ctrl+O"} << QStringList {dialogHome} << "";
    QTest::newRow("from the command line")
        << QStringList {"open sous/r.ndr", "triler"} << QStringList {"run <work>/sous/r.ndr"}
        << "<work>/sous/r.ndr";
}

// Browsing opens in the chosen net's folder, else at home; a cancelled dialog changes nothing.
// What the field shows, whole with its end in view, is what "Triler" converts.
void TestWindow::chosen()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, seen);
    QFETCH(QString, shown);
    auto *edit = widget<QLineEdit>("lineEdit");
    showActive();
    for (QString step : steps) {
        const QString arg = place(step.section(' ', 1));
        if (step.startsWith("browse ")) {
            choose(arg);
        } else if (step.startsWith("type ")) {
            edit->setFocus();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, arg);
        } else if (step.startsWith("mkdir ")) {
            QVERIFY(QDir().mkdir(arg));
        } else if (step.startsWith("open ")) {
            window_->chooseNet(arg);
        } else if (step.startsWith("key ")) {
            QWidget *focus = widget(qPrintable(step.section(' ', 1, 1)));
            focus->setFocus();
            const int keys = QKeySequence(step.section(' ', 2))[0];
            const int dialogs = dialogCalls_.size();
            debugLines.clear();
            QTest::keyClick(focus, Qt::Key(keys & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(keys & Qt::KeyboardModifierMask));
            // A shortcut shows its button pressed for a moment before it clicks.
            QTRY_VERIFY(dialogCalls_.size() > dialogs || !debugLines.isEmpty());
            window_->waitForRun();
            if (!debugLines.isEmpty())
                dialogCalls_ << "run " + debugLines.value(1);
            QCOMPARE(QApplication::focusWidget(), focus);
        } else {
            debugLines.clear();
            widget<QCommandLinkButton>("commandLinkButton")->click();
            window_->waitForRun();
            dialogCalls_ << "run " + debugLines.value(1);
        }
    }
    for (QString &line : seen)
        if (line.startsWith("dialog "))
            line = "MainWindow | Ouvrir le fichier \xc3\xa0 triler | "
                + place(line.mid(7)).replace("<home>", homeFolder) + " | RdP Tina (*.ndr)";
        else
            line = place(line);
    QCOMPARE(dialogCalls_, seen);
    shown = place(shown);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(edit->cursorPosition(), shown.size());
    QCOMPARE(edit->toolTip(), shown);
    QCOMPARE(selectedFileName, shown);
}

// Clicks on "Triler", one per chosen net, and what they leave. Paths relative to the work
// folder; <nets> stands for the nets folder, <work> for the work folder.
void TestWindow::run_data()
{
    QTest::addColumn<int>("entry"); // of "Langage de sortie", chosen with the keyboard
    QTest::addColumn<QStringList>("folders"); // made first
    QTest::addColumn<QByteArray>("net"); // written at each chosen path unless null
    QTest::addColumn<QStringList>("chosen"); // the browse answer for each click; null: no browse
    QTest::addColumn<bool>("ticked"); // "open the folder after generating"
    QTest::addColumn<QList<int>>("bar"); // the bar's value after each click
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("debug"); // the debug log
    QTest::addColumn<QStringList>("files"); // every file under the work folder afterwards
    QTest::addColumn<QStringList>("opened"); // the folders opened
    QTest::addColumn<QString>("status"); // the status bar's whole message afterwards
    int entry = 0; // that of the rows that follow
    const auto add
        = [&entry](const char *name, QStringList folders, QByteArray net, QStringList chosen,
                   bool ticked, QList<int> bar, QStringList boxes, QStringList debug,
                   QStringList files = {}, QStringList opened = {}, QString status = {}) {
              QTest::newRow(name) << entry << folders << net << chosen << ticked << bar << boxes
                                  << debug << files << opened << status;
          };
    const QByteArray lampNet = readFile(lamp + ".ndr");
    const QString usine = "<nets>/usine.ndr", lampNdr = "<nets>/lamp.ndr", T = "TriledFiles/";
    const QString noNet = "Erreur: Aucun fichier choisi";
    const QStringList none {"\"\"", "Ex.ndr", "", ""}; // debug log when no net is chosen
    // The debug log of a run that got as far as the net file, and of one that converted it.
    const auto reached = [](const QString &net, const QString &base) {
        return QStringList {'"' + net + '"', net, "", "", base + ".log"};
    };
    const auto done = [&](const QString &net, const QString &base, const QString &program = {}) {
        return reached(net, base)
            + QStringList {"", "T1", "P1", program.isNull() ? base + "_ST.txt" : program};
    };
    const auto written = [](const QString &base, const QString &program = {}) {
        return base + ".log et " + (program.isNull() ? base + "_ST.txt" : program)
            + " \xc3\xa9"
              "crits dans <work>";
    };
    const QString skipped = "<work>/n.ndr:%1: avertissement: ligne de transition ignor\xc3\xa9"
                            "e : il y manque le jeton 4 (le nom)";
    const QString noEnd = "<work>/n.ndr: avertissement: pas de ligne de fin \xc2\xab h \xc2\xbb :"
                          " le fichier est peut-\xc3\xaatre tronqu\xc3\xa9";
    // A net whose transition lines, from line 2 on, all lack their name.
    const auto damaged
        = [](int lines) { return "p 1 2 P 1 n\n" + QByteArray("t 1 2\n").repeated(lines); };
    const auto damagedDebug = reached("<work>/n.ndr", "n") + QStringList {"", "", "P", "n_ST.txt"};

    add("never browsed, then dialog cancelled", {T}, {}, {QString(), ""}, true, {0, 0},
        {noNet, noNet}, none + none);
    add("into TriledFiles, opened", {T}, lampNet, {usine}, true, {100}, {}, done(usine, "usine"),
        {T + "usine.log", T + "usine_ST.txt"}, {T}, written("usine") + "/TriledFiles");
    add("no TriledFiles: current directory, opened", {}, lampNet, {usine}, true, {100}, {},
        done(usine, "usine"), {"usine.log", "usine_ST.txt"}, {""}, written("usine"));
    // The other output is not put in place, the bar empties, no partial file is left.
    add("ST program not written", {T + "usine_ST.txt/"}, lampNet, {usine}, false, {0},
        {errorBox.arg("usine.ndr", "1 erreur")
         + "<work>/TriledFiles/usine_ST.txt: erreur: impossible d'\xc3\xa9"
           "crire le fichier : un dossier porte ce nom"},
        done(usine, "usine"));
    add("damaged net", {}, damaged(1), {"n.ndr"}, false, {100},
        {warningBox.arg("n.ndr", "2 avertissements") + skipped.arg(2) + '\n' + noEnd}, damagedDebug,
        {"n.log", "n.ndr", "n_ST.txt"}, {}, written("n"));
    // One box, an error one, with the error first.
    add("damaged net not written", {"n_ST.txt/"}, damaged(1), {"n.ndr"}, false, {0},
        {errorBox.arg("n.ndr", "1 erreur, 2 avertissements")
         + "<work>/n_ST.txt: erreur: impossible d'\xc3\xa9"
           "crire le fichier : un dossier porte ce nom\n"
         + skipped.arg(2) + '\n' + noEnd},
        damagedDebug, {"n.ndr"});
    // A long list: the counts, the first three lines, and the whole list in the details, which
    // keep the box within the screen.
    QStringList all30;
    for (int line = 2; line <= 30; ++line)
        all30 << skipped.arg(line);
    all30 << noEnd;
    add("30 remarks", {}, damaged(29), {"n.ndr"}, false, {100},
        {warningBox.arg("n.ndr", "30 avertissements") + all30.mid(0, 3).join('\n')
         + "\n\xe2\x80\xa6 et 27 autres messages, dans les d\xc3\xa9tails.\n\n[d\xc3\xa9tails]\n"
         + all30.join('\n')},
        damagedDebug, {"n.log", "n.ndr", "n_ST.txt"}, {}, written("n"));

    // The complete formats rename the program "lamp", which ST would take for the net's output
    // "Lamp": a note, which opens no box alone, and comes after the errors.
    QByteArray notSt = lampNet;
    notSt.replace("[start;]", "{stop writing}");
    entry = 1;
    add("complete program, into TriledFiles", {T}, lampNet, {lampNdr}, false, {100}, {},
        done(lampNdr, "lamp", "lamp.st"), {T + "lamp.log", T + "lamp.st"}, {},
        written("lamp", "lamp.st") + "/TriledFiles");
    add("complete program: predicate that is no ST", {}, notSt, {lampNdr}, false, {0},
        {errorBox.arg("lamp.ndr", "1 erreur, 1 note")
         + "<nets>/lamp.ndr:3:32: erreur: pr\xc3\xa9"
           "dicat \xc2\xab stop writing \xc2\xbb de la transition \xc2\xab T1 \xc2\xbb invalide "
           "en ST : fin du pr\xc3\xa9"
           "dicat attendue, \xc2\xab writing \xc2\xbb trouv\xc3\xa9\n"
           "<nets>/lamp.ndr: note: \xc2\xab lamp \xc2\xbb se confond en ST, o\xc3\xb9 la casse ne "
           "compte pas, avec la sortie \xc2\xab Lamp \xc2\xbb : le programme s'\xc3\xa9"
           "crit \xc2\xab lamp_2 \xc2\xbb"},
        reached(lampNdr, "lamp"));
    entry = 2;
    add("PLCopen XML, opened", {}, lampNet, {lampNdr}, true, {100}, {},
        done(lampNdr, "lamp", "lamp.xml"), {"lamp.log", "lamp.xml"}, {""},
        written("lamp", "lamp.xml"));
}

void TestWindow::run()
{
    QFETCH(int, entry);
    QFETCH(QStringList, folders);
    QFETCH(QByteArray, net);
    QFETCH(QStringList, chosen);
    QFETCH(bool, ticked);
    QFETCH(QList<int>, bar);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, debug);
    QFETCH(QStringList, files);
    QFETCH(QStringList, opened);
    QFETCH(QString, status);
    for (const QString &folder : folders)
        QVERIFY(QDir().mkpath(folder));
    if (ticked)
        QTest::mouseClick(widget("checkBox"), Qt::LeftButton);
    for (int i = 0; i < entry; ++i)
        QTest::keyClick(widget("comboBox"), Qt::Key_Down);

    auto *progressBar = widget<QProgressBar>("progressBar");
    QList<int> ends;
    for (const QString &path : chosen) {
        if (!net.isNull())
            writeFile(QDir(work()).filePath(place(path)), net);
        if (!path.isNull())
            choose(place(path));
        window_->setProgressValue(100);
        QSignalSpy spy(progressBar, &QProgressBar::valueChanged);
        triler();
        QVERIFY(!spy.isEmpty() && spy.first().at(0).toInt() == 0);
        ends << progressBar->value();
    }
    QCOMPARE(ends, bar);
    for (QString &box : boxes)
        box = QDir::toNativeSeparators(place(box));
    QCOMPARE(boxes_, boxes);
    QVERIFY(boxesWellFormed_);
    QCOMPARE(debugLines,
             debug.replaceInStrings("<nets>", root_ + "/nets").replaceInStrings("<work>", work()));
    QCOMPARE(filesIn(work()), files);
    QCOMPARE(QDir::currentPath(), work());
    for (QString &folder : opened) // "/tmp/..." here, "C:/..." on Windows
        folder = (root_.startsWith('/') ? "file://" : "file:///") + work(folder);
    QCOMPARE(openedUrls_, opened);
    // The status bar names the outputs, whole in its tooltip.
    QCOMPARE(window_->statusBar()->toolTip(), QDir::toNativeSeparators(place(status)));
    QCOMPARE(window_->statusBar()->currentMessage().isEmpty(), status.isEmpty());
}

// The bar follows a run of a large net: from 0, rising through the bytes read and written, to
// 100.
void TestWindow::barFollowsRun()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, chainNet(40000)); // about 4.6 MB, 11 MB of outputs
    window_->chooseNet(net);
    window_->setProgressValue(100);
    QSignalSpy spy(widget<QProgressBar>("progressBar"), &QProgressBar::valueChanged);
    triler();
    QList<int> values;
    for (const QList<QVariant> &signal : spy)
        values << signal.at(0).toInt();
    QVERIFY2(values.size() >= 8, qPrintable(QString::number(values.size())));
    QCOMPARE(values.first(), 0);
    QCOMPARE(values.last(), 100);
    QVERIFY(std::adjacent_find(values.begin(), values.end(), std::greater_equal<int>())
            == values.end());
    QCOMPARE(boxes_, QStringList());
}

// The reading traces go to standard output, as with the command line, when asked.
void TestWindow::tracesOnStandardOutput()
{
#ifdef Q_OS_UNIX
    lampChosen("lamp.ndr");
    const QString out = root_ + "/stdout.txt";
    for (const bool traces : {false, true}) {
        window_->setTraces(traces);
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        const int file
            = open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(saved >= 0 && file >= 0 && dup2(file, STDOUT_FILENO) >= 0);
        close(file);
        triler();
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        QCOMPARE(readFile(out), traces ? readFile(lamp + ".out") : QByteArray());
    }
    QCOMPARE(boxes_, QStringList());
#else
    QSKIP("Standard output is captured through POSIX descriptors");
#endif
}

// A run goes on off the GUI thread: "Parcourir...", the format and the check box wait, the field
// is read-only, "Triler" has become "Annuler", and the bar shows the values that the run reached.
// A double-click on "Triler" starts a run and does not cancel it.
void TestWindow::answersDuringRun()
{
    QVERIFY(QDir().mkdir("TriledFiles"));
    holdRuns();
    showActive();
    lampChosen();
    widget("checkBox")->setFocus();
    auto *bar = widget<QProgressBar>("progressBar");
    auto *triler = widget<QCommandLinkButton>("commandLinkButton");
    triler->click(); // the focus stays where it is
    hold_->reached.acquire();
    QVERIFY2(!hold_->onGuiThread, "the run blocks the window");
    QCoreApplication::processEvents(); // the values that the run has posted

    QCOMPARE(bar->value(), 50); // the net read
    QVERIFY(triler->isEnabled());
    QCOMPARE(triler->text(), QString("Ann&uler"));
    for (const char *locked : {"pushButton", "comboBox", "checkBox"})
        QVERIFY2(!widget(locked)->isEnabled(), locked);
    QVERIFY(widget<QLineEdit>("lineEdit")->isReadOnly());
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    triler->click(); // a double-click's second click, on "Annuler" now, cancels nothing

    hold_->release.release();
    window_->waitForRun();
    QCOMPARE(bar->value(), 100);
    for (const char *unlocked : {"pushButton", "comboBox", "checkBox"})
        QVERIFY2(widget(unlocked)->isEnabled(), unlocked);
    QCOMPARE(triler->text(), QString("&Triler"));
    QVERIFY(!widget<QLineEdit>("lineEdit")->isReadOnly());
    QVERIFY(!QApplication::overrideCursor());
    // The focus that the locked check box lost comes back.
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("checkBox"));
    QCOMPARE(filesIn(work()), QStringList({"TriledFiles/usine.log", "TriledFiles/usine_ST.txt"}));
}

void TestWindow::cancel_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("heldAt"); // the progress value that holds the run
    QTest::newRow("Annuler, while reading") << "Annuler" << 1;
    QTest::newRow("Escape, while writing") << "Escape" << 51;
    QTest::newRow("closing the window") << "close" << 51;
}

// A cancelled run stops: every earlier output stays as it was, no other file is left, the bar
// is empty, the status bar says so.
void TestWindow::cancel()
{
    QFETCH(QString, how);
    QFETCH(int, heldAt);
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, chainNet(40000));
    writeFile(work("usine.log"), "ancien\n");
    writeFile(work("usine_ST.txt"), "ancien\n");
    holdRuns(heldAt);
    showActive();
    window_->chooseNet(net);
    clickTriler();
    hold_->reached.acquire();
    QCoreApplication::processEvents();
    if (how == "Annuler") {
        QTest::qWait(QApplication::doubleClickInterval()); // no double-click's second click
        clickTriler();
    } else if (how == "Escape") {
        QTest::keyClick(window_, Qt::Key_Escape);
    }
    if (how == "close") {
        // The window goes at once, and answers while it waits for the run, still held here.
        bool answered = false, hidden = false;
        QTimer::singleShot(0, [&] {
            answered = true;
            hidden = !window_->isVisible();
            hold_->release.release();
        });
        std::thread late([this] { // lets a window that waits blocked end the test
            QThread::msleep(2000);
            hold_->release.release();
        });
        window_->close();
        late.join();
        QVERIFY(answered && hidden);
        QVERIFY(!QApplication::overrideCursor());
        delete window_;
        window_ = nullptr;
    } else {
        hold_->release.release();
        window_->waitForRun();
        QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
        QCOMPARE(window_->statusBar()->currentMessage(),
                 QString("Conversion annul\xc3\xa9"
                         "e"));
        QCOMPARE(widget<QCommandLinkButton>("commandLinkButton")->text(), QString("&Triler"));
    }
    QCOMPARE(filesIn(work()), QStringList({"usine.log", "usine_ST.txt"}));
    QCOMPARE(readFile(work("usine.log")), QByteArray("ancien\n"));
    QCOMPARE(readFile(work("usine_ST.txt")), QByteArray("ancien\n"));
    QCOMPARE(boxes_, QStringList());
}

// The output folder chosen in the menu, and the folder of the last net browsed, are kept for the
// next session; the runs write into that folder, the status bar shows it.
void TestWindow::settingsKept()
{
    const QString out = root_ + "/sorties";
    QVERIFY(QDir().mkdir(out));
    choose(lampChosen());
    folderAnswer_ = out;
    window_->findChild<QAction *>("actionOutputFolder")->trigger();
    delete window_;
    window_ = new MainWindow;
    selectedFileName.clear();
    QCOMPARE(window_->outputFolder(), out);
    QVERIFY(window_->statusBar()->findChild<QLabel *>()->text().endsWith("sorties"));
    dialogCalls_.clear();
    choose(root_ + "/nets/usine.ndr");
    QCOMPARE(dialogCalls_,
             QStringList({"MainWindow | Ouvrir le fichier \xc3\xa0 triler | " + root_
                          + "/nets | RdP Tina (*.ndr)"}));
    triler();
    QCOMPARE(filesIn(out), QStringList({"usine.log", "usine_ST.txt"}));
    QCOMPARE(filesIn(work()), QStringList());

    // Fichier > Dossier par défaut forgets the choice, for the next session too.
    auto *byDefault = window_->findChild<QAction *>("actionDefaultFolder");
    QVERIFY(byDefault->isEnabled());
    byDefault->trigger();
    QCOMPARE(window_->outputFolder(), work());
    QVERIFY(!byDefault->isEnabled());
    QVERIFY(!QSettings("Trilette", "trilette").contains("outputFolder"));

    // A kept folder that has gone since is forgotten at the start; the status bar says so.
    window_->findChild<QAction *>("actionOutputFolder")->trigger();
    QVERIFY(QDir(out).removeRecursively());
    delete window_;
    window_ = new MainWindow;
    QCOMPARE(window_->outputFolder(), work());
    showActive();
    QCOMPARE(window_->statusBar()->currentMessage(),
             QString("Dossier de sortie introuvable : " + out));
    QVERIFY(window_->statusBar()->toolTip().endsWith("par d\xc3\xa9"
                                                     "faut, "
                                                     + work()));
    QVERIFY(!QSettings("Trilette", "trilette").contains("outputFolder"));
}

// Without a file manager, opening the folder fails: the status bar says so.
void TestWindow::noFileManager()
{
    MainWindow::openUrl = [](const QUrl &) { return false; };
    lampChosen();
    QTest::mouseClick(widget("checkBox"), Qt::LeftButton);
    triler();
    QCOMPARE(window_->statusBar()->currentMessage(),
             QString("Impossible d'ouvrir le dossier : aucun gestionnaire de fichiers n'a "
                     "r\xc3\xa9pondu"));
}

// Aide > À propos names the program and its version.
void TestWindow::about()
{
    window_->findChild<QAction *>("actionAbout")->trigger();
    QCOMPARE(boxes_.size(), 1);
    QVERIFY2(boxes_[0].startsWith("\xc3\x80 propos de Trilette: <p><b>Trilette " TRILETTE_VERSION
                                  "</b></p>"),
             qPrintable(boxes_[0]));
}

// A run that runs out of memory says so, and gives the window back.
void TestWindow::outOfMemory()
{
    MainWindow::convert = [](const trilette::ConversionJob &, trilette::TextSink *,
                             trilette::ConversionObserver *) -> trilette::ConversionResult {
        throw std::bad_alloc();
    };
    lampChosen();
    triler();
    QCOMPARE(boxes_, QStringList {"Erreur: Probl\xc3\xa8me de m\xc3\xa9moire !"});
    QVERIFY(boxesWellFormed_);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
    QVERIFY(widget("commandLinkButton")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(filesIn(work()), QStringList());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
