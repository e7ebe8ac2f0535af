#include "headerreport.h"

#include "firmwareheader.h"
#include "printable.h"

namespace tavrin {

Expected<QByteArray> HeaderReporter::calibrated(const CalibratedFile &file)
{
    const std::optional<QByteArray> header =
        FirmwareHeader(uniqueName(file.result.path), file.result.path, hm, file.result.run.parameters);
    if (!header)
        return Expected<QByteArray>::failure(printable(file.result.path) + QStringLiteral(": ") +
                                             floatOverflowMessage() +
                                             QStringLiteral(" Use --json for its full precision."));
    return *header;
}

QByteArray HeaderReporter::uniqueName(const QString &path)
{
    const QByteArray base = cIdentifier(path);
    QByteArray name = base;
    for (int n = 2; names.contains(name); n++)
        name = base + '_' + QByteArray::number(n);
    names.insert(name);
    return name;
}

} // namespace tavrin
