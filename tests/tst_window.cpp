// The window: its form, choosing a net by browsing or typing, the keyboard, texts that fit, and
// whole conversion runs driven by clicking "Triler", held half-way to see the window answer.

#include "app/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <limits>
#include <thread>
#include <utility>

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
    if (type == QtDebugMsg) {
        QMutexLocker lock(&debugMutex);
        debugLines << message;
    } else {
        testlibHandler(type, context, message);
    }
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

/// A net of `chains` places marked, each feeding a transition into a place that names an
/// output: about 120 bytes a chain, its log and program together about twice as large.
QByteArray generatedNet(int chains)
{
    QByteArray net;
    for (int i = 0; i < chains; ++i)
        net += QStringLiteral("p 0 0 P%1 1 n\np 0 0 Q%1 0 n [Lampe%1] e\nt 0 0 T%1 c 0 w n "
                              "[start;] w\ne P%1 T%1 1 n\ne T%1 Q%1 1 n\n")
                   .arg(i)
                   .toLatin1();
    return net + "h reseau\n";
}

/// Counts the paint events of a widget.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

/// Clicks on "Triler", one per chosen net, and what they leave. Paths relative to the work
/// folder; <nets> stands for the nets folder, <work> for the work folder.
struct Runs
{
    int entry; // of "Langage de sortie", chosen with the keyboard
    QStringList before; // made first: "name/" a folder, "name" a file holding "ancien\n"
    // Written at each chosen path unless null. The lamp's log and ST match goldens; its complete
    // programs are checked for their frame.
    QByteArray net;
    QStringList chosen; // the browse answer for each click; null: no browse
    bool ticked; // "open the folder after generating"
    QList<int> progress; // the bar's value after each click
    QStringList boxes; // "title: text", then the informative text, then the details
    QStringList debug; // the debug log
    QStringList files {}; // every file under the work folder afterwards
    QStringList opened {}; // the folders opened
    QString status {}; // the status bar's whole message afterwards
};

} // namespace

Q_DECLARE_METATYPE(Runs)

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabOrder();
    void widened();
    void browse_data();
    void browse();
    void typed_data();
    void typed();
    void keyboard_data();
    void keyboard();
    void run_data();
    void run();
    void barFollowsRun();
    void tracesOnStandardOutput_data();
    void tracesOnStandardOutput();
    void readOnlyFolder();
    void answersDuringRun();
    void cancel_data();
    void cancel();
    void doubleClickStarts();
    void settingsKept();
    void noFileManager();
    void about();
    void outOfMemory();

private:
    template<typename T> T *widget(const char *name) const { return window_->findChild<T *>(name); }
    /// Browses, with the dialog answering `path`.
    void choose(const QString &path)
    {
        answer_ = path;
        QTest::mouseClick(widget<QPushButton>("pushButton"), Qt::LeftButton);
    }
    /// Clicks "Triler" and waits for the run to end.
    void triler()
    {
        QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
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
    QString work(const QString &p = {}) const { return QDir::cleanPath(root_ + "/work/" + p); }

    QString startDir_;
    std::unique_ptr<QTemporaryDir> temp_;
    QString root_;
    MainWindow *window_ = nullptr;
    QTimer boxCloser_;
    QStringList boxes_; // each message box answered, as Runs::boxes has them
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
        dialogCalls_ << QStringLiteral("%1 | %2 | %3 | %4")
                            .arg(parent ? parent->objectName() : "(none)", caption, dir, filter);
        return answer_;
    };
    MainWindow::openUrl = [this](const QUrl &url) {
        openedUrls_ << url.toString();
        return true;
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
    folderAnswer_.clear();
    selectedFileName.clear();
    openedUrls_.clear();
    dialogCalls_.clear();
    debugLines.clear();
    boxes_.clear();
    boxesWellFormed_ = true;
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
    MainWindow::openUrl = [this](const QUrl &url) {
        openedUrls_ << url.toString();
        return true;
    };
    qInstallMessageHandler(testlibHandler);
    QDir::setCurrent(startDir_);
    temp_.reset();
}

