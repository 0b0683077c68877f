// The window: its form, the browse slot, and whole conversion runs driven by clicking "Triler".

#include "mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <cstdio>
#include <fcntl.h>
#ifdef Q_OS_WIN
#include <io.h> // dup, dup2, open and close under their POSIX names
#else
#include <unistd.h>
#endif

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

/// Answers each message box that opens with Ok, noting it as "title: text".
class BoxCloser : public QObject
{
public:
    explicit BoxCloser(QWidget *window)
        : window_(window)
    {
        connect(&timer_, &QTimer::timeout, this, &BoxCloser::closeBox);
        timer_.start(5);
    }

    QStringList boxes;
    /// True while every box was a modal information box of the window with only Ok.
    bool wellFormed = true;

private:
    void closeBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        boxes << box->windowTitle() + QLatin1String(": ") + box->text();
        wellFormed = wellFormed && box->parentWidget() == window_
            && box->standardButtons() == QMessageBox::Ok && box->icon() == QMessageBox::Information;
        box->button(QMessageBox::Ok)->click();
    }

    QWidget *window_;
    QTimer timer_;
};

void writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(file.write(contents), qint64(contents.size()));
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

/// The debug log of a run that got as far as the net file.
QStringList runLines(const QString &path, const QString &baseName)
{
    return {'"' + path + '"', path, QString(), QString(), baseName + ".log"};
}

/// The debug log of a complete run of the lamp net.
QStringList completeRunLines(const QString &path, const QString &baseName)
{
    return runLines(path, baseName) + QStringList {QString(), "T1", "P1", baseName + "_ST.txt"};
}

/// Sends the process's standard output to a file while it lives.
class StdoutToFile
{
public:
    explicit StdoutToFile(const QString &path)
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int fd
            = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::close(fd);
    }
    ~StdoutToFile()
    {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }
    StdoutToFile(const StdoutToFile &) = delete;
    StdoutToFile &operator=(const StdoutToFile &) = delete;

private:
    int saved_;
};

const QList<int> completeRun {0, 5, 10, 15, 18, 20, 30, 70, 100};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void widgets_data();
    void widgets();
    void creationOrder();
    void window();
    void slotsInOrder();
    void tabOrder();
    void browse_data();
    void browse();
    void typedPathIsIgnored();

    void noFileChosen_data();
    void noFileChosen();
    void run_data();
    void run();
    void twoRuns_data();
    void twoRuns();
    void openFolder_data();
    void openFolder();
    void unreadableNet();
    void outputNotWritten_data();
    void outputNotWritten();
    void damagedNet_data();
    void damagedNet();

private:
    template<typename T> T *widget(const char *name) const
    {
        return window_->findChild<T *>(QLatin1String(name));
    }
    /// Browses, with the dialog answering `path`.
    void choose(const QString &path);
    /// Clicks "Triler" and returns the progress values shown meanwhile.
    QList<int> clickTriler();
    QString netPath(const QString &fileName) const { return root_ + "/nets/" + fileName; }
    /// Copies the lamp net into the nets folder under `fileName`.
    void addNet(const QString &fileName) { writeFile(netPath(fileName), readFile(lamp + ".ndr")); }
    QString work(const QString &relative = QString()) const
    {
        return relative.isEmpty() ? root_ + "/work" : root_ + "/work/" + relative;
    }

    QString startDir_;
    std::unique_ptr<QTemporaryDir> temp_;
    QString root_;
    MainWindow *window_ = nullptr;
    std::unique_ptr<BoxCloser> closer_;

    QString answer_;
    QStringList dialogCalls_;
    QList<QUrl> openedUrls_;
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
        openedUrls_ << url;
        return true;
    };
}

// Each test gets a fresh window, a fresh current directory <root>/work and nets in <root>/nets.
void TestWindow::init()
{
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    root_ = QDir(temp_->path()).canonicalPath();
    QVERIFY(QDir(root_).mkpath("nets"));
    QVERIFY(QDir(root_).mkpath("work"));
    QVERIFY(QDir::setCurrent(work()));

    selectedFileName.clear();
    dialogCalls_.clear();
    openedUrls_.clear();
    debugLines.clear();
    testlibHandler = qInstallMessageHandler(captureDebug);
    window_ = new MainWindow;
    closer_ = std::make_unique<BoxCloser>(window_);
}

void TestWindow::cleanup()
{
    closer_.reset();
    delete window_;
    window_ = nullptr;
    qInstallMessageHandler(testlibHandler);
    QDir::setCurrent(startDir_);
    temp_.reset();
}

