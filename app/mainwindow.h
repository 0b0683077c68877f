#pragma once

#include "run/conversion.h"

#include <QMainWindow>
#include <QString>

#include <functional>

class QCoreApplication;
class QUrl;
template<typename T> class QFutureWatcher;

namespace Ui {
class MainWindowForm;
}

/// Path of the chosen net: the last browse that was not cancelled, or what was typed into the
/// field. The conversion run takes the net from here and from nowhere else.
extern QString selectedFileName;

/// Installs Qt's own French texts (file dialog, box buttons) in `application` and makes French
/// the default locale; false when Qt's catalogue is not installed.
bool installQtFrench(QCoreApplication *application);

/// Trilette's one window: choosing a net, converting it off the GUI thread, and the progress of
/// the conversion.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    /// Asks the user for a net file, as QFileDialog::getOpenFileName does; tests replace it to
    /// answer without a dialog.
    using FileDialog = std::function<QString(QWidget *parent, const QString &caption,
                                             const QString &dir, const QString &filter)>;
    static FileDialog fileDialog;
    /// Opens a folder in the desktop's file browser, as QDesktopServices::openUrl does; tests
    /// replace it to see the folder without launching a browser.
    static std::function<bool(const QUrl &)> openUrl;
    /// The conversion, trilette::convertNet; called on a worker thread. Tests replace it to hold
    /// a run half-way.
    using Converter = std::function<trilette::ConversionResult(
        const trilette::ConversionJob &, trilette::TextSink *, trilette::ConversionObserver *)>;
    static Converter convert;

    explicit MainWindow(QWidget *parent = nullptr);
    /// Waits for a run still going, so that its outputs are written whole.
    ~MainWindow() override;

    /// Moves the progress bar.
    void setProgressValue(int value);
    /// Makes `path` the chosen net and shows it, as typing it into the field would.
    void chooseNet(const QString &path);
    /// Processes events until the conversion run under way, if any, has ended and shown its
    /// outcome.
    void waitForRun();

private slots:
    /// Browse: asks for the net file and shows its path; a cancelled dialog changes nothing.
    void on_pushButton_clicked();
    /// Takes the line edit's editingFinished(): the typed path becomes the chosen net.
    void on_lineEdit_editingFinished();
    /// "Triler": converts the chosen net into TriledFiles (when that folder exists).
    void on_commandLinkButton_clicked();

private:
    struct Outcome;
    /// Shows a finished run's outcome.
    void finishRun(const Outcome &outcome);
    /// Fits the form's texts into their fixed geometries.
    void fitTexts();

    Ui::MainWindowForm *ui;
    /// The run under way, or null.
    QFutureWatcher<Outcome> *run_ = nullptr;
};
