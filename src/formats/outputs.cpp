#include "outputs.h"

#include "atomicfile.h"
#include "calibratedfile.h"
#include "parametersfile.h"
#include "rawdata.h"

#include <QFileInfo>

namespace tavrin {

namespace {

class Writer {
public:
    // Records target as failed unless written.
    void check(const QString &target, bool written, QString message, const QString &reason)
    {
        if (written)
            return;
        if (!reason.isEmpty())
            message += QStringLiteral(" (%1)").arg(reason);
        failures.append({target, message});
    }

    QList<WriteFailure> failures;
};

} // namespace

QList<WriteFailure> writeOutputs(const CalibrationResult &result, double hm, const OutputTargets &targets,
                                 const Expected<ExportResult> *exported, FigureWriter writeFigure)
{
    const CalibrationRun &run = result.run;
    Writer w;
    if (!targets.parameters.isEmpty() && exported) {
        QString reason;
        w.check(targets.parameters,
                *exported && WriteFileAtomically(targets.parameters, (*exported)->bytes, &reason),
                *exported ? QStringLiteral("The export could not be saved.") : exported->error(), reason);
    } else if (!targets.parameters.isEmpty()) {
        QString reason;
        w.check(
            targets.parameters,
            WriteParametersFile(targets.parameters, ResultTexts(run.parameters), &reason, run.robustFit()),
            errorMessage(CalibrationError::CannotSave), reason);
    }
    if (!targets.calibrated.isEmpty()) {
        QString reason;
        w.check(targets.calibrated,
                WriteFileAtomically(targets.calibrated,
                                    CalibratedPointsBytes(run.raw.points(), run.parameters), &reason),
                QStringLiteral("The calibrated measurements could not be saved."), reason);
    }
    if (!targets.figure.isEmpty()) {
        const FigureData figure{QFileInfo(displayName(result.path)).fileName(),
                                hm,
                                run.raw.points(),
                                run.parameters,
                                result.quality,
                                run.robustFit()};
        QString reason;
        w.check(targets.figure, writeFigure(targets.figure, figure, &reason),
                QStringLiteral("The figure could not be saved."), reason);
    }
    return w.failures;
}

bool ShowsValuesAsZero(const CalibrationParameters &p)
{
    const QStringList texts = ResultTexts(p);
    const std::array<double, 12> values = p.values();
    for (size_t k = 0; k < values.size(); k++)
        if (values[k] != 0.0 && texts[int(k)].toDouble() == 0.0)
            return true;
    return false;
}

} // namespace tavrin
