#include "exportreport.h"

#include "printable.h"

namespace tavrin {

Expected<QByteArray> ExportReporter::calibrated(const CalibratedFile &file)
{
    if (!file.exported->refusal.isEmpty())
        return Expected<QByteArray>::failure(printable(displayName(file.result.path)) + QStringLiteral(": ") +
                                             file.exported->refusal);
    return file.exported->bytes;
}

} // namespace tavrin