// Tab follows the eye: the field, Parcourir, the format, the check box, Triler; the labels'
// mnemonics reach their controls and the buttons' press them, none twice.
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
        QString text = w->property("text").toString();
        if (auto *menu = qobject_cast<QMenu *>(w);
            menu && menu->parentWidget() == window_->menuBar())
            text = menu->title();
        const int amp = text.indexOf('&');
        if (amp >= 0)
            mnemonics << text.mid(amp + 1, 1).toUpper();
    }
    mnemonics.sort();
    QCOMPARE(mnemonics.join(""), QString("AFLNOPT"));
    QTest::keyClick(window_, Qt::Key_L, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("comboBox"));
    QTest::keyClick(window_, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("lineEdit"));
    QTest::keyClick(window_, Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(widget<QCheckBox>("checkBox")->isChecked());
}

// 373x215 is the least size and the first; a wider window stretches the field and the bar and
// keeps the buttons at its right.
void TestWindow::widened()
{
    showActive();
    QCOMPARE(window_->size(), QSize(373, 215));
    QCOMPARE(window_->minimumSize(), QSize(373, 215));
    const auto geometries = [this] {
        QStringList found;
        for (const char *name : {"lineEdit", "progressBar", "pushButton", "commandLinkButton"}) {
            const QRect r = widget<QWidget>(name)->geometry();
            found << QStringLiteral("%1 %2 %3").arg(name).arg(r.x()).arg(r.width());
        }
        return found;
    };
    const QStringList before = geometries();
    window_->resize(573, 215);
    QCoreApplication::processEvents();
    QStringList expected;
    for (const QString &row : before) {
        QStringList parts = row.split(' ');
        const bool stretches = parts[0] == "lineEdit" || parts[0] == "progressBar";
        parts[stretches ? 2 : 1] = QString::number(parts[stretches ? 2 : 1].toInt() + 200);
        expected << parts.join(' ');
    }
    QCOMPARE(geometries(), expected);
}

void TestWindow::browse_data()
{
    QTest::addColumn<QString>("earlier"); // chosen before, or null for no earlier browse
    QTest::addColumn<QString>("answer"); // empty: the dialog is cancelled
    QTest::addColumn<QString>("startDir"); // where the dialog opens; <home> the home folder
    QTest::addColumn<QString>("chosen"); // the choice afterwards, shown whole, also as tooltip
    QTest::addColumn<int>("bar");

    const QString usine = "<nets>/usine.ndr";
    const QString longPath = "/home/utilisateur/projets/automates/reseaux/usine_principale.ndr";
    QTest::newRow("first choice") << QString() << usine << "<home>" << usine << 0;
    QTest::newRow("longer than the field") << QString() << longPath << "<home>" << longPath << 0;
    QTest::newRow("again: opens in the chosen net's folder") << usine << "<nets>/autre.ndr"
                                                             << "<nets>"
                                                             << "<nets>/autre.ndr" << 0;
    QTest::newRow("again after a net of a vanished folder")
        << longPath << usine << "<home>" << usine << 0;
    QTest::newRow("cancelled after a choice") << usine << ""
                                              << "<nets>" << usine << 100;
    QTest::newRow("cancelled, nothing chosen") << QString() << ""
                                               << "<home>"
                                               << "" << 100;
}

// A choice shows whole with its end in view; a cancelled dialog changes nothing, not even the
// bar, which still tells how the last run of the chosen net went.
void TestWindow::browse()
{
    QFETCH(QString, earlier);
    QFETCH(QString, answer);
    QFETCH(QString, startDir);
    QFETCH(QString, chosen);
    QFETCH(int, bar);
    const QString nets = root_ + "/nets";
    chosen.replace("<nets>", nets);

    if (!earlier.isNull())
        choose(earlier.replace("<nets>", nets));
    window_->setProgressValue(100);
    dialogCalls_.clear();
    choose(answer.replace("<nets>", nets));

#ifdef Q_OS_WIN
    const QString home = "C://";
#else
    const QString home = QDir::homePath();
#endif
    QCOMPARE(dialogCalls_,
             QStringList({"MainWindow | Ouvrir le fichier \xc3\xa0 triler | "
                          + startDir.replace("<home>", home).replace("<nets>", nets)
                          + " | RdP Tina (*.ndr)"}));
    QCOMPARE(selectedFileName, chosen);
    auto *edit = widget<QLineEdit>("lineEdit");
    QCOMPARE(edit->text(), chosen);
    QCOMPARE(edit->cursorPosition(), chosen.size());
    QCOMPARE(edit->toolTip(), chosen);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), bar);
}

