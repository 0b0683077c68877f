#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "util/textsink.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QToolTip>
#include <QTranslator>
#include <QUrl>
#include <QtConcurrent>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <new>

QString selectedFileName;

MainWindow::FileDialog MainWindow::fileDialog
    = [](QWidget *parent, const QString &caption, const QString &dir, const QString &filter) {
          return QFileDialog::getOpenFileName(parent, caption, dir, filter);
      };

MainWindow::FolderDialog MainWindow::folderDialog
    = [](QWidget *parent, const QString &caption, const QString &dir) {
          return QFileDialog::getExistingDirectory(parent, caption, dir);
      };

std::function<bool(const QUrl &)> MainWindow::openUrl = &QDesktopServices::openUrl;

MainWindow::Converter MainWindow::convert = &trilette::convertNet;

int MainWindow::progressInterval = 33; // about 30 moves a second at most

int MainWindow::lostFolderTimeout = 10000;

// The icon is compiled into this static library, whose resources nothing else would pull in.
static void registerResources()
{
    Q_INIT_RESOURCE(trilette);
}
Q_CONSTRUCTOR_FUNCTION(registerResources)

/// What a run hands back to the GUI thread: the core's result, and what the window needs to
/// report it.
struct MainWindow::Outcome
{
    trilette::ConversionResult result;
    bool outOfMemory = false;
    QString netName;
    QString baseName;
    QString programName;
    QString folder;
};

