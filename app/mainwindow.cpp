#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "util/textsink.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProxyStyle>
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

std::function<bool(const QUrl &)> MainWindow::openUrl = &QDesktopServices::openUrl;

MainWindow::Converter MainWindow::convert = &trilette::convertNet;

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

/// Diagnostics shown in a box; the rest are counted.
constexpr int boxLines = 20;

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

/// Shows the core's progress on the window's bar, from the run's thread, and its lines in the
/// debug log.
class WindowObserver : public trilette::ConversionObserver
{
public:
    explicit WindowObserver(MainWindow *window)
        : window_(window)
    { }
    void progress(int value) override
    {
        QMetaObject::invokeMethod(
            window_, [window = window_, value] { window->setProgressValue(value); },
            Qt::QueuedConnection);
    }
    void debugLine(const std::string &text) override { ::debugLine(QString::fromStdString(text)); }

private:
    MainWindow *window_;
};

/// Narrows, then shrinks, a widget's font until `text` fits in `room`. The form's fixed
/// geometries suit a narrow dialog font at 96 dots per inch; wider or larger desktop fonts would
/// clip the French texts.
void fitText(QWidget *widget, const QString &text, const QSize &room)
{
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
/// style would cut it off in the middle of a letter.
class ElidingComboStyle : public QProxyStyle
{
public:
    /// Over the application's style.
    ElidingComboStyle()
        : QProxyStyle(QApplication::style()->objectName())
    { }
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
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
    // The status bar says which files a run wrote and where: in the small type of the check box
    // above it, so that a folder's path has room.
    statusBar()->setFont(ui->checkBox->font());
    // In a main window Enter presses a focused button only when it is an "auto default" one.
    ui->pushButton->setAutoDefault(true);
    ui->commandLinkButton->setAutoDefault(true);
    ui->pushButton->setShortcut(QKeySequence(Qt::ALT + Qt::Key_P));
    ui->commandLinkButton->setShortcut(QKeySequence(Qt::ALT + Qt::Key_T));
    ui->pushButton->setToolTip(tr("Choisir le réseau à triler (Alt+P)"));
    ui->commandLinkButton->setToolTip(tr("Triler le réseau choisi (Alt+T)"));

    // The closed combo box has room for a format's name, not for "ST (programme complet)": that
    // one shows elided, whole in the tooltip and in the list, which is as wide as its entries.
    QComboBox *combo = ui->comboBox;
    auto *style = new ElidingComboStyle;
    style->setParent(this); // outlives the combo box, which it draws
    combo->setStyle(style);
    combo->setToolTip(combo->currentText());
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), combo, [combo](int index) {
        combo->setToolTip(combo->itemText(index));
        // A tooltip on show follows an entry chosen with the keyboard or the wheel.
        if (QToolTip::isVisible() && combo->underMouse())
            QToolTip::showText(QCursor::pos(), combo->toolTip(), combo);
    });
    // Styles whose list is no pop-up menu, Windows' among them, make it as wide as the box.
    combo->view()->setMinimumWidth(combo->sizeHint().width());
}

MainWindow::~MainWindow()
{
    if (run_) {
        run_->disconnect(this);
        run_->waitForFinished();
        QApplication::restoreOverrideCursor();
    }
    delete ui;
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
    if (selectedFileName.isEmpty() || !QFileInfo(startDir).isDir()) {
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
    setProgressValue(0);
}

void MainWindow::on_lineEdit_editingFinished()
{
    chooseNet(ui->lineEdit->text());
}

void MainWindow::on_commandLinkButton_clicked()
{
    if (run_)
        return;
    // Qt lets no exception cross its event loop.
    try {
        // Triler pressed from the keyboard leaves the focus in the field: take what it shows.
        chooseNet(ui->lineEdit->text());
        setProgressValue(0);
        qDebug() << selectedFileName;
        setProgressValue(5);
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

        QDir::setCurrent(QDir::current().filePath(QStringLiteral("TriledFiles")));
        setProgressValue(10);
        statusBar()->clearMessage();
        statusBar()->setToolTip(QString());

        Outcome start;
        start.netName = QFileInfo(selectedFileName).fileName();
        start.baseName = baseName;
        start.folder = QDir::currentPath();
        trilette::ConversionJob job {corePath(selectedFileName), corePath(start.folder),
                                     corePath(baseName)};
        job.format = entryFormats[std::clamp(ui->comboBox->currentIndex(), 0,
                                             int(std::size(entryFormats)) - 1)];
        start.programName
            = QString::fromStdString(trilette::programFileName(baseName.toStdString(), job.format));
        // Disabling the focused button moves the focus on; it comes back when the run ends,
        // unless the user has moved it meanwhile.
        const QPointer<QWidget> focus = QApplication::focusWidget();
        ui->commandLinkButton->setEnabled(false);
        ui->pushButton->setEnabled(false);
        ui->lineEdit->setReadOnly(true);
        const QPointer<QWidget> movedTo = QApplication::focusWidget();
        QApplication::setOverrideCursor(Qt::WaitCursor);

        run_ = new QFutureWatcher<Outcome>(this);
        connect(run_, &QFutureWatcherBase::finished, this, [this, focus, movedTo] {
            QFutureWatcher<Outcome> *finished = run_;
            run_ = nullptr;
            finished->deleteLater();
            ui->commandLinkButton->setEnabled(true);
            ui->pushButton->setEnabled(true);
            ui->lineEdit->setReadOnly(false);
            QApplication::restoreOverrideCursor();
            if (focus && QApplication::focusWidget() == movedTo)
                focus->setFocus();
            finishRun(finished->result());
        });
        run_->setFuture(QtConcurrent::run([this, job, start, convert = convert] {
            Outcome outcome = start;
            try {
                trilette::TextSink traces(stdout);
                WindowObserver observer(this);
                outcome.result = convert(job, &traces, &observer);
            } catch (const std::bad_alloc &) {
                outcome.outOfMemory = true;
            }
            return outcome;
        }));
    } catch (const std::bad_alloc &) {
        QMessageBox::warning(this, tr("Erreur"), tr("Probleme de memoire !"));
    }
}

void MainWindow::finishRun(const Outcome &outcome)
{
    if (outcome.outOfMemory) {
        QMessageBox::warning(this, tr("Erreur"), tr("Probleme de memoire !"));
        return;
    }
    const trilette::ConversionResult &result = outcome.result;

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
        const int more = lines.size() - boxLines;
        if (more > 0) {
            lines.erase(lines.begin() + boxLines, lines.end());
            lines << (more == 1 ? tr("… et 1 autre message.")
                                : tr("… et %1 autres messages.").arg(more));
        }
        const bool failed = !result.ok();
        const QString heading = failed
            ? tr("Le réseau « %1 » n'a pas été trilé :").arg(outcome.netName)
            : tr("Le réseau « %1 » a été trilé, avec ces remarques :").arg(outcome.netName);
        QMessageBox box(failed ? QMessageBox::Warning : QMessageBox::Information,
                        failed ? tr("Erreur") : tr("Avertissement"),
                        heading + QLatin1String("\n\n") + lines.join(QLatin1Char('\n')),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }

    if (ui->checkBox->isChecked())
        openUrl(QUrl::fromLocalFile(outcome.folder));
}
