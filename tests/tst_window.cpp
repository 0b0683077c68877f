// The window: its form, choosing a net by browsing or typing, the keyboard, texts that fit, and
// whole conversion runs driven by clicking "Triler", held half-way to see the window answer.

#include "app/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <limits>
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

/// Holds a run at progress 30, on its own thread, until the test lets it go on.
struct Hold : trilette::ConversionObserver
{
    trilette::ConversionObserver *window = nullptr;
    QSemaphore reached, release;
    bool onGuiThread = false;
    void progress(int value) override
    {
        window->progress(value);
        if (value != 30)
            return;
        reached.release();
        if (!onGuiThread) // a run on the GUI thread would wait for ever
            release.acquire();
    }
    void debugLine(const std::string &text) override { window->debugLine(text); }
};

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

/// A paint device that keeps the texts drawn on it and nothing else.
class TextRecorder : public QPaintDevice
{
public:
    explicit TextRecorder(const QSize &size)
        : size_(size)
    { }
    QPaintEngine *paintEngine() const override { return &engine_; }
    /// The texts drawn since the last call, joined.
    QString take() { return std::exchange(engine_.drawn, QString()); }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return size_.width();
        case PdmHeight:
            return size_.height();
        case PdmWidthMM:
            return size_.width() * 254 / 960;
        case PdmHeightMM:
            return size_.height() * 254 / 960;
        case PdmNumColors:
            return std::numeric_limits<int>::max();
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default: // the dots per inch of Qt's offscreen screen
            return 96;
        }
    }

private:
    struct Engine : QPaintEngine
    {
        Engine()
            : QPaintEngine(AllFeatures)
        { }
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &) override { }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
        void drawPath(const QPainterPath &) override { }
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override { }
        void drawTextItem(const QPointF &, const QTextItem &item) override { drawn += item.text(); }
        Type type() const override { return User; }
        QString drawn;
    };
    QSize size_;
    mutable Engine engine_;
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
    QList<int> progress; // the bar's values over all clicks
    QStringList boxes; // "title: text"
    QStringList debug; // the debug log
    QStringList files {}; // every file under the work folder afterwards
    QString current {}; // the current directory afterwards
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

    void form();
    void browse_data();
    void browse();
    void typed_data();
    void typed();
    void keyboard_data();
    void keyboard();
    void textsFit_data();
    void textsFit();
    void french();
    void run_data();
    void run();
    void tracesOnStandardOutput();
    void readOnlyFolder();
    void answersDuringRun();
    void closedDuringRun();
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
    /// Makes the runs stop at progress 30 until `hold_.release` is released.
    void holdRuns()
    {
        hold_ = std::make_unique<Hold>();
        MainWindow::convert = [this](const trilette::ConversionJob &job, trilette::TextSink *trace,
                                     trilette::ConversionObserver *observer) {
            hold_->window = observer;
            hold_->onGuiThread = QThread::currentThread() == qApp->thread();
            return trilette::convertNet(job, trace, hold_.get());
        };
    }
    QString work(const QString &p = {}) const { return QDir::cleanPath(root_ + "/work/" + p); }

    QString startDir_;
    QFont appFont_;
    QString appStyle_;
    std::unique_ptr<QTemporaryDir> temp_;
    QString root_;
    MainWindow *window_ = nullptr;
    QTimer boxCloser_;
    QStringList boxes_; // each message box answered, as "title: text"
    bool boxesWellFormed_ = true; // each a modal box of the window with only Ok, the right icon
    QString answer_; // what the file dialog answers
    QStringList dialogCalls_, openedUrls_;
    std::unique_ptr<Hold> hold_;
};

void TestWindow::initTestCase()
{
    startDir_ = QDir::currentPath();
    appFont_ = QApplication::font();
    appStyle_ = QApplication::style()->objectName();
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
    QApplication::setFont(appFont_);
    if (QApplication::style()->objectName() != appStyle_)
        QApplication::setStyle(appStyle_);
    qInstallMessageHandler(testlibHandler);
    QDir::setCurrent(startDir_);
    temp_.reset();
}

