// --export FORMAT without -o: the file of the format on standard output.
#ifndef TAVRIN_CLI_EXPORTREPORT_H
#define TAVRIN_CLI_EXPORTREPORT_H

#include "reporter.h"

namespace tavrin {

/// Prints the export of the one calibrated file, as its format wrote it.
class ExportReporter : public Reporter {
public:
    Expected<QByteArray> calibrated(const CalibratedFile &file) override;
    void failed(const QString &, const CalibrationRun &) override {}
    void finish(int) override {}
};

} // namespace tavrin

#endif