void TestWindow::typed_data()
{
    // Steps: "browse PATH", "type TEXT" (replaces the field's text, the focus stays there),
    // "leave" (the focus moves on), "open PATH" (given on the command line), "mkdir DIR" (in the
    // current directory), "triler" (clicked without the focus moving). <nets> is the nets
    // folder, <work> the current directory at the start.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("converted"); // the net that the last "triler" converted, as logged
    QTest::addColumn<QString>("shown");

    const QString usine = "<nets>/usine.ndr", autre = "<nets>/autre.ndr";
    QTest::newRow("typed, Triler at once")
        << QStringList {"type " + usine, "triler"} << usine << usine;
    QTest::newRow("typed, left, Triler")
        << QStringList {"type " + usine, "leave", "triler"} << usine << usine;
    QTest::newRow("browsed, another typed")
        << QStringList {"browse " + usine, "type " + autre, "triler"} << autre << autre;
    QTest::newRow("typed, then browsed")
        << QStringList {"type " + autre, "leave", "browse " + usine, "triler"} << usine << usine;
    QTest::newRow("relative, in the current directory")
        << QStringList {"type sous/r.ndr", "leave", "triler"} << "<work>/sous/r.ndr"
        << "<work>/sous/r.ndr";
    QTest::newRow("a name typed over a choice: beside it")
        << QStringList {"browse " + usine, "type autre.ndr", "triler"} << autre << autre;
    QTest::newRow("relative after a run in TriledFiles")
        << QStringList {"mkdir TriledFiles", "type a.ndr", "triler", "type b.ndr", "triler"}
        << "<work>/b.ndr"
        << "<work>/b.ndr";
    QTest::newRow("blanks around")
        << QStringList {"type  " + usine + "  ", "triler"} << usine << usine;
    QTest::newRow("home folder") << QStringList {"type ~/r.ndr", "triler"}
                                 << QDir::homePath() + "/r.ndr" << QDir::homePath() + "/r.ndr";
    QTest::newRow("a dropped file's address")
        << QStringList {"type file://<nets>/r%C3%A9seau.ndr", "triler"}
        << "<nets>/r\xc3\xa9seau.ndr"
        << "<nets>/r\xc3\xa9seau.ndr";
    QTest::newRow("browsed, then the field emptied")
        << QStringList {"browse " + usine, "type ", "triler"} << "Ex.ndr"
        << "";
    QTest::newRow("from the command line")
        << QStringList {"open sous/r.ndr", "triler"} << "<work>/sous/r.ndr"
        << "<work>/sous/r.ndr";
}

// What the field shows is what "Triler" converts.
void TestWindow::typed()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, converted);
    QFETCH(QString, shown);
    const auto place = [this](QString text) {
        return text.replace("<nets>", root_ + "/nets").replace("<work>", work());
    };
    auto *edit = widget<QLineEdit>("lineEdit");
    showActive();
    QStringList runs;
    for (QString step : steps) {
        step = place(step);
        if (step.startsWith("browse ")) {
            choose(step.mid(7));
        } else if (step.startsWith("type ")) {
            edit->setFocus();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, step.mid(5));
        } else if (step.startsWith("mkdir ")) {
            QVERIFY(QDir().mkdir(step.mid(6)));
        } else if (step.startsWith("open ")) {
            window_->chooseNet(step.mid(5));
        } else if (step == "leave") {
            widget<QCheckBox>("checkBox")->setFocus();
        } else {
            debugLines.clear();
            widget<QCommandLinkButton>("commandLinkButton")->click();
            window_->waitForRun();
            runs << debugLines.value(1);
        }
    }
    QCOMPARE(runs.last(), place(converted));
    QCOMPARE(edit->text(), place(shown));
    QCOMPARE(edit->toolTip(), place(shown));
    QCOMPARE(selectedFileName, place(shown));
}

void TestWindow::keyboard_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("effect"); // "browse" or "run"

    QTest::newRow("Enter on Parcourir") << "pushButton" << int(Qt::Key_Return) << 0 << "browse";
    QTest::newRow("keypad Enter on Parcourir")
        << "pushButton" << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "browse";
    QTest::newRow("Enter on Triler") << "commandLinkButton" << int(Qt::Key_Return) << 0 << "run";
    QTest::newRow("Alt+P from the field")
        << "lineEdit" << int(Qt::Key_P) << int(Qt::AltModifier) << "browse";
    QTest::newRow("Alt+T from the check box")
        << "checkBox" << int(Qt::Key_T) << int(Qt::AltModifier) << "run";
    QTest::newRow("Enter in the field") << "lineEdit" << int(Qt::Key_Return) << 0 << "run";
    QTest::newRow("Ctrl+O from the field")
        << "lineEdit" << int(Qt::Key_O) << int(Qt::ControlModifier) << "browse";
}