void TestWindow::choose(const QString &path)
{
    answer_ = path;
    QTest::mouseClick(widget<QPushButton>("pushButton"), Qt::LeftButton);
}

QList<int> TestWindow::clickTriler()
{
    auto *bar = widget<QProgressBar>("progressBar");
    bar->reset(); // so that the run's first value, 0, shows as a change
    QSignalSpy spy(bar, &QProgressBar::valueChanged);
    debugLines.clear();
    QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
    QList<int> values;
    for (const QList<QVariant> &signal : spy)
        values << signal.at(0).toInt();
    return values;
}

void TestWindow::widgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry"); // null when the main window lays it out
    QTest::addColumn<QString>("text");

    QTest::newRow("centralWidget") << "QWidget"
                                   << "MainWindow" << QRect() << "";
    QTest::newRow("pushButton") << "QPushButton"
                                << "centralWidget" << QRect(280, 28, 75, 23) << "Parcourir...";
    QTest::newRow("lineEdit") << "QLineEdit"
                              << "centralWidget" << QRect(10, 30, 261, 20) << "";
    QTest::newRow("commandLinkButton") << "QCommandLinkButton"
                                       << "centralWidget" << QRect(240, 140, 121, 41) << "Triler";
    QTest::newRow("progressBar") << "QProgressBar"
                                 << "centralWidget" << QRect(10, 90, 361, 23) << "0 to 100";
    QTest::newRow("comboBox") << "QComboBox"
                              << "centralWidget" << QRect(120, 130, 69, 22) << "ST";
    QTest::newRow("label") << "QLabel"
                           << "centralWidget" << QRect(20, 130, 91, 20) << "Langage de sortie:";
    QTest::newRow("label_2") << "QLabel"
                             << "centralWidget" << QRect(10, 10, 131, 16)
                             << QString::fromUtf8("Nom du fichier \xc3\xa0 triler:");
    QTest::newRow("checkBox") << "QCheckBox"
                              << "centralWidget" << QRect(20, 170, 181, 17)
                              << QString::fromUtf8("Ouvrir le dossier apr\xc3\xa8s "
                                                   "g\xc3\xa9n\xc3\xa9ration");
    QTest::newRow("line") << "QFrame"
                          << "centralWidget" << QRect(10, 70, 351, 16) << "";
    QTest::newRow("statusBar") << "QStatusBar"
                               << "MainWindow" << QRect() << "";
    QTest::newRow("menuBar") << "QMenuBar"
                             << "MainWindow" << QRect(0, 0, 373, 21) << "";
}

void TestWindow::widgets()
{
    QFETCH(QString, className);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    const QList<QWidget *> found = window_->findChildren<QWidget *>(QTest::currentDataTag());
    QCOMPARE(found.size(), 1);
    QWidget *w = found.first();
    QCOMPARE(QString(w->metaObject()->className()), className);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    if (!geometry.isNull())
        QCOMPARE(w->geometry(), geometry);

    QString shown;
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        shown = button->text();
    else if (auto *label = qobject_cast<QLabel *>(w))
        shown = label->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(w))
        shown = edit->text();
    else if (auto *bar = qobject_cast<QProgressBar *>(w))
        shown = QStringLiteral("%1 to %2").arg(bar->minimum()).arg(bar->maximum());
    else if (auto *combo = qobject_cast<QComboBox *>(w))
        for (int i = 0; i < combo->count(); ++i)
            shown += combo->itemText(i);
    QCOMPARE(shown, text);
}

void TestWindow::creationOrder()
{
    auto namesOf = [](const QObjectList &children, const QStringList &wanted) {
        QStringList names;
        for (QObject *child : children)
            if (wanted.contains(child->objectName()))
                names << child->objectName();
        return names;
    };
    const QStringList inCentral {"pushButton",  "lineEdit", "commandLinkButton",
                                 "progressBar", "comboBox", "label",
                                 "label_2",     "checkBox", "line"};
    QCOMPARE(namesOf(widget<QWidget>("centralWidget")->children(), inCentral), inCentral);
    const QStringList inWindow {"centralWidget", "statusBar", "menuBar"};
    QCOMPARE(namesOf(window_->children(), inWindow), inWindow);
}