// The window, and each widget in creation order under its parent: class, parent, what it shows
// (a bar its range, a combo box its items and the one chosen); no two widgets overlap; the fixed
// size, the slots, the tab order.
void TestWindow::form()
{
    QStringList found;
    for (QWidget *parent : {static_cast<QWidget *>(window_), widget<QWidget>("centralWidget")})
        for (QWidget *w : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            QStringList row {w->objectName(), w->metaObject()->className(), parent->objectName()};
            if (auto *bar = qobject_cast<QProgressBar *>(w))
                row << QStringLiteral("%1-%2").arg(bar->minimum()).arg(bar->maximum());
            else if (auto *combo = qobject_cast<QComboBox *>(w))
                for (int i = 0; i < combo->count(); ++i)
                    row << (i == combo->currentIndex() ? '[' + combo->itemText(i) + ']'
                                                       : combo->itemText(i));
            else if (!w->property("text").toString().isEmpty())
                row << w->property("text").toString();
            found << row.join(' ');
        }
    QCOMPARE(found,
             QStringList({
                 "centralWidget QWidget MainWindow",
                 "statusBar QStatusBar MainWindow",
                 "menuBar QMenuBar MainWindow",
                 "pushButton QPushButton centralWidget Parcourir...",
                 "lineEdit QLineEdit centralWidget",
                 "commandLinkButton QCommandLinkButton centralWidget Triler",
                 "progressBar QProgressBar centralWidget 0-100",
                 "comboBox QComboBox centralWidget [ST] ST (programme complet) PLCopen XML",
                 "label QLabel centralWidget Langage de sortie:",
                 "label_2 QLabel centralWidget Nom du fichier \xc3\xa0 triler:",
                 "checkBox QCheckBox centralWidget Ouvrir le dossier apr\xc3\xa8s "
                 "g\xc3\xa9n\xc3\xa9ration",
                 "line QFrame centralWidget",
             }));
    QStringList overlaps;
    const QList<QWidget *> placed
        = widget<QWidget>("centralWidget")
              ->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (int i = 0; i < placed.size(); ++i)
        for (int j = i + 1; j < placed.size(); ++j)
            if (placed[i]->geometry().intersects(placed[j]->geometry()))
                overlaps << placed[i]->objectName() + ' ' + placed[j]->objectName();
    QCOMPARE(overlaps, QStringList());
    QCOMPARE(widget<QFrame>("line")->frameShape(), QFrame::HLine);
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

    showActive();
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
}

// Enter presses the focused button; Alt+P and Alt+T press theirs from anywhere in the window.
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
    // A shortcut shows the button pressed for a moment before it clicks.
    QVERIFY(!clicked.isEmpty() || clicked.wait());
    window_->waitForRun();
    QCOMPARE(dialogCalls_.size(), effect == "browse" ? 1 : 0);
    QCOMPARE(filesIn(work()),
             effect == "run" ? QStringList({"lamp.log", "lamp_ST.txt"}) : QStringList());
    QCOMPARE(boxes_, QStringList());
    // The focus that a run took from its button comes back.
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QCOMPARE(widget<QPushButton>("pushButton")->text(), QString("Parcourir..."));
    QCOMPARE(widget<QCommandLinkButton>("commandLinkButton")->text(), QString("Triler"));
}

void TestWindow::textsFit_data()
{
    // The desktop's usual 9 points, at 96 and 120 dots per inch; Qt's own style, whose combo
    // box lists its entries in a pop-up menu, and one of Windows' kind, which lists them in a box.
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("style");
    for (const char *style : {"Fusion", "Windows"}) {
        QTest::addRow("96 dpi, %s", style) << 12 << style;
        QTest::addRow("120 dpi, %s", style) << 15 << style;
    }
}