// Enter presses the focused button, and converts from the field; Alt+P and Alt+T press their
// buttons from anywhere in the window, Ctrl+O browses.
void TestWindow::keyboard()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, effect);
    const QString net = root_ + "/nets/lamp.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    window_->chooseNet(net);
    showActive();
    widget<QWidget>(qPrintable(focus))->setFocus();
    auto *button = effect == "browse" ? widget<QAbstractButton>("pushButton")
                                      : widget<QAbstractButton>("commandLinkButton");
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    // A shortcut shows the button pressed for a moment before it clicks; a run starts with its
    // debug log.
    if (effect == "browse")
        QVERIFY(!clicked.isEmpty() || clicked.wait());
    else
        QTRY_VERIFY(!debugLines.isEmpty());
    window_->waitForRun();
    QCOMPARE(dialogCalls_.size(), effect == "browse" ? 1 : 0);
    QCOMPARE(filesIn(work()),
             effect == "run" ? QStringList({"lamp.log", "lamp_ST.txt"}) : QStringList());
    QCOMPARE(boxes_, QStringList());
    // The focus that a run took from its button comes back.
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QCOMPARE(widget<QPushButton>("pushButton")->text(), QString("&Parcourir..."));
    QCOMPARE(widget<QCommandLinkButton>("commandLinkButton")->text(), QString("&Triler"));
}

