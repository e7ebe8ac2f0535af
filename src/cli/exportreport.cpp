#include "exportreport.h"

#include "printable.h"

namespace tavrin {

Expected<QByteArray> ExportReporter::calibrated(const CalibratedFile &file)
{
    if (!*file.exported)
        return Expected<QByteArray>::failure(printable(displayName(file.result.path)) + QStringLiteral(": ") +
                                             file.exported->error());
    return (*file.exported)->bytes;
}

} // namespace tavrin
