// The workbench's window: the input, Hm and the fit in a dock on the left,
// the views in the middle, the results and the verdict on the right; every
// calibration runs off the window's thread.
#ifndef TAVRIN_WORKBENCH_MAINWINDOW_H
#define TAVRIN_WORKBENCH_MAINWINDOW_H

#include "hmsource.h"
#include "runner.h"
#include "viewdata.h"

#include <QMainWindow>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace Ui {
class MainWindow;
}

namespace tavrin {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    /// Opens a file of measurements, a log when a format is given; a file
    /// that looks like a log asks for its columns first.
    void open(const QString &path, std::optional<LogFormat> log = std::nullopt);
    void setHmSource(const HmSource &source);
    HmSource hmSource() const;
    void setFit(FitModel model);
    FitModel fit() const;
    /// Calibrates the open file again with the current Hm and fit.
    void calibrate();
    /// The calibration shown; empty before the first.
    std::shared_ptr<const Calibration> calibration() const { return shown; }
    Runner &runner() { return work; }
    /// The live capture's panel, in a dock that the Capture menu shows.
    class LivePanel *livePanel() const { return live; }
    /// Shows the live capture's panel and starts capturing from source.
    void startCapture(const QString &source);
    /// Shows the calibration beside the one saved in a .tavrin file; the
    /// dialog, or nullptr when the file was refused.
    class CompareDialog *compareWith(const QString &path);
    /// Writes the work as a .tavrin file; the message, empty on success.
    QString saveTo(const QString &path);
    /// Writes an export of the calibration shown; the message, empty on success.
    QString exportTo(const struct WorkbenchExport &format, const QString &path);

    /// What opens the README's sections of the Help menu; the desktop's
    /// default program unless replaced.
    void setLinkOpener(std::function<bool(const QUrl &)> opener);
    /// The README, installed or in the source tree, at a section's anchor;
    /// empty when it is not found.
    static QUrl readmeSection(const QString &anchor);
    /// The keys of the Help menu's keyboard list, one "keys<TAB>what" a line.
    QString keyboardText() const;

    /// What Quit and closing the window do with work neither saved nor exported.
    enum class UnsavedChoice { Save, Discard, Cancel };
    /// What asks the user; a box unless replaced.
    void setUnsavedConfirmer(std::function<UnsavedChoice()> confirmer);
    /// Whether the calibration shown has been neither saved nor exported.
    bool hasUnsavedWork() const;

signals:
    /// A file was refused, with the message shown.
    void refused(const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setUpChoices();
    void setUpStatusBar();
    void setUpMenus();
    void setUpCapture();
    void setUpKeyboard();
    void connectActions();
    void openDialog(bool asLog);
    void pickColumns();
    void openSaved(const QString &path);
    /// Says why path is refused when it is no regular file; true then.
    bool refusedAsNoRegularFile(const QString &path);
    /// Makes path, read as log says, the input calibrated from now on.
    void showInput(const QString &path, const std::optional<LogFormat> &log);
    /// Asks where and saves; false when it was not saved.
    bool save();
    void compareWith();
    /// Says a problem in the status bar and a box, and to the refused signal.
    void complain(const QString &title, const QString &message);
    void showCalibration(std::shared_ptr<const Calibration> calibration);
    void showRefusal(const CalibrationResult &result);
    void showFitTable(const Calibration &calibration);
    void showHmCheck(const Calibration &calibration);
    void showField();
    void exportDialog(const struct WorkbenchExport &format);
    void showExports();
    void addRecent(const QString &path);
    void fillRecent();
    void readSettings();
    void writeSettings() const;
    /// Writes the settings whenever Hm, its place or the fit change, so that
    /// a crash or a killed session keeps them.
    void keepSettingsAsTheyChange();
    void say(const QString &message);

    std::unique_ptr<Ui::MainWindow> ui;
    Runner work;
    QString inputPath;
    std::optional<LogFormat> logFormat;
    std::shared_ptr<const Calibration> shown;
    QProgressBar *progress = nullptr;
    QPushButton *cancelButton = nullptr;
    QString lastFolder;
    class LivePanel *live = nullptr;
    QList<QAction *> windowShortcuts; ///< the menus' shortcuts, which any field of the window passes on
    std::function<bool(const QUrl &)> linkOpener;
    std::function<UnsavedChoice()> unsavedConfirmer;
    std::weak_ptr<const ViewData> kept; ///< the calibration last saved or exported
};

} // namespace tavrin

#endif
