#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>

class QUrl;

namespace Ui {
class MainWindowForm;
}

/// Path of the net chosen by the last browse; empty after a cancelled dialog. The conversion
/// run takes the net from here and from nowhere else.
extern QString selectedFileName;

/// Trilette's one window: choosing a net, converting it, and the progress of the conversion.
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

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    /// Moves the progress bar.
    void setProgressValue(int value);

private slots:
    /// Browse: asks for the net file and shows its path.
    void on_pushButton_clicked();
    /// Takes the line edit's editingFinished(): a typed path is never used.
    void on_lineEdit_editingFinished();
    /// "Triler": converts the chosen net into TriledFiles (when that folder exists).
    void on_commandLinkButton_clicked();

private:
    Ui::MainWindowForm *ui;
};
