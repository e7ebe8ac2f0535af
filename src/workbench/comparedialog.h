// File > Compare With: the calibration shown beside one saved in a .tavrin
// file, their b and A and the differences, and each one's norm error on the
// other's data, the saved one's data read again off the window's thread.
#ifndef TAVRIN_WORKBENCH_COMPAREDIALOG_H
#define TAVRIN_WORKBENCH_COMPAREDIALOG_H

#include "runner.h"
#include "savedwork.h"

#include <QDialog>
#include <QFutureWatcher>

#include <atomic>
#include <memory>

class QLabel;
class QTableWidget;

namespace tavrin {

/// b, A and A^-1 of a result object as tavrin-cli --json prints it; empty
/// when it holds none.
std::optional<CalibrationParameters> parametersOf(const QJsonObject &result);

/// RMS over the points of |A^-1 (h - b)| - hm.
double rmsNormError(Points points, const CalibrationParameters &parameters, double hm);

class CompareDialog : public QDialog {
    Q_OBJECT
public:
    CompareDialog(std::shared_ptr<const Calibration> current, const SavedWork &other,
                  const CalibrationParameters &otherParameters, QWidget *parent = nullptr);
    ~CompareDialog() override;

    QTableWidget *table() const { return values; }

signals:
    void crossChecked();

private:
    void showCross(const CalibrationResult &otherData);

    std::shared_ptr<const Calibration> current;
    SavedWork other;
    CalibrationParameters otherParameters;
    QTableWidget *values;
    QLabel *cross;
    std::atomic<bool> cancel{false};
    QFutureWatcher<CalibrationResult> reading;
};

} // namespace tavrin

#endif
