#include "headerreport.h"

#include "firmwareheader.h"
#include "printable.h"

namespace tavrin {

std::optional<QString> HeaderReporter::calibrated(const CalibratedFile &file)
{
    const std::optional<QByteArray> header =
        FirmwareHeader(uniqueName(file.result.path), file.result.path, hm, file.result.run.parameters);
    if (!header)
        return printable(file.result.path) + QStringLiteral(": ") + floatOverflowMessage() +
               QStringLiteral(" Use --json for its full precision.");
    out.write(*header);
    return std::nullopt;
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