bool installQtFrench(QCoreApplication *application)
{
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    auto *translator = new QTranslator(application);
    return translator->load(QStringLiteral("qtbase_fr"),
                            QLibraryInfo::location(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(translator);
}

namespace {

/// Diagnostics shown in a box's text; the whole list is behind its details button.
constexpr int boxLines = 3;

/// The window's settings, kept between sessions.
QSettings settings()
{
    return QSettings(QStringLiteral("Trilette"), QStringLiteral("trilette"));
}
const QString outputFolderKey = QStringLiteral("outputFolder");
const QString netFolderKey = QStringLiteral("lastNetFolder");

/// "3 erreurs, 27 avertissements, 5 notes": the counts that are not zero.
QString countsText(const trilette::Diagnostics &diagnostics)
{
    QStringList counts;
    const auto add = [&](trilette::Severity severity, const QString &one, const QString &many) {
        const int n = diagnostics.count(severity);
        if (n > 0)
            counts << (n == 1 ? one : many.arg(n));
    };
    add(trilette::Severity::Error, MainWindow::tr("1 erreur"), MainWindow::tr("%1 erreurs"));
    add(trilette::Severity::Warning, MainWindow::tr("1 avertissement"),
        MainWindow::tr("%1 avertissements"));
    add(trilette::Severity::Note, MainWindow::tr("1 note"), MainWindow::tr("%1 notes"));
    return counts.join(QLatin1String(", "));
}

/// What each entry of "Langage de sortie" writes, in the entries' order.
constexpr trilette::OutputFormat entryFormats[]
    = {trilette::OutputFormat::St, trilette::OutputFormat::Pou, trilette::OutputFormat::PlcOpen};

/// A path as the core's file functions take it: UTF-8 on Windows, Qt's file name encoding
/// elsewhere.
std::string corePath(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toStdString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

/// One line of the run's debug log, as it stands. Qt's message handling is thread-safe.
void debugLine(const QString &text)
{
    qDebug().noquote() << text;
}

/// The net that a typed path names: surrounding blanks dropped, a dropped file's URL or a "~"
/// for the home folder understood, a relative path taken from `folder`. Made absolute, so that
/// a later run in TriledFiles still finds it.
QString typedPath(const QString &typed, const QString &folder)
{
    QString path = typed.trimmed();
    if (path.startsWith(QLatin1String("file:"))) {
        const QUrl url(path);
        if (url.isLocalFile())
            path = url.toLocalFile();
    }
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    return path.isEmpty() ? path : QFileInfo(QDir(folder), path).absoluteFilePath();
}

/// Shows the core's progress on the window's bar, from the run's threads, at most once every
/// MainWindow::progressInterval; passes the window's cancel on, and the run's lines to the debug
/// log.
class WindowObserver : public trilette::ConversionObserver
{
public:
    WindowObserver(MainWindow *window, const std::atomic<bool> *cancel)
        : window_(window)
        , cancel_(cancel)
    { }
    void progress(int value) override
    {
        if (value < 100 && shown_.isValid() && shown_.elapsed() < MainWindow::progressInterval)
            return;
        shown_.start();
        QMetaObject::invokeMethod(
            window_, [window = window_, value] { window->setProgressValue(value); },
            Qt::QueuedConnection);
    }
    void debugLine(const std::string &text) override { ::debugLine(QString::fromStdString(text)); }
    bool cancelled() override { return cancel_->load(); }

private:
    MainWindow *window_;
    const std::atomic<bool> *cancel_;
    QElapsedTimer shown_;
};

/// Narrows, then shrinks, a widget's font until `text` fits in `room`. The form's fixed
/// geometries suit a narrow dialog font at 96 dots per inch; wider or larger desktop fonts would
/// clip the French texts.
void fitText(QWidget *widget, QString text, const QSize &room)
{
    text.remove(QLatin1Char('&')); // the mnemonic's marker is drawn as an underline
    const auto fits = [&](const QFont &font) {
        const QFontMetrics metrics(font);
        return metrics.horizontalAdvance(text) <= room.width()
            && metrics.tightBoundingRect(text).height() <= room.height();
    };
    QFont font = widget->font();
    if (fits(font))
        return;
    font.setStretch(QFont::SemiCondensed);
    const bool points = font.pointSizeF() > 0;
    while (!fits(font)) {
        if (points && font.pointSizeF() > 6)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        else if (!points && font.pixelSize() > 8)
            font.setPixelSize(font.pixelSize() - 1);
        else
            break;
    }
    widget->setFont(font);
}

/// Where a closed combo box's style draws its text.
QRect comboTextRect(const QStyle *style, const QStyleOptionComboBox *option, const QWidget *widget)
{
    return style->subControlRect(QStyle::CC_ComboBox, option, QStyle::SC_ComboBoxEditField, widget)
        .adjusted(1, 0, -1, 0);
}

QSize comboTextRoom(QComboBox *combo)
{
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    return comboTextRect(combo->style(), &option, combo).size();
}

/// Draws the text of a closed combo box without an icon elided at its right, where the base
/// style would cut it off in the middle of a letter; and a focus frame on a command link button,
/// which the base styles draw flat, with no mark of the focus.
class WindowStyle : public QProxyStyle
{
public:
    /// Over the application's style.
    WindowStyle()
        : QProxyStyle(QApplication::style()->objectName())
    { }
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        if (element == CE_PushButton && qobject_cast<const QCommandLinkButton *>(widget)) {
            QProxyStyle::drawControl(element, option, painter, widget);
            if (option->state & State_HasFocus) {
                painter->save();
                painter->setRenderHint(QPainter::Antialiasing);
                painter->setPen(QPen(option->palette.color(QPalette::Highlight), 1.5));
                painter->setBrush(Qt::NoBrush);
                painter->drawRoundedRect(QRectF(option->rect).adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
                painter->restore();
            }
            return;
        }
        const auto *combo = qstyleoption_cast<const QStyleOptionComboBox *>(option);
        if (element != CE_ComboBoxLabel || !combo || combo->editable
            || !combo->currentIcon.isNull()) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        // Elided only beyond the room as fitText measures it: elidedText would take a text
        // that fitText has fitted for a fraction of a pixel too wide.
        const int room = comboTextRect(this, combo, widget).width();
        QStyleOptionComboBox elided = *combo;
        if (combo->fontMetrics.horizontalAdvance(combo->currentText) > room)
            elided.currentText
                = combo->fontMetrics.elidedText(combo->currentText, Qt::ElideRight, room);
        QProxyStyle::drawControl(element, &elided, painter, widget);
    }
};

/// `files` followed by `folder`, shortened to `room` pixels: the folder loses its start while
/// its last component still shows, else the whole message loses its middle.
QString fitMessage(const QString &files, const QString &folder, const QFont &font, int room)
{
    const QFontMetrics metrics(font);
    QString message = files + folder;
    if (metrics.horizontalAdvance(message) <= room)
        return message;
    const int folderRoom = room - metrics.horizontalAdvance(files);
    const QString last = QStringLiteral("…") + QDir::separator() + QFileInfo(folder).fileName();
    if (folderRoom >= metrics.horizontalAdvance(last))
        return files + metrics.elidedText(folder, Qt::ElideLeft, folderRoom);
    return metrics.elidedText(message, Qt::ElideMiddle, room);
}

/// Where a button's style draws its text.
QSize textRoom(QAbstractButton *button, QStyle::SubElement element)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(element, &option, button).size();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindowForm)
{
    ui->setupUi(this);
    fitTexts();
    statusBar()->setSizeGripEnabled(false);
    // The status bar says where the runs write, and which files a run wrote: in the small type
    // of the check box above it, so that a folder's path has room.
    statusBar()->setFont(ui->checkBox->font());
    folderLabel_ = new QLabel(statusBar());
    statusBar()->addWidget(folderLabel_, 1);
    chosenOutputFolder_ = settings().value(outputFolderKey).toString();
    // A folder that has gone since (a removed USB stick, a renamed folder) is forgotten, and the
    // user is told where the outputs go instead.
    if (!chosenOutputFolder_.isEmpty() && !QFileInfo(chosenOutputFolder_).isDir()) {
        lostFolder_ = chosenOutputFolder_;
        chosenOutputFolder_.clear();
        settings().remove(outputFolderKey);
    }
    // In a main window Enter presses a focused button only when it is an "auto default" one.
    ui->pushButton->setAutoDefault(true);
    ui->commandLinkButton->setAutoDefault(true);
    ui->pushButton->setToolTip(tr("Choisir le réseau à triler (Alt+P)"));
    lockForRun(false);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &MainWindow::cancelRun);
    for (QWidget *w : {static_cast<QWidget *>(ui->lineEdit),
                       static_cast<QWidget *>(ui->progressBar), static_cast<QWidget *>(ui->line)})
        stretched_.emplace_back(w, w->geometry());
    for (QWidget *w :
         {static_cast<QWidget *>(ui->pushButton), static_cast<QWidget *>(ui->commandLinkButton)})
        moved_.emplace_back(w, w->geometry());

    // The closed combo box has room for a format's name, not for "ST (programme complet)": that
    // one shows elided, whole in the tooltip and in the list, which is as wide as its entries.
    QComboBox *combo = ui->comboBox;
    auto *style = new WindowStyle;
    style->setParent(this); // outlives the widgets that it draws
    combo->setStyle(style);
    ui->commandLinkButton->setStyle(style);
    combo->setToolTip(combo->currentText());
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), combo, [combo](int index) {
        combo->setToolTip(combo->itemText(index));
        // A tooltip on show follows an entry chosen with the keyboard or the wheel.
        if (QToolTip::isVisible() && combo->underMouse())
            QToolTip::showText(QCursor::pos(), combo->toolTip(), combo);
    });
    // Styles whose list is no pop-up menu, Windows' among them, make it as wide as the box.
    combo->view()->setMinimumWidth(combo->sizeHint().width());
    showOutputFolder();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (lostFolder_.isEmpty())
        return;
    // Shown once the status bar's widgets are, so that the message hides the output folder
    // until it times out and the default folder shows.
    const QString folder = QDir::toNativeSeparators(lostFolder_);
    lostFolder_.clear();
    const QString lost = tr("Dossier de sortie introuvable : ");
    statusBar()->showMessage(fitMessage(lost, folder, statusBar()->font(), width() - 18),
                             lostFolderTimeout);
    statusBar()->setToolTip(tr("Le dossier de sortie « %1 » n'existe plus : les fichiers vont "
                               "dans le dossier par défaut, %2")
                                .arg(folder, QDir::toNativeSeparators(outputFolder())));
}