void TestWindow::window()
{
    QCOMPARE(window_->objectName(), QString("MainWindow"));
    QCOMPARE(window_->windowTitle(), QString("Trilette"));
    QCOMPARE(window_->centralWidget(), widget<QWidget>("centralWidget"));
    QCOMPARE(window_->statusBar(), widget<QStatusBar>("statusBar"));
    QCOMPARE(window_->menuBar(), widget<QMenuBar>("menuBar"));

    QCOMPARE(window_->minimumSize(), QSize(373, 215));
    QCOMPARE(window_->maximumSize(), QSize(373, 215));
    window_->resize(500, 400);
    QCOMPARE(window_->size(), QSize(373, 215));
    QVERIFY(window_->windowIcon().availableSizes().contains(QSize(256, 256)));

    QCOMPARE(widget<QLineEdit>("lineEdit")->maxLength(), 32767);
    QCOMPARE(widget<QComboBox>("comboBox")->count(), 1);
    QCOMPARE(widget<QComboBox>("comboBox")->currentIndex(), 0);
    QCOMPARE(widget<QCheckBox>("checkBox")->isChecked(), false);
    QCOMPARE(widget<QCommandLinkButton>("commandLinkButton")->description(), QString());
    QCOMPARE(widget<QMenuBar>("menuBar")->actions().size(), 0);
    QCOMPARE(widget<QStatusBar>("statusBar")->currentMessage(), QString());
    QCOMPARE(widget<QFrame>("line")->frameShape(), QFrame::HLine);
    QCOMPARE(widget<QFrame>("line")->frameShadow(), QFrame::Sunken);
    window_->setProgressValue(42);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 42);
}

void TestWindow::slotsInOrder()
{
    const QMetaObject *meta = window_->metaObject();
    QCOMPARE(QString(meta->className()), QString("MainWindow"));
    QCOMPARE(meta->superClass(), &QMainWindow::staticMetaObject);
    QStringList own;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        own << QStringLiteral("%1 %2 %3 %4")
                   .arg(method.access() == QMetaMethod::Private ? "private" : "not private",
                        method.methodType() == QMetaMethod::Slot ? "slot" : "not a slot",
                        method.typeName(), method.methodSignature());
    }
    QCOMPARE(own,
             QStringList({"private slot void on_pushButton_clicked()",
                          "private slot void on_lineEdit_editingFinished()",
                          "private slot void on_commandLinkButton_clicked()"}));
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
    QCOMPARE(meta->enumeratorCount(), meta->enumeratorOffset());
    QCOMPARE(meta->classInfoCount(), meta->classInfoOffset());
}

void TestWindow::tabOrder()
{
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

    QTest::newRow("first choice") << QString() << "/nets/usine.ndr"
                                  << "/nets/usine.ndr";
    const QString longPath = "/home/utilisateur/projets/automates/reseaux/usine_principale.ndr";
    QTest::newRow("longer than 48") << QString() << longPath << longPath.left(48);
    QTest::newRow("cancelled after a choice") << "/nets/usine.ndr"
                                              << ""
                                              << "";
}

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
             QStringList({QString::fromUtf8("MainWindow | Ouvrir le fichier \xc3\xa0 triler | ")
                          + startDir + " | RdP Tina (*.ndr)"}));
    QCOMPARE(selectedFileName, answer);
    QCOMPARE(widget<QLineEdit>("lineEdit")->text(), shown);
    QCOMPARE(widget<QLineEdit>("lineEdit")->maxLength(), 48);
    QCOMPARE(widget<QProgressBar>("progressBar")->value(), 0);
}

// The line edit only shows the choice; what is typed into it is never used.
void TestWindow::typedPathIsIgnored()
{
    choose("/nets/usine.ndr");
    auto *edit = widget<QLineEdit>("lineEdit");
    QVERIFY(QObject::disconnect(edit, SIGNAL(editingFinished()), window_,
                                SLOT(on_lineEdit_editingFinished())));
    QVERIFY(QObject::connect(edit, SIGNAL(editingFinished()), window_,
                             SLOT(on_lineEdit_editingFinished())));
    edit->clear();
    QTest::keyClicks(edit, "autre.ndr");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(selectedFileName, QString("/nets/usine.ndr"));
}

void TestWindow::noFileChosen_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("never browsed") << false;
    QTest::newRow("dialog cancelled") << true;
}

void TestWindow::noFileChosen()
{
    QFETCH(bool, cancelled);
    QVERIFY(QDir().mkdir("TriledFiles"));
    if (cancelled)
        choose(QString());
    widget<QCheckBox>("checkBox")->setChecked(true);

    QCOMPARE(clickTriler(), QList<int>({0, 5}));
    QCOMPARE(closer_->boxes, QStringList({"Erreur: Aucun fichier choisi"}));
    QVERIFY(closer_->wellFormed);
    QCOMPARE(debugLines, QStringList({"\"\"", "Ex.ndr", "", ""}));
    QCOMPARE(QDir::currentPath(), work());
    QCOMPARE(filesIn(root_), QStringList());
    QCOMPARE(openedUrls_, QList<QUrl>());
}

