// The window: its form, the browse slot, and whole conversion runs driven by clicking "Triler".

#include "app/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

namespace {

/// The net that runs convert, a golden case: its first transition is T1, its first place P1.
const QString lamp = QStringLiteral(TRILETTE_SOURCE_DIR "/tests/golden/lamp");

QStringList debugLines;
QtMessageHandler testlibHandler = nullptr;

void captureDebug(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        debugLines << message;
    else
        testlibHandler(type, context, message);
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

/// Clicks on "Triler", one per chosen net, and what they leave. Paths relative to the work
/// folder; <nets> stands for the nets folder, <work> for the work folder.
struct Runs
{
    QStringList before; // made first: "name/" a folder, "name" a file holding "ancien\n"
    QByteArray net; // written at each chosen path unless null; the lamp's outputs match goldens
    QStringList chosen; // the browse answer for each click; null: no browse
    bool ticked; // "open the folder after generating"
    QList<int> progress; // the bar's values over all clicks
    QStringList boxes; // "title: text"
    QStringList debug; // the debug log
    QStringList files {}; // every file under the work folder afterwards
    QString current {}; // the current directory afterwards
    QStringList opened {}; // the folders opened
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

    void form();
    void browse_data();
    void browse();
    void run_data();
    void run();

private:
    template<typename T> T *widget(const char *name) const { return window_->findChild<T *>(name); }
    /// Browses, with the dialog answering `path`.
    void choose(const QString &path)
    {
        answer_ = path;
        QTest::mouseClick(widget<QPushButton>("pushButton"), Qt::LeftButton);
    }
    QString work(const QString &p = {}) const { return QDir::cleanPath(root_ + "/work/" + p); }

    QString startDir_;
    std::unique_ptr<QTemporaryDir> temp_;
    QString root_;
    MainWindow *window_ = nullptr;
    QTimer boxCloser_;
    QStringList boxes_; // each message box answered, as "title: text"
    bool boxesWellFormed_ = true; // each was a modal information box of the window with only Ok
    QString answer_; // what the file dialog answers
    QStringList dialogCalls_, openedUrls_;
};

void TestWindow::initTestCase()
{
    startDir_ = QDir::currentPath();
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
        boxes_ << box->windowTitle() + QLatin1String(": ") + box->text();
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
    selectedFileName.clear();
    openedUrls_.clear();
    debugLines.clear();
    boxes_.clear();
    boxesWellFormed_ = true;
    testlibHandler = qInstallMessageHandler(captureDebug);
    window_ = new MainWindow;
    boxCloser_.start(5);
}

void TestWindow::cleanup()
{
    boxCloser_.stop();
    delete window_;
    qInstallMessageHandler(testlibHandler);
    QDir::setCurrent(startDir_);
    temp_.reset();
}

// The window, and each widget in creation order under its parent: class, parent, geometry
// (unless the main window lays it out), what it shows (a bar its range, a combo box its items).
void TestWindow::form()
{
    QStringList found;
    for (QWidget *parent : {static_cast<QWidget *>(window_), widget<QWidget>("centralWidget")})
        for (QWidget *w : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            QStringList row {w->objectName(), w->metaObject()->className(), parent->objectName()};
            if (w != window_->centralWidget() && w != window_->statusBar())
                row << QString::asprintf("%d,%d %dx%d", w->x(), w->y(), w->width(), w->height());
            if (auto *bar = qobject_cast<QProgressBar *>(w))
                row << QStringLiteral("%1-%2").arg(bar->minimum()).arg(bar->maximum());
            else if (auto *combo = qobject_cast<QComboBox *>(w))
                for (int i = 0; i < combo->count(); ++i)
                    row << combo->itemText(i);
            else if (!w->property("text").toString().isEmpty())
                row << w->property("text").toString();
            found << row.join(' ');
        }
    QCOMPARE(found,
             QStringList({
                 "centralWidget QWidget MainWindow",
                 "statusBar QStatusBar MainWindow",
                 "menuBar QMenuBar MainWindow 0,0 373x21",
                 "pushButton QPushButton centralWidget 280,28 75x23 Parcourir...",
                 "lineEdit QLineEdit centralWidget 10,30 261x20",
                 "commandLinkButton QCommandLinkButton centralWidget 240,140 121x41 Triler",
                 "progressBar QProgressBar centralWidget 10,90 361x23 0-100",
                 "comboBox QComboBox centralWidget 120,130 69x22 ST",
                 "label QLabel centralWidget 20,130 91x20 Langage de sortie:",
                 "label_2 QLabel centralWidget 10,10 131x16 Nom du fichier \xc3\xa0 triler:",
                 "checkBox QCheckBox centralWidget 20,170 181x17 Ouvrir le dossier apr\xc3\xa8s "
                 "g\xc3\xa9n\xc3\xa9ration",
                 "line QFrame centralWidget 10,70 351x16",
             }));
    QCOMPARE(widget<QFrame>("line")->frameShape(), QFrame::HLine);
    QCOMPARE(widget<QLineEdit>("lineEdit")->maxLength(), 32767);
    QCOMPARE(widget<QCheckBox>("checkBox")->isChecked(), false);
    QCOMPARE(window_->menuBar(), widget<QMenuBar>("menuBar"));
    QCOMPARE(window_->windowTitle(), QString("Trilette"));
    QCOMPARE(window_->minimumSize(), QSize(373, 215));
    QCOMPARE(window_->maximumSize(), QSize(373, 215));
    QVERIFY(window_->windowIcon().availableSizes().contains(QSize(256, 256)));

    const QMetaObject *meta = window_->metaObject();
    QCOMPARE(meta->superClass(), &QMainWindow::staticMetaObject);
    QStringList own;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        QCOMPARE(m.access(), QMetaMethod::Private);
        QCOMPARE(m.methodType(), QMetaMethod::Slot);
        own << m.typeName() + QString(' ') + m.methodSignature();
    }
    QCOMPARE(own,
             QStringList({"void on_pushButton_clicked()", "void on_lineEdit_editingFinished()",
                          "void on_commandLinkButton_clicked()"}));

    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_));
    // Asked of Qt, not of the platform: a bare X server without window manager activates nothing.
    QApplication::setActiveWindow(window_);
    widget<QPushButton>("pushButton")->setFocus();
    QStringList visited {QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited,
             QStringList({"pushButton", "lineEdit", "commandLinkButton", "comboBox", "checkBox",
                          "pushButton"}));
}

