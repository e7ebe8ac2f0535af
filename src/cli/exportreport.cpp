#include "exportreport.h"

#include "printable.h"

namespace tavrin {

std::optional<QString> ExportReporter::calibrated(const CalibratedFile &file)
{
    if (!file.exported->refusal.isEmpty())
        return printable(displayName(file.result.path)) + QStringLiteral(": ") + file.exported->refusal;
    out.write(file.exported->bytes);
    return std::nullopt;
}

} // namespace tavrin