MainWindow::~MainWindow()
{
    abandonRun();
    delete ui;
}

QString MainWindow::outputFolder() const
{
    if (!chosenOutputFolder_.isEmpty())
        return chosenOutputFolder_;
    const QString triled = QDir::current().filePath(QStringLiteral("TriledFiles"));
    return QFileInfo(triled).isDir() ? triled : QDir::currentPath();
}

void MainWindow::showOutputFolder()
{
    const QString folder = QDir::toNativeSeparators(outputFolder());
    folderLabel_->setText(fitMessage(tr("Sortie : "), folder, statusBar()->font(), width() - 18));
    folderLabel_->setToolTip(folder);
}

void MainWindow::lockForRun(bool running)
{
    ui->pushButton->setEnabled(!running);
    ui->lineEdit->setReadOnly(running);
    ui->comboBox->setEnabled(!running);
    ui->checkBox->setEnabled(!running);
    ui->actionOpen->setEnabled(!running);
    ui->actionOutputFolder->setEnabled(!running);
    ui->actionDefaultFolder->setEnabled(!running && !chosenOutputFolder_.isEmpty());
    ui->commandLinkButton->setText(running ? tr("Ann&uler") : tr("&Triler"));
    ui->commandLinkButton->setToolTip(running ? tr("Arrêter la conversion (Échap)")
                                              : tr("Triler le réseau choisi (Alt+T)"));
}