void TestWindow::browse_data()
{
    QTest::addColumn<QString>("earlier"); // chosen before, or null for no earlier browse
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("shown");

    const QString usine = "/nets/usine.ndr";
    const QString longPath = "/home/utilisateur/projets/automates/reseaux/usine_principale.ndr";
    QTest::newRow("first choice") << QString() << usine << usine;
    QTest::newRow("longer than 48") << QString() << longPath << longPath.left(48);
    QTest::newRow("cancelled after a choice") << usine << QString("") << QString("");
}

// The line edit only shows the choice; what is typed into it is never used.
void TestWindow::browse()
{
    QFETCH(QString, earlier);
    QFETCH(QString, answer);
    QFETCH(QString, shown);

    if (!earlier.isNull())
        choose(earlier);
    window_->setProgressValue(100);
    dialogCalls_.clear();
    choose(answer);

#ifdef Q_OS_WIN
    const QString startDir = "C://";
#else
    const QString startDir = QDir::homePath();
#endif
    QCOMPARE(dialogCalls_,
             QStringList({"MainWindow | Ouvrir le fichier \xc3\xa0 triler | " + startDir
                          + " | RdP Tina (*.ndr)"}));
    QCOMPARE(selectedFileName, answer);
    auto *edit = widget<QLineEdit>("lineEdit");
    QCOMPARE(edit->text(), shown);
    QCOMPARE(edit->maxLength(), 48);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);

    edit->clear();
    QTest::keyClicks(edit, "autre.ndr");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(selectedFileName, answer);
}

