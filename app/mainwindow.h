#pragma once

#include "run/conversion.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <atomic>
#include <functional>
#include <utility>
#include <vector>

class QCoreApplication;
class QLabel;
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
    /// Asks the user for a folder, as QFileDialog::getExistingDirectory does; tests replace it.
    using FolderDialog
        = std::function<QString(QWidget *parent, const QString &caption, const QString &dir)>;
    static FolderDialog folderDialog;
    /// Opens a folder in the desktop's file browser, as QDesktopServices::openUrl does; tests
    /// replace it to see the folder without launching a browser.
    static std::function<bool(const QUrl &)> openUrl;
    /// The conversion, trilette::convertNet; called on a worker thread. Tests replace it to hold
    /// a run half-way.
    using Converter = std::function<trilette::ConversionResult(
        const trilette::ConversionJob &, trilette::TextSink *, trilette::ConversionObserver *)>;
    static Converter convert;
    /// The least time between two moves of the bar, in milliseconds; tests set 0 to see every
    /// value of a run.
    static int progressInterval;
    /// How long the status bar says that the kept output folder has gone, in milliseconds.
    static int lostFolderTimeout;

    explicit MainWindow(QWidget *parent = nullptr);
    /// Stops a run still going and waits for it: it writes nothing.
    ~MainWindow() override;

    /// Moves the progress bar.
    void setProgressValue(int value);
    /// Makes `path` the chosen net and shows it, as typing it into the field would.
    void chooseNet(const QString &path);
    /// Processes events until the conversion run under way, if any, has ended and shown its
    /// outcome.
    void waitForRun();
    /// Whether the runs print the reader's traces on standard output (`trilette --traces`).
    void setTraces(bool on) { traces_ = on; }
    /// Where the next run writes: the folder chosen in the menu, else TriledFiles of the current
    /// directory when it exists, else the current directory.
    QString outputFolder() const;

protected:
    /// Hides the window at once; a run under way is told to stop, and the window waits for it
    /// hidden, answering events, before it closes.
    void closeEvent(QCloseEvent *event) override;
    /// Says, once, that the kept output folder had gone and has been forgotten.
    void showEvent(QShowEvent *event) override;
    /// Stretches the field, the bar and the separator, and keeps the buttons at the right.
    void resizeEvent(QResizeEvent *event) override;

private slots:
    /// Browse: asks for the net file and shows its path; a cancelled dialog changes nothing.
    void on_pushButton_clicked();
    /// Takes the line edit's editingFinished(): the typed path becomes the chosen net.
    void on_lineEdit_editingFinished();
    /// Enter in the field converts the net it names.
    void on_lineEdit_returnPressed();
    /// "Triler" converts the chosen net into the output folder; during a run, "Annuler" stops it,
    /// unless clicked within a double-click's time of the start: the second click of a
    /// double-click on "Triler".
    void on_commandLinkButton_clicked();
    /// Fichier > Dossier de sortie...: chooses the folder of the outputs, kept between sessions.
    void on_actionOutputFolder_triggered();
    /// Fichier > Dossier par défaut: forgets the chosen folder.
    void on_actionDefaultFolder_triggered();
    /// Aide > À propos: the program and its version.
    void on_actionAbout_triggered();

private:
    struct Outcome;
    /// Shows a finished run's outcome.
    void finishRun(const Outcome &outcome);
    /// Fits the form's texts into their fixed geometries.
    void fitTexts();
    /// Asks the run under way to stop at its next block.
    void cancelRun();
    /// Stops the run under way, if any, and waits for it without showing its outcome.
    void abandonRun();
    /// Shows the output folder in the status bar.
    void showOutputFolder();
    /// Locks the choices that a run has taken (or unlocks them), and turns "Triler" into
    /// "Annuler".
    void lockForRun(bool running);

    Ui::MainWindowForm *ui;
    /// The run under way, or null.
    QFutureWatcher<Outcome> *run_ = nullptr;
    /// Started with the run under way.
    QElapsedTimer runStarted_;
    /// Set to stop the run under way; read by its threads.
    std::atomic<bool> cancel_ {false};
    bool traces_ = false;
    /// The folder chosen in the menu; empty for the default.
    QString chosenOutputFolder_;
    /// The kept output folder found gone at the start, until the status bar says so.
    QString lostFolder_;
    QLabel *folderLabel_ = nullptr;
    /// The form's geometries at the default width: the widgets that a wider window stretches,
    /// and those that it moves to the right.
    std::vector<std::pair<QWidget *, QRect>> stretched_, moved_;
};