void MainWindow::cancelRun()
{
    if (!run_)
        return;
    cancel_ = true;
    statusBar()->showMessage(tr("Annulation..."));
}

void MainWindow::abandonRun()
{
    if (!run_)
        return;
    cancel_ = true;
    run_->disconnect(this);
    run_->waitForFinished();
    delete run_;
    run_ = nullptr;
    lockForRun(false);
    QApplication::restoreOverrideCursor();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (run_) {
        // The user sees the window go at once; the run stops at its next check, which a nested
        // loop waits for without blocking the GUI thread.
        cancel_ = true;
        run_->disconnect(this);
        hide();
        QEventLoop loop;
        connect(run_, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        if (!run_->isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        abandonRun();
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    const int wider = std::max(0, width() - minimumWidth());
    for (const auto &[w, geometry] : stretched_)
        w->setGeometry(geometry.adjusted(0, 0, wider, 0));
    for (const auto &[w, geometry] : moved_)
        w->setGeometry(geometry.translated(wider, 0));
    showOutputFolder();
}

void MainWindow::fitTexts()
{
    for (QLabel *label : {ui->label, ui->label_2})
        fitText(label, label->text(), label->contentsRect().size());
    fitText(ui->checkBox, ui->checkBox->text(),
            textRoom(ui->checkBox, QStyle::SE_CheckBoxContents));
    fitText(ui->pushButton, ui->pushButton->text(),
            textRoom(ui->pushButton, QStyle::SE_PushButtonContents));
    // The widest format's name, "PLCopen XML", shows whole; no readable font would fit
    // "ST (programme complet)".
    fitText(ui->comboBox, ui->comboBox->itemText(2), comboTextRoom(ui->comboBox));
}

void MainWindow::setProgressValue(int value)
{
    ui->progressBar->setValue(value);
}

void MainWindow::chooseNet(const QString &path)
{
    // A name typed over the chosen net's path is looked for beside it.
    const QString chosen
        = typedPath(path,
                    selectedFileName.isEmpty() ? QDir::currentPath()
                                               : QFileInfo(selectedFileName).absolutePath());
    if (ui->lineEdit->text() != chosen)
        ui->lineEdit->setText(chosen);
    ui->lineEdit->setCursorPosition(chosen.size());
    ui->lineEdit->setToolTip(chosen);
    if (chosen != selectedFileName) {
        selectedFileName = chosen;
        setProgressValue(0);
    }
}

void MainWindow::waitForRun()
{
    while (run_)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void MainWindow::on_pushButton_clicked()
{
    QString startDir = QFileInfo(selectedFileName).absolutePath();
    if (selectedFileName.isEmpty() || !QFileInfo(startDir).isDir())
        startDir = settings().value(netFolderKey).toString();
    if (startDir.isEmpty() || !QFileInfo(startDir).isDir()) {
#ifdef Q_OS_WIN
        startDir = QStringLiteral("C://");
#else
        startDir = QDir::homePath();
#endif
    }
    const QString answer
        = fileDialog(this, tr("Ouvrir le fichier à triler"), startDir, tr("RdP Tina (*.ndr)"));
    if (answer.isEmpty())
        return;
    chooseNet(answer);
    settings().setValue(netFolderKey, QFileInfo(selectedFileName).absolutePath());
    setProgressValue(0);
}

void MainWindow::on_lineEdit_editingFinished()
{
    chooseNet(ui->lineEdit->text());
}

void MainWindow::on_lineEdit_returnPressed()
{
    if (!run_)
        on_commandLinkButton_clicked();
}

void MainWindow::on_actionOutputFolder_triggered()
{
    const QString folder = folderDialog(this, tr("Dossier de sortie"), outputFolder());
    if (folder.isEmpty())
        return;
    chosenOutputFolder_ = QDir(folder).absolutePath();
    settings().setValue(outputFolderKey, chosenOutputFolder_);
    ui->actionDefaultFolder->setEnabled(true);
    statusBar()->clearMessage();
    showOutputFolder();
}

void MainWindow::on_actionDefaultFolder_triggered()
{
    chosenOutputFolder_.clear();
    settings().remove(outputFolderKey);
    ui->actionDefaultFolder->setEnabled(false);
    statusBar()->clearMessage();
    showOutputFolder();
}

void MainWindow::on_actionAbout_triggered()
{
    QMessageBox::about(this, tr("À propos de Trilette"),
                       tr("<p><b>Trilette %1</b></p><p>Traduit les réseaux de Petri dessinés "
                          "avec Tina (fichiers .ndr) en programmes IEC 61131-3 : Structured "
                          "Text ou PLCopen XML.</p>")
                           .arg(QStringLiteral(TRILETTE_VERSION)));
}

void MainWindow::on_commandLinkButton_clicked()
{
    if (run_) {
        if (runStarted_.elapsed() >= QApplication::doubleClickInterval())
            cancelRun();
        return;
    }
    // Qt lets no exception cross its event loop.
    try {
        // Triler pressed from the keyboard leaves the focus in the field: take what it shows.
        chooseNet(ui->lineEdit->text());
        setProgressValue(0);
        qDebug() << selectedFileName;
        debugLine(selectedFileName.isEmpty() ? QStringLiteral("Ex.ndr") : selectedFileName);
        const QString baseName = QString::fromStdString(
            trilette::baseNameFor(QFileInfo(selectedFileName).fileName().toStdString()));
        debugLine(QString());
        debugLine(QString());
        if (selectedFileName.isEmpty()) {
            QMessageBox::warning(this, tr("Erreur"), tr("Aucun fichier choisi"));
            return;
        }
        debugLine(baseName + QLatin1String(".log"));
        settings().setValue(netFolderKey, QFileInfo(selectedFileName).absolutePath());

        showOutputFolder();
        statusBar()->clearMessage();
        statusBar()->setToolTip(QString());

        Outcome start;
        start.netName = QFileInfo(selectedFileName).fileName();
        start.baseName = baseName;
        start.folder = outputFolder();
        trilette::ConversionJob job {corePath(selectedFileName), corePath(start.folder),
                                     corePath(baseName)};
        job.format = entryFormats[std::clamp(ui->comboBox->currentIndex(), 0,
                                             int(std::size(entryFormats)) - 1)];
        start.programName
            = QString::fromStdString(trilette::programFileName(baseName.toStdString(), job.format));
        // Locking a focused control moves the focus on; it comes back when the run ends, unless
        // the user has moved it meanwhile.
        const QPointer<QWidget> focus = QApplication::focusWidget();
        lockForRun(true);
        const QPointer<QWidget> movedTo = QApplication::focusWidget();
        // Busy, not waiting: the window still answers, and "Annuler" stops the run.
        QApplication::setOverrideCursor(Qt::BusyCursor);

        cancel_ = false;
        runStarted_.start();
        run_ = new QFutureWatcher<Outcome>(this);
        connect(run_, &QFutureWatcherBase::finished, this, [this, focus, movedTo] {
            QFutureWatcher<Outcome> *finished = run_;
            run_ = nullptr;
            finished->deleteLater();
            lockForRun(false);
            QApplication::restoreOverrideCursor();
            if (focus && QApplication::focusWidget() == movedTo)
                focus->setFocus();
            finishRun(finished->result());
        });
        run_->setFuture(QtConcurrent::run([this, job, start, convert = convert, traces = traces_] {
            Outcome outcome = start;
            try {
                std::unique_ptr<trilette::TextSink> sink;
                if (traces)
                    sink = std::make_unique<trilette::TextSink>(stdout);
                WindowObserver observer(this, &cancel_);
                outcome.result = convert(job, sink.get(), &observer);
            } catch (const std::bad_alloc &) {
                outcome.outOfMemory = true;
            }
            return outcome;
        }));
    } catch (const std::bad_alloc &) {
        QMessageBox::warning(this, tr("Erreur"), tr("Problème de mémoire !"));
    }
}

void MainWindow::finishRun(const Outcome &outcome)
{
    const trilette::ConversionResult &result = outcome.result;
    // A run that wrote nothing leaves the bar empty, ready for the next.
    if (outcome.outOfMemory || !result.written)
        setProgressValue(0);
    if (outcome.outOfMemory) {
        QMessageBox::warning(this, tr("Erreur"), tr("Problème de mémoire !"));
        return;
    }
    if (result.cancelled) {
        statusBar()->showMessage(tr("Conversion annulée"));
        return;
    }

    if (result.written) {
        const QString folder = QDir::toNativeSeparators(outcome.folder);
        const QString files
            = tr("%1 et %2 écrits dans ")
                  .arg(outcome.baseName + QLatin1String(".log"), outcome.programName);
        statusBar()->showMessage(fitMessage(files, folder, statusBar()->font(), width() - 18));
        statusBar()->setToolTip(files + folder);
    }

    // Notes say how the net was written (a name that a complete program renames, a place served
    // in file order), not that anything is wrong: alone they open no box, else they come last.
    const trilette::Diagnostics &diagnostics = result.diagnostics;
    if (diagnostics.hasErrors() || diagnostics.count(trilette::Severity::Warning) > 0) {
        // Errors first: they say why nothing was written, and must not drown among warnings.
        QStringList lines;
        for (trilette::Severity severity :
             {trilette::Severity::Error, trilette::Severity::Warning, trilette::Severity::Note})
            for (const trilette::Diagnostic &diagnostic : diagnostics.all())
                if (diagnostic.severity == severity)
                    lines << QDir::toNativeSeparators(QString::fromStdString(diagnostic.format()));
        // The summary and the first lines, each cut to a few lines' length, keep the box small
        // whatever the list holds; the whole list is behind the details button, scrollable and
        // selectable.
        QStringList first;
        for (const QString &line : lines.mid(0, boxLines))
            first << (line.size() > 240 ? line.left(239) + QStringLiteral("…") : line);
        const int more = lines.size() - boxLines;
        if (more > 0)
            first << (more == 1 ? tr("… et 1 autre message, dans les détails.")
                                : tr("… et %1 autres messages, dans les détails.").arg(more));
        const bool failed = !result.ok();
        const QString counts = countsText(diagnostics);
        const QString heading = failed
            ? tr("Le réseau « %1 » n'a pas été trilé : %2.").arg(outcome.netName, counts)
            : tr("Le réseau « %1 » a été trilé, avec %2.").arg(outcome.netName, counts);
        QMessageBox box(failed ? QMessageBox::Warning : QMessageBox::Information,
                        failed ? tr("Erreur") : tr("Avertissement"), heading, QMessageBox::Ok,
                        this);
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(first.join(QLatin1Char('\n')));
        if (auto *informative
            = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
            informative->setTextFormat(Qt::PlainText);
        if (more > 0)
            box.setDetailedText(lines.join(QLatin1Char('\n')));
        box.exec();
    }

    if (result.written && ui->checkBox->isChecked()
        && !openUrl(QUrl::fromLocalFile(outcome.folder)))
        statusBar()->showMessage(
            tr("Impossible d'ouvrir le dossier : aucun gestionnaire de fichiers n'a répondu"));
}