void TestWindow::run_data()
{
    QTest::addColumn<Runs>("runs");
    const auto add = [](const char *name, QStringList before, QByteArray net, QStringList chosen,
                        bool ticked, QList<int> progress, QStringList boxes, QStringList debug,
                        QStringList files = {}, QString current = {}, QStringList opened = {}) {
        QTest::newRow(name) << Runs {before, net,   chosen, ticked,  progress,
                                     boxes,  debug, files,  current, opened};
    };
    const QByteArray lampNet = readFile(lamp + ".ndr");
    const QList<int> all {0, 5, 10, 15, 18, 20, 30, 70, 100};
    const QString usine = "<nets>/usine.ndr", a = "<nets>/a.ndr", T = "TriledFiles/";
    const QStringList none {"\"\"", "Ex.ndr", "", ""}; // debug log when no net is chosen
    const QString noNet = "Erreur: Aucun fichier choisi";
    // The debug log of a run that got as far as the net file, and of one that converted it.
    auto reached = [](const QString &net, const QString &base) {
        return QStringList {'"' + net + '"', net, "", "", base + ".log"};
    };
    auto done = [&](const QString &net, const QString &base) {
        return reached(net, base) + QStringList {"", "T1", "P1", base + "_ST.txt"};
    };
    const QString unwritable = "Erreur: <work>/TriledFiles/%1: erreur: impossible d'\xc3\xa9"
                               "crire le fichier : un dossier porte ce nom";
    const QString accents = "<nets>/r\xc3\xa9seau.ndr";

    add("never browsed, then dialog cancelled", {T}, {}, {QString(), ""}, true, {0, 5, 0, 5},
        {noNet, noNet}, none + none);
    add("into TriledFiles, opened", {T}, lampNet, {usine}, true, all, {}, done(usine, "usine"),
        {T + "usine.log", T + "usine_ST.txt"}, T, {T});
    add("no TriledFiles: current directory, opened", {}, lampNet, {usine}, true, all, {},
        done(usine, "usine"), {"usine.log", "usine_ST.txt"}, "", {""});
    add("two runs, one folder: accents, four characters", {T}, lampNet, {accents, "<nets>/.ndr"},
        false, all + all, {}, done(accents, "r\xc3\xa9seau") + done("<nets>/.ndr", "Ex"),
        {T + "Ex.log", T + "Ex_ST.txt", T + "r\xc3\xa9seau.log", T + "r\xc3\xa9seau_ST.txt"}, T);
    // The current directory that a run enters stays entered.
    add("two runs, nested folder, opened", {T + T}, lampNet, {usine, a}, true, all + all, {},
        done(usine, "usine") + done(a, "a"),
        {T + T + "a.log", T + T + "a_ST.txt", T + "usine.log", T + "usine_ST.txt"}, T + T,
        {T, T + T});
    // Nothing is written for a net that cannot be read; an earlier output of its name stays.
    add("unreadable net", {T, T + "absent.log"}, {}, {"<nets>/absent.ndr"}, false, {0, 5, 10},
        {"Erreur: <nets>/absent.ndr: erreur: impossible de lire le fichier r\xc3\xa9seau : fichier "
         "ou dossier introuvable"},
        reached("<nets>/absent.ndr", "absent"), {T + "absent.log"}, T);
    // The other output is written whole, the bar stops short of 100, no partial file is left.
    add("ST program not written", {T + "usine_ST.txt/"}, lampNet, {usine}, false, all.mid(0, 8),
        {unwritable.arg("usine_ST.txt")}, done(usine, "usine"), {}, T);
    add("structure log not written", {T + "usine.log/"}, lampNet, {usine}, false, all.mid(0, 8),
        {unwritable.arg("usine.log")}, done(usine, "usine"), {}, T);
    add("damaged net", {}, "p 1 2 A 1 n\nt 1 2\n", {"n.ndr"}, false, all,
        {"Avertissement: n.ndr:2: avertissement: ligne de transition ignor\xc3\xa9"
         "e : il y manque le jeton 4 (le nom)\n"
         "n.ndr: avertissement: pas de ligne de fin \xc2\xab h \xc2\xbb : le fichier est peut-"
         "\xc3\xaatre tronqu\xc3\xa9"},
        reached("n.ndr", "n") + QStringList {"", "", "A", "n_ST.txt"},
        {"n.log", "n.ndr", "n_ST.txt"});
    add("no text", {}, QByteArray("\x89PNG\0\0", 6), {"n.ndr"}, false, {0, 5, 10},
        {"Erreur: n.ndr: erreur: ce n'est pas un fichier texte (il contient un octet nul) : "
         "rien n'est \xc3\xa9"
         "crit"},
        reached("n.ndr", "n"), {"n.ndr"});
}

void TestWindow::run()
{
    QFETCH(Runs, runs);
    const QString nets = root_ + "/nets";
    for (const QString &made : runs.before)
        if (made.endsWith('/'))
            QVERIFY(QDir().mkpath(made));
        else
            writeFile(work(made), "ancien\n");
    if (runs.ticked)
        QTest::mouseClick(widget<QCheckBox>("checkBox"), Qt::LeftButton);

    auto *bar = widget<QProgressBar>("progressBar");
    QList<int> progress;
    for (const QString &chosen : runs.chosen) {
        const QString net = QString(chosen).replace("<nets>", nets);
        if (!runs.net.isNull())
            writeFile(QDir(work()).filePath(net), runs.net);
        if (!chosen.isNull())
            choose(net);
        bar->reset(); // so that the run's first value, 0, shows as a change
        QSignalSpy spy(bar, &QProgressBar::valueChanged);
        QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
        for (const QList<QVariant> &signal : spy)
            progress << signal.at(0).toInt();
    }
    QCOMPARE(progress, runs.progress);
    QCOMPARE(bar->value(), runs.progress.last());
    for (QString &box : runs.boxes)
        box = QDir::toNativeSeparators(box.replace("<nets>", nets).replace("<work>", work()));
    QCOMPARE(boxes_, runs.boxes);
    QVERIFY(boxesWellFormed_);
    QCOMPARE(debugLines, runs.debug.replaceInStrings("<nets>", nets));
    QCOMPARE(filesIn(work()), runs.files);
    QCOMPARE(QDir::currentPath(), work(runs.current));
    for (const QString &file : runs.files)
        if (runs.before.contains(file))
            QCOMPARE(readFile(work(file)), QByteArray("ancien\n"));
        else if (runs.net == readFile(lamp + ".ndr"))
            QCOMPARE(readFile(work(file)),
                     readFile(lamp + (file.endsWith(".log") ? ".log" : "_ST.txt")));
    for (QString &folder : runs.opened) // "/tmp/..." here, "C:/..." on Windows
        folder = (root_.startsWith('/') ? "file://" : "file:///") + work(folder);
    QCOMPARE(openedUrls_, runs.opened);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
