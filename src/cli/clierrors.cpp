#include "clierrors.h"

#include "clirun.h"

namespace tavrin {

QString cliErrorMessage(CalibrationError error)
{
    if (error == CalibrationError::ColumnsNotFound)
        return QStringLiteral("The columns named with --columns are not in the header.");
    return errorMessage(error);
}

int exitStatusOf(CalibrationError error)
{
    if (error == CalibrationError::NumericalFailure)
        return NumericalFailure;
    if (error == CalibrationError::ColumnsNotFound)
        return WrongCommandLine;
    return Refused;
}

} // namespace tavrin
