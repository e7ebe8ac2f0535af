// Every export at a glance: each format with its note, the text it would
// write for the compass chosen, a Copy button for pasting it into a
// firmware's console, and Save.
#ifndef TAVRIN_WORKBENCH_EXPORTDIALOG_H
#define TAVRIN_WORKBENCH_EXPORTDIALOG_H

#include "exports.h"

#include <QDialog>

#include <memory>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tavrin {

class ExportDialog : public QDialog {
    Q_OBJECT
public:
    ExportDialog(std::shared_ptr<const Calibration> calibration, QWidget *parent = nullptr);

    /// Shows a format, by its row in workbenchExports().
    void select(int row);
    QString shownText() const;

private slots:
    /// Takes the ids typed for the shown format: remembers them and shows
    /// the text with them, or says why they are refused.
    void takeIds();

signals:
    /// Save was pressed for this format.
    void saveAsked(const WorkbenchExport &format);

private:
    std::shared_ptr<const Calibration> calibration;
    QTableWidget *formats;
    QPlainTextEdit *preview;
    QLabel *problem;
    QPushButton *copy, *save;
    QWidget *idsRow;
    QLineEdit *deviceId, *systemId, *componentId;
    QLabel *deviceLabel, *systemLabel, *componentLabel;
    QSpinBox *compass;
    QLabel *compassLabel;

    void makeFormatsTable(QWidget *parent);
    void makeIdsRow();
    void showText();
};

} // namespace tavrin

#endif