void TestWindow::run_data()
{
    QTest::addColumn<Runs>("runs");
    int entry = 0; // that of the rows that follow
    const auto add
        = [&entry](const char *name, QStringList before, QByteArray net, QStringList chosen,
                   bool ticked, QList<int> progress, QStringList boxes, QStringList debug,
                   QStringList files = {}, QStringList opened = {}, QString status = {}) {
              QTest::newRow(name) << Runs {entry, before, net,   chosen, ticked, progress,
                                           boxes, debug,  files, opened, status};
          };
    const QByteArray lampNet = readFile(lamp + ".ndr");
    const QString usine = "<nets>/usine.ndr", a = "<nets>/a.ndr", T = "TriledFiles/";
    const QStringList none {"\"\"", "Ex.ndr", "", ""}; // debug log when no net is chosen
    const QString noNet = "Erreur: Aucun fichier choisi";
    // The debug log of a run that got as far as the net file, and of one that converted it.
    auto reached = [](const QString &net, const QString &base) {
        return QStringList {'"' + net + '"', net, "", "", base + ".log"};
    };
    auto done = [&](const QString &net, const QString &base, const QString &program = {}) {
        return reached(net, base)
            + QStringList {"", "T1", "P1", program.isNull() ? base + "_ST.txt" : program};
    };
    const QString failed
        = "Erreur: Le r\xc3\xa9seau \xc2\xab %1 \xc2\xbb n'a pas \xc3\xa9t\xc3\xa9 "
          "tril\xc3\xa9 : %2.\n\n";
    const QString remarks
        = "Avertissement: Le r\xc3\xa9seau \xc2\xab %1 \xc2\xbb a \xc3\xa9t\xc3\xa9"
          " tril\xc3\xa9, avec %2.\n\n";
    const QString unwritable = "<work>/TriledFiles/%1: erreur: impossible d'\xc3\xa9"
                               "crire le fichier : un dossier porte ce nom";
    const QString accents = "<nets>/r\xc3\xa9seau.ndr";
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
    // A name of four characters or fewer gives Ex: a note says so, which opens no box alone.
    // The current directory stays as it was: the second run writes where the first did.
    add("two runs, one folder: accents, four characters", {T + T}, lampNet,
        {accents, "<nets>/.ndr"}, true, {100, 100}, {},
        done(accents, "r\xc3\xa9seau") + done("<nets>/.ndr", "Ex"),
        {T + "Ex.log", T + "Ex_ST.txt", T + "r\xc3\xa9seau.log", T + "r\xc3\xa9seau_ST.txt"},
        {T, T}, written("Ex") + "/TriledFiles");
    // Nothing is written for a net that cannot be read; an earlier output of its name stays.
    add("unreadable net", {T, T + "absent.log"}, {}, {"<nets>/absent.ndr"}, false, {0},
        {failed.arg("absent.ndr", "1 erreur")
         + "<nets>/absent.ndr: erreur: impossible de lire le fichier r\xc3\xa9seau : fichier ou "
           "dossier introuvable"},
        reached("<nets>/absent.ndr", "absent"), {T + "absent.log"});
    // The other output is not put in place, the bar empties, no partial file is left.
    add("ST program not written", {T + "usine_ST.txt/"}, lampNet, {usine}, false, {0},
        {failed.arg("usine.ndr", "1 erreur") + unwritable.arg("usine_ST.txt")},
        done(usine, "usine"));
    add("structure log not written", {T + "usine.log/"}, lampNet, {usine}, false, {0},
        {failed.arg("usine.ndr", "1 erreur") + unwritable.arg("usine.log")}, done(usine, "usine"));
    add("damaged net", {}, damaged(1), {"n.ndr"}, false, {100},
        {remarks.arg("n.ndr", "2 avertissements") + skipped.arg(2) + '\n' + noEnd}, damagedDebug,
        {"n.log", "n.ndr", "n_ST.txt"}, {}, written("n"));
    // One box, an error one, with the error first.
    add("damaged net not written", {"n_ST.txt/"}, damaged(1), {"n.ndr"}, false, {0},
        {failed.arg("n.ndr", "1 erreur, 2 avertissements")
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
        {remarks.arg("n.ndr", "30 avertissements") + all30.mid(0, 3).join('\n')
         + "\n\xe2\x80\xa6 et 27 autres messages, dans les d\xc3\xa9tails.\n\n[d\xc3\xa9tails]\n"
         + all30.join('\n')},
        damagedDebug, {"n.log", "n.ndr", "n_ST.txt"}, {}, written("n"));
    add("no text", {}, QByteArray("\x89PNG\0\0", 6), {"n.ndr"}, false, {0},
        {failed.arg("n.ndr", "1 erreur")
         + "<work>/n.ndr: erreur: ce n'est pas un fichier texte (il contient un octet nul) : "
           "rien n'est \xc3\xa9"
           "crit"},
        reached("<work>/n.ndr", "n"), {"n.ndr"});

    // The complete formats rename the program "lamp", which ST would take for the net's output
    // "Lamp": a note, which opens no box alone, and comes after the errors and the warnings.
    const QString lampNdr = "<nets>/lamp.ndr";
    const QString renamed
        = "<nets>/lamp.ndr: note: \xc2\xab lamp \xc2\xbb se confond en ST, o\xc3\xb9 la "
          "casse ne compte pas, avec la sortie \xc2\xab Lamp \xc2\xbb : le programme "
          "s'\xc3\xa9"
          "crit \xc2\xab lamp_2 \xc2\xbb";
    QByteArray notSt = lampNet;
    notSt.replace("[start;]", "{stop writing}");
    const QString badPredicate
        = "<nets>/lamp.ndr:3:32: %1: pr\xc3\xa9"
          "dicat \xc2\xab stop writing \xc2\xbb de la transition \xc2\xab T1 "
          "\xc2\xbb invalide en ST : fin du pr\xc3\xa9"
          "dicat attendue, \xc2\xab writing \xc2\xbb trouv\xc3\xa9";
    add("predicate that is no ST: converted, with a warning", {}, notSt, {lampNdr}, false, {100},
        {remarks.arg("lamp.ndr", "1 avertissement") + badPredicate.arg("avertissement")},
        done(lampNdr, "lamp"), {"lamp.log", "lamp_ST.txt"}, {}, written("lamp"));
    entry = 1;
    add("complete program, into TriledFiles", {T}, lampNet, {lampNdr}, false, {100}, {},
        done(lampNdr, "lamp", "lamp.st"), {T + "lamp.log", T + "lamp.st"}, {},
        written("lamp", "lamp.st") + "/TriledFiles");
    add("complete program: predicate that is no ST", {}, notSt, {lampNdr}, false, {0},
        {failed.arg("lamp.ndr", "1 erreur, 1 note") + badPredicate.arg("erreur") + '\n' + renamed},
        reached(lampNdr, "lamp"));
    entry = 2;
    add("PLCopen XML, opened", {}, lampNet, {lampNdr}, true, {100}, {},
        done(lampNdr, "lamp", "lamp.xml"), {"lamp.log", "lamp.xml"}, {""},
        written("lamp", "lamp.xml"));
    add("PLCopen XML of a net without end", {}, lampNet.left(lampNet.indexOf("h lamp")), {lampNdr},
        false, {100},
        {remarks.arg("lamp.ndr", "1 avertissement, 1 note")
         + "<nets>/lamp.ndr: avertissement: pas de ligne de fin \xc2\xab h \xc2\xbb : le fichier "
           "est peut-\xc3\xaatre tronqu\xc3\xa9\n"
         + renamed},
        done(lampNdr, "lamp", "lamp.xml"), {"lamp.log", "lamp.xml"}, {},
        written("lamp", "lamp.xml"));
}

void TestWindow::run()
{
    QFETCH(Runs, runs);
    const QString nets = root_ + "/nets";
    const auto place
        = [&](QString text) { return text.replace("<nets>", nets).replace("<work>", work()); };
    for (const QString &made : runs.before)
        if (made.endsWith('/'))
            QVERIFY(QDir().mkpath(made));
        else
            writeFile(work(made), "ancien\n");
    if (runs.ticked)
        QTest::mouseClick(widget<QCheckBox>("checkBox"), Qt::LeftButton);
    for (int i = 0; i < runs.entry; ++i)
        QTest::keyClick(widget<QComboBox>("comboBox"), Qt::Key_Down);

    auto *bar = widget<QProgressBar>("progressBar");
    QList<int> progress;
    for (const QString &chosen : runs.chosen) {
        const QString net = place(chosen);
        if (!runs.net.isNull())
            writeFile(QDir(work()).filePath(net), runs.net);
        if (!chosen.isNull())
            choose(net);
        window_->setProgressValue(100);
        QSignalSpy spy(bar, &QProgressBar::valueChanged);
        triler();
        // From 0, rising; at the end 100, or 0 again when nothing was written.
        QList<int> values;
        for (const QList<QVariant> &signal : spy)
            values << signal.at(0).toInt();
        QVERIFY(!values.isEmpty() && values.first() == 0);
        for (int i = 2; i < values.size(); ++i)
            QVERIFY2(values[i] > values[i - 1] || (i + 1 == values.size() && values[i] == 0),
                     qPrintable(QString::number(i)));
        progress << bar->value();
    }
    QCOMPARE(progress, runs.progress);
    for (QString &box : runs.boxes)
        box = QDir::toNativeSeparators(place(box));
    QCOMPARE(boxes_, runs.boxes);
    QVERIFY(boxesWellFormed_);
    QCOMPARE(debugLines,
             runs.debug.replaceInStrings("<nets>", nets).replaceInStrings("<work>", work()));
    QCOMPARE(filesIn(work()), runs.files);
    QCOMPARE(QDir::currentPath(), work());
    for (const QString &file : runs.files)
        if (runs.before.contains(file))
            QCOMPARE(readFile(work(file)), QByteArray("ancien\n"));
        else if (runs.net != readFile(lamp + ".ndr"))
            continue;
        else if (file.endsWith(".st"))
            QVERIFY(readFile(work(file)).startsWith("(*-------Codage de RDP en ST")
                    && readFile(work(file)).contains("PROGRAM lamp")
                    && readFile(work(file)).contains("END_CONFIGURATION"));
        else if (file.endsWith(".xml"))
            QVERIFY(readFile(work(file)).startsWith("<?xml"));
        else
            QCOMPARE(readFile(work(file)),
                     readFile(lamp + (file.endsWith(".log") ? ".log" : "_ST.txt")));
    for (QString &folder : runs.opened) // "/tmp/..." here, "C:/..." on Windows
        folder = (root_.startsWith('/') ? "file://" : "file:///") + work(folder);
    QCOMPARE(openedUrls_, runs.opened);
    // The status bar names the outputs; a long folder is shortened in its middle to fit.
    QStatusBar *status = window_->statusBar();
    QCOMPARE(status->toolTip(), QDir::toNativeSeparators(place(runs.status)));
    const QString shown = status->currentMessage();
    QCOMPARE(shown.isEmpty(), runs.status.isEmpty());
    QVERIFY2(QFontMetrics(status->font()).horizontalAdvance(shown) <= window_->width() - 18,
             qPrintable(shown));
}

void TestWindow::tracesOnStandardOutput_data()
{
    QTest::addColumn<bool>("traces");
    QTest::newRow("by default") << false;
    QTest::newRow("trilette --traces") << true;
}

#ifdef Q_OS_UNIX
// The reading traces go to standard output, as with the command line, when asked.
void TestWindow::tracesOnStandardOutput()
{
    QFETCH(bool, traces);
    window_->setTraces(traces);
    const QString net = root_ + "/nets/lamp.ndr", out = root_ + "/stdout.txt";
    writeFile(net, readFile(lamp + ".ndr"));
    choose(net);
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int file = open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(saved >= 0 && file >= 0 && dup2(file, STDOUT_FILENO) >= 0);
    close(file);
    triler();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    QCOMPARE(readFile(out), traces ? readFile(lamp + ".out") : QByteArray());
    QCOMPARE(boxes_, QStringList());
}

// An output folder that refuses writing gives one box that says why; nothing is written.
void TestWindow::readOnlyFolder()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    QString folder = work("TriledFiles");
    if (geteuid() == 0) { // the file system's permissions bind everyone but root
        if (!QFileInfo("/sys").isDir())
            QSKIP("Running as root without /sys: no folder refuses writing");
        folder = "/sys";
        QVERIFY(QDir::setCurrent(folder));
    } else {
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    choose(net);
    triler();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(boxes_,
             QStringList {"Erreur: Le r\xc3\xa9seau \xc2\xab usine.ndr \xc2\xbb n'a pas "
                          "\xc3\xa9t\xc3\xa9 tril\xc3\xa9 : 1 erreur.\n\n"
                          + folder
                          + "/usine.log: erreur: impossible d'\xc3\xa9"
                            "crire le fichier : permission refus\xc3\xa9"
                            "e"});
    QVERIFY(boxesWellFormed_);
    QCOMPARE(window_->statusBar()->currentMessage(), QString());
}
#else
void TestWindow::tracesOnStandardOutput()
{
    QSKIP("Standard output is captured through POSIX descriptors");
}

void TestWindow::readOnlyFolder()
{
    QSKIP("Folder permissions are POSIX ones");
}
#endif

// A run goes on off the GUI thread: the window repaints, "Parcourir...", the format and the
// check box wait, "Triler" has become "Annuler", and the bar shows the values that the run
// reached.
void TestWindow::answersDuringRun()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    QVERIFY(QDir().mkdir("TriledFiles"));
    holdRuns();
    showActive();
    choose(net);
    widget<QCheckBox>("checkBox")->setFocus();
    auto *bar = widget<QProgressBar>("progressBar");
    widget<QCommandLinkButton>("commandLinkButton")->click(); // the focus stays where it is
    hold_->reached.acquire();
    QVERIFY2(!hold_->onGuiThread, "the run blocks the window");
    QCoreApplication::processEvents(); // the values that the run has posted

    QCOMPARE(bar->value(), 50); // the net read
    QVERIFY(widget<QCommandLinkButton>("commandLinkButton")->isEnabled());
    QCOMPARE(widget<QCommandLinkButton>("commandLinkButton")->text(), QString("Ann&uler"));
    for (const char *locked : {"pushButton", "comboBox", "checkBox"})
        QVERIFY2(!widget<QWidget>(locked)->isEnabled(), locked);
    QVERIFY(widget<QLineEdit>("lineEdit")->isReadOnly());
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
    PaintCounter counter;
    window_->centralWidget()->installEventFilter(&counter);
    window_->centralWidget()->update();
    QCoreApplication::processEvents();
    QVERIFY(counter.paints > 0);
    QTest::mouseClick(widget<QCheckBox>("checkBox"), Qt::LeftButton);
    QVERIFY(!widget<QCheckBox>("checkBox")->isChecked());

    hold_->release.release();
    window_->waitForRun();
    QCOMPARE(bar->value(), 100);
    for (const char *unlocked : {"pushButton", "comboBox", "checkBox"})
        QVERIFY2(widget<QWidget>(unlocked)->isEnabled(), unlocked);
    QCOMPARE(widget<QCommandLinkButton>("commandLinkButton")->text(), QString("&Triler"));
    QVERIFY(!widget<QLineEdit>("lineEdit")->isReadOnly());
    QVERIFY(!QApplication::overrideCursor());
    // The focus that the locked check box lost comes back.
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("checkBox"));
    QCOMPARE(boxes_, QStringList());
    QCOMPARE(filesIn(work()), QStringList({"TriledFiles/usine.log", "TriledFiles/usine_ST.txt"}));
}