void TestWindow::run_data()
{
    QTest::addColumn<QString>("netFile");
    QTest::addColumn<bool>("triledFiles"); // the folder exists before the run
    QTest::addColumn<QString>("baseName");

    QTest::newRow("into TriledFiles") << "usine.ndr" << true << "usine";
    QTest::newRow("no TriledFiles: current directory") << "usine.ndr" << false << "usine";
    QTest::newRow("four characters") << ".ndr" << true << "Ex";
    QTest::newRow("accents") << QString::fromUtf8("r\xc3\xa9seau.ndr") << true
                             << QString::fromUtf8("r\xc3\xa9seau");
}

void TestWindow::run()
{
    QFETCH(QString, netFile);
    QFETCH(bool, triledFiles);
    QFETCH(QString, baseName);

    addNet(netFile);
    if (triledFiles)
        QVERIFY(QDir().mkdir("TriledFiles"));
    choose(netPath(netFile));

    QList<int> progress;
    {
        StdoutToFile capture(root_ + "/stdout");
        progress = clickTriler();
    }
    QCOMPARE(progress, completeRun);
    QCOMPARE(readFile(root_ + "/stdout").replace("\r\n", "\n"), readFile(lamp + ".out"));
    QCOMPARE(closer_->boxes, QStringList());
    QCOMPARE(debugLines, completeRunLines(netPath(netFile), baseName));
    const QString folder = triledFiles ? "TriledFiles" : "";
    const QString prefix = triledFiles ? "TriledFiles/" : "";
    QCOMPARE(filesIn(work()),
             QStringList({prefix + baseName + ".log", prefix + baseName + "_ST.txt"}));
    QCOMPARE(QDir::currentPath(), work(folder));
    QCOMPARE(readFile(work(prefix + baseName + ".log")), readFile(lamp + ".log"));
    QCOMPARE(readFile(work(prefix + baseName + "_ST.txt")), readFile(lamp + "_ST.txt"));
    QCOMPARE(openedUrls_, QList<QUrl>());
}

void TestWindow::twoRuns_data()
{
    QTest::addColumn<bool>("nested"); // TriledFiles/TriledFiles exists
    QTest::addColumn<QStringList>("files");

    QTest::newRow("same folder") << false
                                 << QStringList {"TriledFiles/a.log", "TriledFiles/a_ST.txt",
                                                 "TriledFiles/usine.log",
                                                 "TriledFiles/usine_ST.txt"};
    QTest::newRow("nested folder")
        << true
        << QStringList {"TriledFiles/TriledFiles/a.log", "TriledFiles/TriledFiles/a_ST.txt",
                        "TriledFiles/usine.log", "TriledFiles/usine_ST.txt"};
}

// The current directory that a run enters stays entered.
void TestWindow::twoRuns()
{
    QFETCH(bool, nested);
    QFETCH(QStringList, files);

    QVERIFY(QDir().mkpath(nested ? "TriledFiles/TriledFiles" : "TriledFiles"));
    addNet("usine.ndr");
    addNet("a.ndr");
    choose(netPath("usine.ndr"));
    QCOMPARE(clickTriler(), completeRun);
    choose(netPath("a.ndr"));
    QCOMPARE(clickTriler(), completeRun);

    QCOMPARE(closer_->boxes, QStringList());
    QCOMPARE(filesIn(work()), files);
    QCOMPARE(QDir::currentPath(), work(nested ? "TriledFiles/TriledFiles" : "TriledFiles"));
}

void TestWindow::openFolder_data()
{
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("triledFiles");
    QTest::addColumn<QString>("opened"); // relative to the work folder, null for none

    QTest::newRow("ticked, into TriledFiles") << true << true << "TriledFiles";
    QTest::newRow("ticked, no TriledFiles") << true << false << "";
    QTest::newRow("not ticked") << false << true << QString();
}

void TestWindow::openFolder()
{
    QFETCH(bool, ticked);
    QFETCH(bool, triledFiles);
    QFETCH(QString, opened);

    addNet("usine.ndr");
    if (triledFiles)
        QVERIFY(QDir().mkdir("TriledFiles"));
    choose(netPath("usine.ndr"));
    if (ticked)
        QTest::mouseClick(widget<QCheckBox>("checkBox"), Qt::LeftButton);
    QCOMPARE(clickTriler(), completeRun);

    QStringList urls;
    for (const QUrl &url : openedUrls_)
        urls << url.toString();
    const QString folder = work(opened); // "/tmp/..." here, "C:/..." on Windows
    const QString url = (folder.startsWith('/') ? "file://" : "file:///") + folder;
    QCOMPARE(urls, opened.isNull() ? QStringList() : QStringList {url});
}

