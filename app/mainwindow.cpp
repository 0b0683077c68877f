#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "run/conversion.h"
#include "util/textsink.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStyle>
#include <QUrl>

#include <cstdio>
#include <new>

QString selectedFileName;

MainWindow::FileDialog MainWindow::fileDialog
    = [](QWidget *parent, const QString &caption, const QString &dir, const QString &filter) {
          return QFileDialog::getOpenFileName(parent, caption, dir, filter);
      };

std::function<bool(const QUrl &)> MainWindow::openUrl = &QDesktopServices::openUrl;

// The icon is compiled into this static library, whose resources nothing else would pull in.
static void registerResources()
{
    Q_INIT_RESOURCE(trilette);
}
Q_CONSTRUCTOR_FUNCTION(registerResources)

namespace {

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

/// One line of the run's debug log, as it stands.
void debugLine(const QString &text)
{
    qDebug().noquote() << text;
}

/// Shows the core's progress on the window's bar and its lines in the debug log.
class WindowObserver : public trilette::ConversionObserver
{
public:
    explicit WindowObserver(MainWindow *window)
        : window_(window)
    { }
    void progress(int value) override { window_->setProgressValue(value); }
    void debugLine(const std::string &text) override { ::debugLine(QString::fromStdString(text)); }

private:
    MainWindow *window_;
};

/// Narrows, then shrinks, a widget's font until `text` fits in `room` pixels. The form's fixed
/// geometries suit a narrow dialog font; wider desktop fonts would clip the French texts.
void fitText(QWidget *widget, const QString &text, int room)
{
    QFont font = widget->font();
    if (QFontMetrics(font).horizontalAdvance(text) <= room)
        return;
    font.setStretch(QFont::SemiCondensed);
    const bool points = font.pointSizeF() > 0;
    while (QFontMetrics(font).horizontalAdvance(text) > room) {
        if (points && font.pointSizeF() > 6)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        else if (!points && font.pixelSize() > 8)
            font.setPixelSize(font.pixelSize() - 1);
        else
            break;
    }
    widget->setFont(font);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindowForm)
{
    ui->setupUi(this);
    fitText(ui->label, ui->label->text(), ui->label->width());
    fitText(ui->label_2, ui->label_2->text(), ui->label_2->width());
    const int box = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, ui->checkBox)
        + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, ui->checkBox);
    fitText(ui->checkBox, ui->checkBox->text(), ui->checkBox->width() - box);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::setProgressValue(int value)
{
    ui->progressBar->setValue(value);
}

void MainWindow::on_pushButton_clicked()
{
#ifdef Q_OS_WIN
    const QString startDir = QStringLiteral("C://");
#else
    const QString startDir = QDir::homePath();
#endif
    selectedFileName
        = fileDialog(this, tr("Ouvrir le fichier à triler"), startDir, tr("RdP Tina (*.ndr)"));
    ui->lineEdit->setMaxLength(48);
    ui->lineEdit->setText(selectedFileName);
    setProgressValue(0);
}

void MainWindow::on_lineEdit_editingFinished() { }

void MainWindow::on_commandLinkButton_clicked()
{
    // Qt lets no exception cross its event loop.
    try {
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

        trilette::TextSink traces(stdout);
        WindowObserver observer(this);
        const trilette::ConversionResult result = trilette::convertNet(
            {corePath(selectedFileName), corePath(QDir::currentPath()), corePath(baseName)},
            &traces, &observer);
        if (!result.diagnostics.empty()) {
            QStringList lines;
            for (const trilette::Diagnostic &diagnostic : result.diagnostics.all())
                lines << QString::fromStdString(diagnostic.format());
            QMessageBox box(result.ok() ? QMessageBox::Information : QMessageBox::Warning,
                            result.ok() ? tr("Avertissement") : tr("Erreur"),
                            lines.join(QLatin1Char('\n')), QMessageBox::Ok, this);
            box.exec();
        }

        if (ui->checkBox->isChecked())
            openUrl(QUrl::fromLocalFile(QDir::currentPath()));
    } catch (const std::bad_alloc &) {
        QMessageBox::warning(this, tr("Erreur"), tr("Probleme de memoire !"));
    }
}