// The bar follows a run of a large net: from 0, rising through the bytes read and written, to
// 100; after a failure it is empty again.
void TestWindow::barFollowsRun()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, generatedNet(40000)); // about 4.6 MB, 11 MB of outputs
    choose(net);
    auto *bar = widget<QProgressBar>("progressBar");
    window_->setProgressValue(100);
    QSignalSpy spy(bar, &QProgressBar::valueChanged);
    triler();
    QList<int> values;
    for (const QList<QVariant> &signal : spy)
        values << signal.at(0).toInt();
    QVERIFY2(values.size() >= 8, qPrintable(QString::number(values.size())));
    QCOMPARE(values.first(), 0);
    QCOMPARE(values.last(), 100);
    for (int i = 1; i < values.size(); ++i)
        QVERIFY(values[i] > values[i - 1]);
    QCOMPARE(boxes_, QStringList());

    QVERIFY(QFile::remove("usine_ST.txt") && QDir().mkdir("usine_ST.txt"));
    triler();
    QCOMPARE(bar->value(), 0);
    QCOMPARE(boxes_.size(), 1);
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
    writeFile(net, generatedNet(40000));
    writeFile(work("usine.log"), "ancien\n");
    writeFile(work("usine_ST.txt"), "ancien\n");
    holdRuns(heldAt);
    showActive();
    choose(net);
    QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
    hold_->reached.acquire();
    QCoreApplication::processEvents();
    if (how == "Annuler") {
        QTest::qWait(QApplication::doubleClickInterval()); // no double-click's second click
        QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
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

// A double-click on "Triler" starts a run: its second click, which finds "Annuler" in its place,
// cancels nothing.
void TestWindow::doubleClickStarts()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    holdRuns();
    showActive();
    choose(net);
    for (int click = 0; click < 2; ++click)
        QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
    hold_->reached.acquire();
    hold_->release.release();
    window_->waitForRun();
    QCOMPARE(filesIn(work()), QStringList({"usine.log", "usine_ST.txt"}));
}