// Nothing is written for a net that cannot be read; an earlier output of its name stays.
void TestWindow::unreadableNet()
{
    const QString netFile = "absent.ndr";
    const QString baseName = "absent";
    QVERIFY(QDir().mkdir("TriledFiles"));
    writeFile(work("TriledFiles/" + baseName + ".log"), "ancien\n");
    choose(netPath(netFile));

    QCOMPARE(clickTriler(), QList<int>({0, 5, 10}));
    QCOMPARE(
        closer_->boxes,
        QStringList({QString::fromUtf8("Erreur: Impossible de lire le fichier r\xc3\xa9seau :\n")
                     + QDir::toNativeSeparators(netPath(netFile))}));
    QVERIFY(closer_->wellFormed);
    QCOMPARE(debugLines, runLines(netPath(netFile), baseName));
    QCOMPARE(filesIn(work()), QStringList({"TriledFiles/" + baseName + ".log"}));
    QCOMPARE(readFile(work("TriledFiles/" + baseName + ".log")), QByteArray("ancien\n"));
}

void TestWindow::outputNotWritten_data()
{
    QTest::addColumn<QString>("blocked"); // a folder stands where this output goes
    QTest::addColumn<QString>("written");

    QTest::newRow("ST program") << "usine_ST.txt"
                                << "usine.log";
    QTest::newRow("structure log") << "usine.log"
                                   << "usine_ST.txt";
}

// The output that cannot be written is named, the other one is written whole, and the bar
// stops short of 100; no partial file is left behind.
void TestWindow::outputNotWritten()
{
    QFETCH(QString, blocked);
    QFETCH(QString, written);

    addNet("usine.ndr");
    QVERIFY(QDir().mkpath("TriledFiles/" + blocked));
    choose(netPath("usine.ndr"));

    QCOMPARE(clickTriler(), QList<int>({0, 5, 10, 15, 18, 20, 30, 70}));
    QCOMPARE(closer_->boxes,
             QStringList({QString::fromUtf8("Erreur: Impossible d'\xc3\xa9"
                                            "crire le fichier :\n")
                          + QDir::toNativeSeparators(work("TriledFiles/" + blocked))}));
    QVERIFY(closer_->wellFormed);
    QCOMPARE(debugLines, completeRunLines(netPath("usine.ndr"), "usine"));
    QCOMPARE(filesIn(work()), QStringList({"TriledFiles/" + written}));
    QVERIFY(QFileInfo(work("TriledFiles/" + blocked)).isDir());
}

void TestWindow::damagedNet_data()
{
    QTest::addColumn<QByteArray>("net");
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("files");

    const QString written = QString::fromUtf8("Avertissement: Le r\xc3\xa9seau a \xc3\xa9t\xc3\xa9 "
                                              "traduit, mais :\n");
    QTest::newRow("no end line, a line lacking a token")
        << QByteArray("p 1 2 A 1 n\nt 1 2\n") << completeRun
        << written + "n.ndr : 1 ligne ignoree (il y manque un jeton)\n"
            + "n.ndr : pas de ligne de fin 'h', le fichier est peut-etre tronque"
        << QStringList {"n.log", "n.ndr", "n_ST.txt"};
    QTest::newRow("no text") << QByteArray("\x89PNG\0\0", 6) << QList<int> {0, 5, 10}
                             << QString::fromUtf8("Erreur: Le fichier r\xc3\xa9seau n'est pas un "
                                                  "fichier texte :\n<net>")
                             << QStringList {"n.ndr"};
}

// A net that was read with trouble says so in a box; one that is no text is refused.
void TestWindow::damagedNet()
{
    QFETCH(QByteArray, net);
    QFETCH(QList<int>, progress);
    QFETCH(QString, box);
    QFETCH(QStringList, files);

    writeFile(work("n.ndr"), net);
    choose("n.ndr");
    QCOMPARE(clickTriler(), progress);
    box.replace("<net>", QDir::toNativeSeparators(work("n.ndr")));
    QCOMPARE(closer_->boxes, QStringList {box});
    QVERIFY(closer_->wellFormed);
    QCOMPARE(filesIn(work()), files);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