// Every text shows whole in its widget's fixed geometry, in the application's font; the one
// entry of the combo box too long for it shows elided.
void TestWindow::textsFit()
{
    QFETCH(int, pixels);
    QFETCH(QString, style);
    QVERIFY(QApplication::setStyle(style));
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    QApplication::setFont(font);
    delete window_;
    window_ = new MainWindow;

    QStringList clipped;
    for (QWidget *w : window_->centralWidget()->findChildren<QWidget *>()) {
        QString text = w->property("text").toString();
        QFont shown = w->font();
        QRect room;
        if (auto *label = qobject_cast<QLabel *>(w)) {
            room = label->contentsRect();
        } else if (auto *link = qobject_cast<QCommandLinkButton *>(w)) {
            // The title is drawn bold at 9 points beside the icon, whatever the button's font.
            shown.setBold(true);
            shown.setPointSizeF(9);
            room = link->rect().adjusted(link->iconSize().width() + 13, 0, -4, 0);
        } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = text;
            room = w->style()->subElementRect(qobject_cast<QCheckBox *>(w)
                                                  ? QStyle::SE_CheckBoxContents
                                                  : QStyle::SE_PushButtonContents,
                                              &option, w);
        } else {
            continue;
        }
        const QRect ink = QFontMetrics(shown).tightBoundingRect(text);
        if (QFontMetrics(shown).horizontalAdvance(text) > room.width()
            || ink.height() > room.height())
            clipped << QStringLiteral("%1 %2x%3 in %4x%5")
                           .arg(w->objectName())
                           .arg(QFontMetrics(shown).horizontalAdvance(text))
                           .arg(ink.height())
                           .arg(room.width())
                           .arg(room.height());
    }
    QCOMPARE(clipped, QStringList());

    // The closed combo box shows the formats' names whole and the long entry elided, as a start
    // that tells it from "ST" followed by "…", all within the room of its style; its tooltip
    // gives the entry whole, and so does the list.
    showActive();
    auto *combo = widget<QComboBox>("comboBox");
    QStyleOptionComboBox option;
    option.initFrom(combo);
    const int room
        = combo->style()
              ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
              .width();
    TextRecorder recorder(combo->size());
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) {
        const QString entry = combo->itemText(i);
        combo->setCurrentIndex(i);
        combo->render(&recorder);
        const QString text = recorder.take();
        if (text == entry)
            shown << "whole";
        else if (text.endsWith(QChar(0x2026)) && text.size() > 8
                 && entry.startsWith(text.chopped(1)))
            shown << "elided";
        else
            shown << text;
        if (QFontMetrics(combo->font()).horizontalAdvance(text) > room)
            clipped << text;
        if (combo->toolTip() != entry)
            clipped << "tooltip " + combo->toolTip();
    }
    QCOMPARE(shown, QStringList({"whole", "elided", "whole"}));
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    QVERIFY(list->isVisible());
    TextRecorder listed(list->viewport()->size());
    list->viewport()->render(&listed);
    QCOMPARE(listed.take(), QString("STST (programme complet)PLCopen XML"));
    for (int i = 0; i < combo->count(); ++i)
        if (QFontMetrics(list->font()).horizontalAdvance(combo->itemText(i))
            > list->viewport()->width())
            clipped << "list " + combo->itemText(i);
    combo->hidePopup();
    QCOMPARE(clipped, QStringList());
}

// Qt's own texts (dialog and box buttons) speak French.
void TestWindow::french()
{
    const QLocale locale;
    QVERIFY(installQtFrench(qApp));
    const QStringList texts {QLocale().nativeLanguageName(),
                             QCoreApplication::translate("QPlatformTheme", "Cancel"),
                             QCoreApplication::translate("QFileDialog", "File &name:")};
    delete qApp->findChild<QTranslator *>();
    QLocale::setDefault(locale);
    QCOMPARE(texts,
             QStringList({"fran\xc3\xa7"
                          "ais",
                          "Annuler", "&Nom de fichier :"}));
}

