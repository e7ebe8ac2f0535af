#include "reporter.h"

#include "clierrors.h"
#include "exportreport.h"
#include "headerreport.h"
#include "jsonreport.h"
#include "textreport.h"

#include <QCoreApplication>

namespace tavrin {

ReportWords cliWords()
{
    return {QStringLiteral("try --fit %1")};
}

Expected<QByteArray> TextReporter::calibrated(const CalibratedFile &file)
{
    const QByteArray report =
        (reported ? QByteArray("\n") : QByteArray()) + CalibrationReport(file.result, hm, cliWords());
    reported = true;
    return report;
}

Expected<QByteArray> JsonReporter::calibrated(const CalibratedFile &file)
{
    QJsonObject result = JsonResult(file.result, options.hm, cliWords());
    if (file.exported)
        result.insert("warnings", QJsonArray::fromStringList(
                                      file.result.warnings +
                                      (*file.exported ? (*file.exported)->warnings : QStringList())));
    if (!file.writeErrors.isEmpty())
        result.insert("writeErrors", file.writeErrors);
    files.append(result);
    return QByteArray();
}

void JsonReporter::failed(const QString &path, const CalibrationRun &run)
{
    files.append(JsonFailure(displayName(path), run, cliErrorMessage(*run.error)));
}

void JsonReporter::finish(int exitStatus)
{
    out.write(JsonDocument(QCoreApplication::applicationName(), QCoreApplication::applicationVersion(),
                           options.hm, files, exitStatus,
                           options.hmAt ? JsonHmSource(options.hmSource, *options.hmAt, options.year)
                                        : QJsonObject()));
}

std::unique_ptr<Reporter> makeReporter(const CliOptions &options, Stream &out)
{
    if (options.json)
        return std::make_unique<JsonReporter>(out, options);
    if (options.exportC())
        return std::make_unique<HeaderReporter>(options.hm);
    if (options.exportsToStandardOutput())
        return std::make_unique<ExportReporter>();
    return std::make_unique<TextReporter>(options.hm);
}

} // namespace tavrin
