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
    void setVisible(bool visible) override;
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
    /// An export that carries a warning is written only once the confirmer agrees.
    QString exportTo(const struct WorkbenchExport &format, const QString &path);
    /// Why the results shown no longer belong to the input, its reading, Hm
    /// and the fit; empty while they do.
    QString staleReason() const { return stale.join(QStringLiteral("; ")); }
    /// Asks a question before a write that carries warnings; true to go on.
    using Confirmer = std::function<bool(const QString &title, const QString &question)>;
    void setConfirmer(Confirmer ask) { confirm = std::move(ask); }

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
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setUpChoices();
    void setUpStatusBar();
    void setUpMenus();
    void setUpCapture();
    void setUpLayout();
    /// Sizes the docks for the window's width when no saved layout did.
    void arrangeDocks();
    /// Whether the results are docked beside the views.
    bool resultsBeside() const;
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
    /// The views drawn from a calibration, in the order of their tabs.
    std::vector<class ViewWidget *> figureViews() const;
    void revealAxes(const Calibration &calibration);
    /// Shows a view's tab that was hidden, with room for it in the bar.
    void showViewTab(int index);
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
    /// The results no longer match what the window would calibrate: greyed,
    /// with the reason in the banner, until a run of the new settings shows.
    void markStale(const QString &what, const QString &value = QString());
    /// Empties the results: their input was refused.
    void clearResults(const QString &why);
    /// Greys or restores the results, and allows Save and Export only for
    /// results that are current.
    void showStaleness();
    void showBanner();
    /// The run's warnings and the exports', where the user looks.
    void showWarnings();
    /// The current settings changed: marks the results out of date.
    void watchSettings();

    std::unique_ptr<Ui::MainWindow> ui;
    Runner work;
    QString inputPath;
    std::optional<LogFormat> logFormat;
    std::shared_ptr<const Calibration> shown;
    QProgressBar *progress = nullptr;
    QPushButton *cancelButton = nullptr;
    QString lastFolder;
    class LivePanel *live = nullptr;
    QStringList stale; ///< the changes since the results' run, each named once
    /// Counts the changes of the settings; a run is current when it was
    /// started with the count the window still has.
    int settingsCount = 0, runCount = 0;
    QStringList exportWarnings; ///< of the exports of the results shown
    Confirmer confirm;
    bool layoutRestored = false;
    bool docksArranged = false;
    /// The results' share of the window's width, taken at shareWidth.
    double resultsShare = 0;
    int shareWidth = 0;
    QList<QAction *> windowShortcuts; ///< the menus' shortcuts, which any field of the window passes on
    std::function<bool(const QUrl &)> linkOpener;
    std::function<UnsavedChoice()> unsavedConfirmer;
    std::weak_ptr<const ViewData> kept; ///< the calibration last saved or exported
};

} // namespace tavrin

#endif