void TestWindow::run_data()
{
    QTest::addColumn<Runs>("runs");
    int entry = 0; // that of the rows that follow
    const auto add = [&entry](const char *name, QStringList before, QByteArray net,
                              QStringList chosen, bool ticked, QList<int> progress,
                              QStringList boxes, QStringList debug, QStringList files = {},
                              QString current = {}, QStringList opened = {}, QString status = {}) {
        QTest::newRow(name) << Runs {entry, before, net,   chosen,  ticked, progress,
                                     boxes, debug,  files, current, opened, status};
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
    auto done = [&](const QString &net, const QString &base, const QString &program = {}) {
        return reached(net, base)
            + QStringList {"", "T1", "P1", program.isNull() ? base + "_ST.txt" : program};
    };
    const QString failed
        = "Erreur: Le r\xc3\xa9seau \xc2\xab %1 \xc2\xbb n'a pas \xc3\xa9t\xc3\xa9 "
          "tril\xc3\xa9 :\n\n";
    const QString remarks
        = "Avertissement: Le r\xc3\xa9seau \xc2\xab %1 \xc2\xbb a \xc3\xa9t\xc3\xa9"
          " tril\xc3\xa9, avec ces remarques :\n\n";
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

    add("never browsed, then dialog cancelled", {T}, {}, {QString(), ""}, true, {0, 5, 0, 5},
        {noNet, noNet}, none + none);
    add("into TriledFiles, opened", {T}, lampNet, {usine}, true, all, {}, done(usine, "usine"),
        {T + "usine.log", T + "usine_ST.txt"}, T, {T}, written("usine") + "/TriledFiles");
    add("no TriledFiles: current directory, opened", {}, lampNet, {usine}, true, all, {},
        done(usine, "usine"), {"usine.log", "usine_ST.txt"}, "", {""}, written("usine"));
    add("two runs, one folder: accents, four characters", {T}, lampNet, {accents, "<nets>/.ndr"},
        false, all + all, {}, done(accents, "r\xc3\xa9seau") + done("<nets>/.ndr", "Ex"),
        {T + "Ex.log", T + "Ex_ST.txt", T + "r\xc3\xa9seau.log", T + "r\xc3\xa9seau_ST.txt"}, T, {},
        written("Ex") + "/TriledFiles");
    // The current directory that a run enters stays entered.
    add("two runs, nested folder, opened", {T + T}, lampNet, {usine, a}, true, all + all, {},
        done(usine, "usine") + done(a, "a"),
        {T + T + "a.log", T + T + "a_ST.txt", T + "usine.log", T + "usine_ST.txt"}, T + T,
        {T, T + T}, written("a") + "/TriledFiles/TriledFiles");
    // Nothing is written for a net that cannot be read; an earlier output of its name stays.
    add("unreadable net", {T, T + "absent.log"}, {}, {"<nets>/absent.ndr"}, false, {0, 5, 10},
        {failed.arg("absent.ndr")
         + "<nets>/absent.ndr: erreur: impossible de lire le fichier r\xc3\xa9seau : fichier ou "
           "dossier introuvable"},
        reached("<nets>/absent.ndr", "absent"), {T + "absent.log"}, T);
    // The other output is written whole, the bar stops short of 100, no partial file is left.
    add("ST program not written", {T + "usine_ST.txt/"}, lampNet, {usine}, false, all.mid(0, 8),
        {failed.arg("usine.ndr") + unwritable.arg("usine_ST.txt")}, done(usine, "usine"), {}, T);
    add("structure log not written", {T + "usine.log/"}, lampNet, {usine}, false, all.mid(0, 8),
        {failed.arg("usine.ndr") + unwritable.arg("usine.log")}, done(usine, "usine"), {}, T);
    add("damaged net", {}, damaged(1), {"n.ndr"}, false, all,
        {remarks.arg("n.ndr") + skipped.arg(2) + '\n' + noEnd}, damagedDebug,
        {"n.log", "n.ndr", "n_ST.txt"}, "", {}, written("n"));
    // One box, an error one, with the error first.
    add("damaged net not written", {"n_ST.txt/"}, damaged(1), {"n.ndr"}, false, all.mid(0, 8),
        {failed.arg("n.ndr")
         + "<work>/n_ST.txt: erreur: impossible d'\xc3\xa9"
           "crire le fichier : un dossier porte ce nom\n"
         + skipped.arg(2) + '\n' + noEnd},
        damagedDebug, {"n.ndr"});
    QStringList first20;
    for (int line = 2; line <= 21; ++line)
        first20 << skipped.arg(line);
    add("21 remarks", {}, damaged(20), {"n.ndr"}, false, all,
        {remarks.arg("n.ndr") + first20.join('\n') + "\n\xe2\x80\xa6 et 1 autre message."},
        damagedDebug, {"n.log", "n.ndr", "n_ST.txt"}, "", {}, written("n"));
    add("26 remarks", {}, damaged(25), {"n.ndr"}, false, all,
        {remarks.arg("n.ndr") + first20.join('\n') + "\n\xe2\x80\xa6 et 6 autres messages."},
        damagedDebug, {"n.log", "n.ndr", "n_ST.txt"}, "", {}, written("n"));
    add("no text", {}, QByteArray("\x89PNG\0\0", 6), {"n.ndr"}, false, {0, 5, 10},
        {failed.arg("n.ndr")
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
    add("predicate that is no ST: converted, with a warning", {}, notSt, {lampNdr}, false, all,
        {remarks.arg("lamp.ndr") + badPredicate.arg("avertissement")}, done(lampNdr, "lamp"),
        {"lamp.log", "lamp_ST.txt"}, "", {}, written("lamp"));
    entry = 1;
    add("complete program, into TriledFiles", {T}, lampNet, {lampNdr}, false, all, {},
        done(lampNdr, "lamp", "lamp.st"), {T + "lamp.log", T + "lamp.st"}, T, {},
        written("lamp", "lamp.st") + "/TriledFiles");
    add("complete program: predicate that is no ST", {}, notSt, {lampNdr}, false, {0, 5, 10},
        {failed.arg("lamp.ndr") + badPredicate.arg("erreur") + '\n' + renamed},
        reached(lampNdr, "lamp"));
    entry = 2;
    add("PLCopen XML, opened", {}, lampNet, {lampNdr}, true, all, {},
        done(lampNdr, "lamp", "lamp.xml"), {"lamp.log", "lamp.xml"}, "", {""},
        written("lamp", "lamp.xml"));
    add("PLCopen XML of a net without end", {}, lampNet.left(lampNet.indexOf("h lamp")), {lampNdr},
        false, all,
        {remarks.arg("lamp.ndr")
         + "<nets>/lamp.ndr: avertissement: pas de ligne de fin \xc2\xab h \xc2\xbb : le fichier "
           "est peut-\xc3\xaatre tronqu\xc3\xa9\n"
         + renamed},
        done(lampNdr, "lamp", "lamp.xml"), {"lamp.log", "lamp.xml"}, "", {},
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
        bar->reset(); // so that the run's first value, 0, shows as a change
        QSignalSpy spy(bar, &QProgressBar::valueChanged);
        triler();
        for (const QList<QVariant> &signal : spy)
            progress << signal.at(0).toInt();
    }
    QCOMPARE(progress, runs.progress);
    QCOMPARE(bar->value(), runs.progress.last());
    for (QString &box : runs.boxes)
        box = QDir::toNativeSeparators(place(box));
    QCOMPARE(boxes_, runs.boxes);
    QVERIFY(boxesWellFormed_);
    QCOMPARE(debugLines,
             runs.debug.replaceInStrings("<nets>", nets).replaceInStrings("<work>", work()));
    QCOMPARE(filesIn(work()), runs.files);
    QCOMPARE(QDir::currentPath(), work(runs.current));
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

#ifdef Q_OS_UNIX
// The reading traces go to standard output, as with the command line.
void TestWindow::tracesOnStandardOutput()
{
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
    QCOMPARE(readFile(out), readFile(lamp + ".out"));
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
                          "\xc3\xa9t\xc3\xa9 tril\xc3\xa9 :\n\n"
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

// A run goes on off the GUI thread: the window repaints, its check box answers, "Triler" and
// "Parcourir..." wait, and the bar shows each value as the run reaches it.
void TestWindow::answersDuringRun()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    QVERIFY(QDir().mkdir("TriledFiles"));
    holdRuns();
    showActive();
    choose(net);
    auto *bar = widget<QProgressBar>("progressBar");
    bar->reset();
    QSignalSpy spy(bar, &QProgressBar::valueChanged);
    QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
    hold_->reached.acquire();
    QVERIFY2(!hold_->onGuiThread, "the run blocks the window");
    QCoreApplication::processEvents(); // the values that the run has posted

    QCOMPARE(bar->value(), 30);
    QVERIFY(!widget<QCommandLinkButton>("commandLinkButton")->isEnabled());
    QVERIFY(!widget<QPushButton>("pushButton")->isEnabled());
    QVERIFY(widget<QLineEdit>("lineEdit")->isReadOnly());
    QVERIFY(QApplication::overrideCursor());
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    PaintCounter counter;
    window_->centralWidget()->installEventFilter(&counter);
    window_->centralWidget()->update();
    QCoreApplication::processEvents();
    QVERIFY(counter.paints > 0);
    QTest::mouseClick(widget<QCheckBox>("checkBox"), Qt::LeftButton);
    QVERIFY(widget<QCheckBox>("checkBox")->isChecked());

    hold_->release.release();
    window_->waitForRun();
    QList<int> progress;
    for (const QList<QVariant> &signal : spy)
        progress << signal.at(0).toInt();
    QCOMPARE(progress, QList<int>({0, 5, 10, 15, 18, 20, 30, 70, 100}));
    QVERIFY(widget<QCommandLinkButton>("commandLinkButton")->isEnabled());
    QVERIFY(widget<QPushButton>("pushButton")->isEnabled());
    QVERIFY(!widget<QLineEdit>("lineEdit")->isReadOnly());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(QApplication::focusWidget()->objectName(), QString("checkBox")); // moved by the user
    // The box ticked during the run counts.
    QCOMPARE(openedUrls_, QStringList {QUrl::fromLocalFile(work("TriledFiles")).toString()});
    QCOMPARE(boxes_, QStringList());
    QCOMPARE(filesIn(work()), QStringList({"TriledFiles/usine.log", "TriledFiles/usine_ST.txt"}));
}

// Closing the window in the middle of a run waits for it: both outputs are written whole.
void TestWindow::closedDuringRun()
{
    const QString net = root_ + "/nets/usine.ndr";
    writeFile(net, readFile(lamp + ".ndr"));
    holdRuns();
    showActive();
    choose(net);
    QTest::mouseClick(widget<QCommandLinkButton>("commandLinkButton"), Qt::LeftButton);
    hold_->reached.acquire();
    window_->close();
    hold_->release.release();
    delete window_;
    window_ = nullptr;
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(readFile(work("usine.log")), readFile(lamp + ".log"));
    QCOMPARE(readFile(work("usine_ST.txt")), readFile(lamp + "_ST.txt"));
    QCOMPARE(boxes_, QStringList());
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
    QCOMPARE(boxes_, QStringList {"Erreur: Probleme de memoire !"});
    QVERIFY(boxesWellFormed_);
    QVERIFY(widget<QCommandLinkButton>("commandLinkButton")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(filesIn(work()), QStringList());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
