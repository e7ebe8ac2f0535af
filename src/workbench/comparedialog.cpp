#include "comparedialog.h"
#include "normerrors.h"
#include "printable.h"
#include "resultstext.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace tavrin {

std::optional<CalibrationParameters> parametersOf(const QJsonObject &result)
{
    const QJsonArray bias = result["bias"].toArray(), A = result["A"].toArray(),
                     Ainv = result["Ainv"].toArray();
    if (bias.size() != 3 || A.size() != 3 || Ainv.size() != 3)
        return std::nullopt;
    CalibrationParameters p{MatDoub(3, 1), MatDoub(3, 3), MatDoub(3, 3)};
    for (int i = 0; i < 3; i++) {
        p.Bias[i][0] = bias[i].toDouble(NAN);
        for (int j = 0; j < 3; j++) {
            p.A[i][j] = A[i].toArray()[j].toDouble(NAN);
            p.Ainv[i][j] = Ainv[i].toArray()[j].toDouble(NAN);
        }
    }
    return p.finite() ? std::optional<CalibrationParameters>(p) : std::nullopt;
}

double rmsNormError(Points points, const CalibrationParameters &parameters, double hm)
{
    QualityReport judged;
    judged.hm = hm;
    const FigureData figure{QString(), hm, points, parameters, judged, nullptr};
    const PointErrors errors = normErrors(figure);
    double squares = 0.0;
    for (const double e : errors.after)
        squares += e * e;
    return errors.after.empty() ? 0.0 : std::sqrt(squares / double(errors.after.size()));
}

CompareDialog::CompareDialog(std::shared_ptr<const Calibration> shown, const SavedWork &saved,
                             const CalibrationParameters &savedParameters, QWidget *parent)
    : QDialog(parent), current(std::move(shown)), other(saved), otherParameters(savedParameters)
{
    setWindowTitle(tr("Compare with %1").arg(printable(other.input)));
    auto *layout = new QVBoxLayout(this);
    // Which calibration is which: each side's file and the model that fitted it.
    const CalibrationRun &run = current->result->run;
    const QString savedModel = other.result.value(QStringLiteral("fitChosen")).toString();
    auto *sides = new QLabel(
        tr("Shown: %1, %2 fit.\nSaved: %3, %4 fit.")
            .arg(printable(current->result->path), QLatin1String(fitModelName(run.model)),
                 printable(other.input),
                 savedModel.isEmpty() ? QLatin1String(fitModelName(other.fit)) : printable(savedModel)),
        this);
    sides->setObjectName(QStringLiteral("sides"));
    sides->setWordWrap(true);
    sides->setTextFormat(Qt::PlainText);
    sides->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(sides);
    values = new QTableWidget(12, 3, this);
    values->setHorizontalHeaderLabels({tr("Shown"), tr("Saved"), tr("Saved - shown")});
    values->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QStringList names;
    for (int i = 1; i <= 3; i++)
        names << QStringLiteral("b%1").arg(i);
    for (int i = 1; i <= 3; i++)
        for (int j = 1; j <= 3; j++)
            names << QStringLiteral("A%1%2").arg(i).arg(j);
    values->setVerticalHeaderLabels(names);
    const std::array<double, 12> mine = run.parameters.values(), theirs = otherParameters.values();
    // Six significant digits to read, every digit in the tool tip.
    for (int row = 0; row < 12; row++) {
        const double cells[] = {mine[size_t(row)], theirs[size_t(row)],
                                theirs[size_t(row)] - mine[size_t(row)]};
        for (int column = 0; column < 3; column++) {
            auto *item = new QTableWidgetItem(shownNumber(cells[column]));
            item->setToolTip(fullPrecision(cells[column]));
            values->setItem(row, column, item);
        }
    }
    values->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(values, 1);
    cross = new QLabel(tr("Reading the saved calibration's data…"), this);
    cross->setWordWrap(true);
    cross->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(cross);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(&reading, &QFutureWatcherBase::finished, this, [this] { showCross(reading.result()); });
    const Input input = Input::file(other.input, other.log);
    CalibrationOptions options;
    options.hm = other.hmValue;
    options.fit = other.fit;
    RunControl control;
    control.cancel = &cancel;
    control.threads = workerThreads();
    reading.setFuture(
        QtConcurrent::run([input, options, control] { return runCalibration(input, options, control); }));
    resize(720, 560);
}

CompareDialog::~CompareDialog()
{
    cancel.store(true);
    reading.waitForFinished();
}

void CompareDialog::showCross(const CalibrationResult &otherData)
{
    const CalibrationResult &mine = *current->result;
    const double hm = current->options.hm;
    const QString unit = unitName(*current);
    QString text = tr("Norm error RMS on the shown data: shown calibration %1 %3, saved calibration %2 %3.")
                       .arg(shownNumber(rmsNormError(mine.run.raw.points(), mine.run.parameters, hm)),
                            shownNumber(rmsNormError(mine.run.raw.points(), otherParameters, hm)), unit);
    if (otherData.run.raw.numLines > 0)
        text +=
            QLatin1Char('\n') +
            tr("Norm error RMS on the saved calibration's data: saved calibration %1 %3, shown calibration "
               "%2 %3.")
                .arg(
                    shownNumber(rmsNormError(otherData.run.raw.points(), otherParameters, other.hmValue)),
                    shownNumber(rmsNormError(otherData.run.raw.points(), mine.run.parameters, other.hmValue)),
                    unit);
    else
        text += QLatin1Char('\n') + tr("The saved calibration's data could not be read again.");
    cross->setText(text);
    emit crossChecked();
}

} // namespace tavrin
