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
    if (!contents.isNull() && file.open(QIODevice::WriteOnly) && file.write(contents) >= 0)
        file.close(); // else the file stays open for writing, and reads as absent
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(absent)");
}

} // namespace

// Every run goes through the test as its observer, which holds it, on its own thread, at its
// first progress value from `holdAt_` on, until released or for half a minute at most.
class TestWindow : public QObject, trilette::ConversionObserver
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> temp_;
    std::unique_ptr<MainWindow> window_;
    QString root_, answer_; // what the file and folder dialogs answer
    // Boxes as "title: text", the informative text, the details, marked unless a modal box of
    // the window with only Ok, within the screen with its details shown. Events: the dialogs
    // opened, the runs, the window seen while a run is held.
    QStringList boxes_, events_, openedUrls_, bars_;
    QList<int> values_; // of the bar, since the run began
    trilette::ConversionObserver *observer_ = nullptr; // the window's
    QSemaphore reached_, release_;
    int holdAt_ = 101;

    void progress(int value) override
    {
        observer_->progress(value);
        if (value < holdAt_)
            return;
        holdAt_ = 101; // once
        reached_.release();
        release_.tryAcquire(1, 30000);
    }
    void debugLine(const std::string &text) override { observer_->debugLine(text); }
    bool cancelled() override { return observer_->cancelled(); }

    template<typename T = QWidget> T *widget(const char *name) const
    {
        return window_ ? window_->findChild<T *>(name) : nullptr; // none before "restart"
    }
    QString work() const { return root_ + "/work"; }
    /// <n>: the nets' folder, <w>: the work folder and current directory, <h>: where the file
    /// dialog opens at first, <~>: home, <l>: the golden lamp.ndr.
    QString place(QString text) const
    {
        const QString home = QDir::homePath();
        return text.replace("<n>", root_ + "/nets")
            .replace("<w>", work())
            .replace("<h>", QSysInfo::productType() == "windows" ? "C://" : home)
            .replace("<~>", home)
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
    /// Steps split at ';': "browse PATH" (the dialog answers PATH, none: cancelled; `net` put
    /// there if in the test's folder), "type TEXT" (the focus kept), "open PATH" (from the command
    /// line), "outdir DIR" and "default" (the Fichier menu), "restart" (a new session), "tab N"
    /// (the focus after each), "widen N" (pixels), "key WIDGET KEYS" (the focus back after a run),
    /// "nofm" (no file manager), "oom" (out of memory), "triler" (clicked, the focus kept, the run
    /// awaited). Held runs: "chain" (a large <n>/u.ndr, <w>/u.log and <w>/u_ST.txt "ancien"),
    /// "hold N" (at progress N), "press" (or "press late", after a double-click's time), "state"
    /// (once held), "wait" (the run let go and awaited).
    void play(const QString &steps, const QByteArray &net = {})
    {
        for (const QString &step : steps.split(';')) {
            const QString verb = step.section(' ', 0, 0), arg = place(step.section(' ', 1));
            const int from = debugLines.size(), dialogs = events_.size();
            auto *edit = widget<QLineEdit>("lineEdit");
            if (verb == "browse") {
                QVERIFY(net.isNull() || !arg.startsWith(root_) || file(arg, net) == net);
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
                window_ = std::make_unique<MainWindow>();
                connect(widget<QProgressBar>("progressBar"), &QProgressBar::valueChanged, this,
                        [this](int value) { values_ << value; });
                answer_ = selectedFileName = QString();
            } else if (verb == "show") {
                window_->show();
                QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
                QApplication::setActiveWindow(window_.get()); // which a bare X server would not
            } else if (verb == "focus") {
                widget(qPrintable(arg))->setFocus();
            } else if (verb == "tab") {
                for (int i = 0; i < arg.toInt(); ++i) {
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                    events_ << QApplication::focusWidget()->objectName();
                }
            } else if (verb == "widen") {
                const QRect field = edit->geometry(), button = widget("pushButton")->geometry();
                window_->resize(window_->width() + arg.toInt(), window_->height());
                events_ << QString("field %1 wider, Parcourir %2 further")
                               .arg(edit->width() - field.width())
                               .arg(widget("pushButton")->x() - button.x());
            } else if (verb == "key") {
                QWidget *focus = widget(qPrintable(arg.section(' ', 0, 0)));
                focus->setFocus();
                QTest::keySequence(focus, QKeySequence(arg.section(' ', 1)));
                // A shortcut shows its button pressed for a moment before it clicks.
                QTRY_VERIFY(events_.size() > dialogs || debugLines.size() > from);
                window_->waitForRun();
                QCOMPARE(QApplication::focusWidget(), focus);
            } else if (verb == "nofm") {
                MainWindow::openUrl = [](const QUrl &) { return false; };
            } else if (verb == "oom") {
                MainWindow::convert
                    = [](const auto &...) -> trilette::ConversionResult { throw std::bad_alloc(); };
            } else if (verb == "chain") {
                QVERIFY(file(place("<n>/u.ndr"), chainNet(40000)).size() > 0
                        && file("u.log", "ancien") == file("u_ST.txt", "ancien"));
            } else if (verb == "state") {
                QVERIFY(reached_.tryAcquire(1, 30000));
                QCoreApplication::processEvents(); // what the run has posted
                events_ << state() + QString(" at %1").arg(values_.value(values_.size() - 1));
            } else if (verb == "escape") {
                QTest::keyClick(window_.get(), Qt::Key_Escape);
            } else if (verb == "close") { // goes at once, and answers while the run stops
                QTimer::singleShot(0, window_.get(), [this] {
                    events_ << (window_->isVisible() ? "closing, shown" : "closing, hidden");
                    release_.release();
                });
                window_->close();
            } else if (verb == "triler") {
                play("hold 101;press;wait");
            } else if (verb == "hold") {
                holdAt_ = arg.toInt();
                widget<QProgressBar>("progressBar")->setValue(100);
                values_.clear();
            } else if (verb == "press") {
                QTest::qWait(arg == "late" ? QApplication::doubleClickInterval() : 0);
                widget<QAbstractButton>("commandLinkButton")->click();
            } else {
                QCOMPARE(verb, QString("wait"));
                release_.release();
                window_->waitForRun();
                release_.tryAcquire(release_.available()); // if the run was not held
                QStringList values;
                for (int value : values_)
                    values << QString::number(value);
                const bool rising = values.size() >= 8 && values_[0] == 0 && values_.last() == 100
                    && std::adjacent_find(values_.begin(), values_.end(), std::greater_equal<int>())
                        == values_.end();
                bars_ << (values.size() < 8
                              ? values.join(',')
                              : (rising ? "rising to " : "ending at ") + values.last());
            }
            if (debugLines.size() > from && QString("press key").contains(verb))
                events_ << "run " + debugLines.value(from + 1);
        }
    }

private slots:
    void initTestCase()
    {
        MainWindow::progressInterval = 0;
        MainWindow::folderDialog
            = [this](QWidget *, const QString &, const QString &) { return answer_; };
        MainWindow::fileDialog
            = [this](QWidget *, const QString &, const QString &dir, const QString &) {
                  events_ << "dialog " + dir;
                  return answer_;
              };
        auto *boxCloser = new QTimer(this);
        connect(boxCloser, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *button : box->buttons()) // shows the details
                if (box->buttonRole(button) == QMessageBox::ActionRole)
                    button->click();
            QCoreApplication::processEvents();
            const bool wellFormed = box->parentWidget() == window_.get()
                && box->standardButtons() == QMessageBox::Ok
                && box->frameGeometry().height() <= box->screen()->availableGeometry().height();
            const QString details = box->detailedText();
            boxes_ << (box->windowTitle() + ": " + box->text() + "\n\n" + box->informativeText()
                       + (details.isEmpty() ? "" : "\n\n[détails]\n" + details))
                          .trimmed()
                    + (wellFormed ? "" : " (mal formée)");
            box->button(QMessageBox::Ok)->click();
        });
        testlibHandler = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
                if (type != QtDebugMsg)
                    return testlibHandler(type, context, message);
                QMutexLocker lock(&debugMutex);
                debugLines << message;
            });
        boxCloser->start(5);
    }

    // Each test gets a fresh window, a fresh current directory <w> and nets in <n>.
    void init()
    {
        window_.reset();
        temp_ = std::make_unique<QTemporaryDir>();
        root_ = QDir(temp_->path()).canonicalPath();
        QVERIFY(QDir(root_).mkpath("nets") && QDir(root_).mkpath("work")
                && QDir::setCurrent(work()));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root_ + "/settings");
        for (QStringList *list : {&openedUrls_, &events_, &debugLines, &boxes_, &bars_})
            list->clear();
        holdAt_ = 101;
        MainWindow::openUrl = [this](const QUrl &url) {
            openedUrls_ << url.toLocalFile();
            return true;
        };
        MainWindow::convert = [this](const trilette::ConversionJob &job, trilette::TextSink *trace,
                                     trilette::ConversionObserver *observer) {
            observer_ = observer;
            return trilette::convertNet(job, trace, this);
        };
        play("restart");
    }

    void steps_data()
    {
        QTest::addColumn<QString>("steps"); // as play() takes them
        QTest::addColumn<QByteArray>("net");
        QTest::addColumn<QString>("seen"); // lines of steps() of the kinds it looks at
        // What the field shows, whole, is what "Triler" converts. A held run: the window locked,
        // the bar at the value reached; a double-click converts, the bar rising through the bytes
        // read and written; a cancel leaves the outputs as they were, the bar empty, and says so.
        const QString rows = QString::fromUtf8(
            R"(again: in its folder | browse <n>/a.ndr;browse <n>/u.ndr | events dialog <h>;dialog <n> | shown <n>/u.ndr
again: its folder gone | browse /parti/a.ndr;browse <n>/u.ndr | events dialog <h>;dialog <h> | shown <n>/u.ndr
cancelled after a choice | browse <n>/u.ndr;browse | events dialog <h>;dialog <n> | shown <n>/u.ndr
a name typed over a choice | browse <n>/a.ndr;type u.ndr;triler | events dialog <h>;run <n>/u.ndr | shown <n>/u.ndr
relative after a run in TriledFiles | mkdir TriledFiles;type a.ndr;triler;type b.ndr;triler | events run <w>/a.ndr;run <w>/b.ndr | shown <w>/b.ndr
blanks around | type  <n>/u.ndr  ;triler | events run <n>/u.ndr | shown <n>/u.ndr
home folder | type ~/r.ndr;triler | events run <~>/r.ndr | shown <~>/r.ndr
a dropped file's address | type file://<n>/r%C3%A9seau.ndr;triler | events run <n>/réseau.ndr | shown <n>/réseau.ndr
the field emptied | browse <n>/u.ndr;type ;triler | events dialog <h>;run Ex.ndr | shown
from the command line | open sous/r.ndr;triler | events run <w>/sous/r.ndr | shown <w>/sous/r.ndr
keys that browse | key pushButton Return;key lineEdit Alt+P;key lineEdit Ctrl+O | events dialog <h>;dialog <h>;dialog <h> | shown
keys that convert | open <l>;key commandLinkButton Return;key checkBox Alt+T | events run <l>;run <l> | shown <l>
Enter in the field | type <l>;key lineEdit Return | events run <l> | shown <l>
Tab | focus lineEdit;tab 5 | events pushButton;comboBox;checkBox;commandLinkButton;lineEdit
widened | widen 200 | events field 200 wider, Parcourir 200 further
settings kept | mkdir sorties;browse <n>/u.ndr;outdir sorties;restart;browse <n>/u.ndr;triler | events dialog <h>;dialog <n>;run <n>/u.ndr | files sorties/u.log sorties/u_ST.txt
default folder, TriledFiles a file | browse <w>/TriledFiles;mkdir sorties;outdir sorties;default;restart;open <l>;triler | files TriledFiles lamp.log lamp_ST.txt
kept folder gone | mkdir sorties;outdir sorties;rmdir sorties;restart;show | message Dossier de sortie introuvable : <w>/sorties | status Le dossier de sortie « <w>/sorties » n'existe plus : les fichiers vont dans le dossier par défaut, <w>
kept folder gone, forgotten | mkdir sorties;outdir sorties;rmdir sorties;restart;restart;show | message
no file manager | tick;nofm;open <l>;triler | message Impossible d'ouvrir le dossier : aucun gestionnaire de fichiers n'a répondu
out of memory | oom;open <l>;triler | after | bar 0 | files | box Erreur: Problème de mémoire !
held, double-click: converted | chain;open <n>/u.ndr;focus checkBox;hold 50;press;state;press;wait | events run <n>/u.ndr;Ann&uler 0001 read-only cursor 16 at 50 | after | bar rising to 100 | files u.log u_ST.txt | box
held, Annuler while reading | chain;open <n>/u.ndr;focus checkBox;hold 11;press;state;press late;wait | events run <n>/u.ndr;Ann&uler 0001 read-only cursor 16 at 11 | after | message Conversion annulée | bar 0,11,0 | files u.log=ancien u_ST.txt=ancien | box
held, Escape while writing | chain;open <n>/u.ndr;focus checkBox;hold 53;press;state;escape;wait | events run <n>/u.ndr;Ann&uler 0001 read-only cursor 16 at 53 | after | message Conversion annulée | bar ending at 0 | files u.log=ancien u_ST.txt=ancien | box
held, the window closed | chain;open <n>/u.ndr;focus checkBox;hold 53;press;state;close | events run <n>/u.ndr;Ann&uler 0001 read-only cursor 16 at 53;closing, hidden | after | message | bar | files u.log=ancien u_ST.txt=ancien | box)");
        for (const QString &row : rows.split('\n')) {
            const QStringList cells = row.split(" | ");
            QTest::newRow(qPrintable(cells[0]))
                << cells[1] << file(lamp + ".ndr") << cells.mid(2).join('\n');
        }
        for (const TextCase &c : readCaseFile(TRILETTE_SOURCE_DIR "/tests/data/window.cases"))
            QTest::newRow(qPrintable(c.name))
                << QString(c.text("steps")).trimmed()
                << (c.find("net") ? c.text("net") : file(lamp + ".ndr")) << QString(c.text("seen"));
    }

    void steps()
    {
        QFETCH(QString, steps);
        QFETCH(QByteArray, net);
        QFETCH(QString, seen);
        play("show;" + steps, net);
        auto *edit = widget<QLineEdit>("lineEdit");
        const bool shown = edit->toolTip() == edit->text() && selectedFileName == edit->text()
            && edit->cursorPosition() == edit->text().size();
        const QString message = window_->statusBar()->currentMessage();
        QStringList files; // under <w>, those that still hold "ancien" marked
        for (QDirIterator it(work(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            files << QDir().relativeFilePath(path) + (file(path) == "ancien" ? "=ancien" : "");
        }
        files.sort();
        QStringList lines {"events " + events_.join(';'),
                           "shown " + edit->text() + (shown ? "" : " (not whole)"),
                           "after " + (state() == "&Triler 1111" ? "" : state()),
                           "message " + (message.contains(" écrits dans ") ? "" : message),
                           "bar " + bars_.join(' '),
                           "files " + files.join(' '),
                           "debug " + debugLines.join('|'),
                           "opened " + openedUrls_.join(' '),
                           "status " + window_->statusBar()->toolTip()};
        for (const QString &box : boxes_.isEmpty() ? QStringList {""} : boxes_)
            lines << "box " + box; // "box" alone: none
        QStringList seenLines; // of the kinds that `seen` names
        for (const QString &line : lines)
            if (seen.contains(QRegularExpression("(^|\n)" + line.section(' ', 0, 0) + "( |\n|$)")))
                seenLines << QDir::fromNativeSeparators(line.trimmed());
        QCOMPARE(seenLines.join('\n'), place(seen).trimmed());
    }

    // A hundred warnings: three lines, the list in the details, the box within the screen.
    void longList()
    {
        play("browse <w>/n.ndr;triler", "p 1 2 P 1 n\n" + QByteArray("t 1 2\n").repeated(99));
        const QStringList box = boxes_.value(0).split('\n');
        QCOMPARE((box.mid(5, 3) << QString::number(box.size())).join('|'),
                 QString("… et 97 autres messages, dans les détails.||[détails]|108"));
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
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