// The output folder chosen in the menu, and the folder of the last net browsed, are kept for the
// next session; the runs write into that folder, the status bar shows it.
void TestWindow::settingsKept()
{
    const QString net = root_ + "/nets/usine.ndr", out = root_ + "/sorties";
    writeFile(net, readFile(lamp + ".ndr"));
    QVERIFY(QDir().mkdir(out));
    choose(net);
    folderAnswer_ = out;
    window_->findChild<QAction *>("actionOutputFolder")->trigger();
    delete window_;
    window_ = new MainWindow;
    selectedFileName.clear();
    QCOMPARE(window_->outputFolder(), out);
    QVERIFY(window_->statusBar()->findChild<QLabel *>()->text().endsWith("sorties"));
    dialogCalls_.clear();
    choose(net);
    QCOMPARE(dialogCalls_,
             QStringList({"MainWindow | Ouvrir le fichier \xc3\xa0 triler | " + root_
                          + "/nets | RdP Tina (*.ndr)"}));
    triler();
    QCOMPARE(filesIn(out), QStringList({"usine.log", "usine_ST.txt"}));
    QCOMPARE(filesIn(work()), QStringList());
    QCOMPARE(QDir::currentPath(), work());

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
    QVERIFY(!window_->statusBar()->findChild<QLabel *>()->isVisible()); // under the message
    QVERIFY(window_->statusBar()->toolTip().endsWith("par d\xc3\xa9"
                                                     "faut, "
                                                     + work()));
    QVERIFY(!QSettings("Trilette", "trilette").contains("outputFolder"));
}

// Without a file manager, opening the folder fails: the status bar says so.
void TestWindow::noFileManager()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    MainWindow::openUrl = [](const QUrl &) { return false; };
    choose(net);
    QTest::mouseClick(widget<QCheckBox>("checkBox"), Qt::LeftButton);
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
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    MainWindow::convert = [](const trilette::ConversionJob &, trilette::TextSink *,
                             trilette::ConversionObserver *) -> trilette::ConversionResult {
        throw std::bad_alloc();
    };
    choose(net);
    triler();
    QCOMPARE(boxes_, QStringList {"Erreur: Probl\xc3\xa8me de m\xc3\xa9moire !"});
    QVERIFY(boxesWellFormed_);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
    QVERIFY(widget<QCommandLinkButton>("commandLinkButton")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(filesIn(work()), QStringList());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
