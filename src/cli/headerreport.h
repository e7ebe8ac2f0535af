// --export c: the calibration of each file as a C header for firmware.
#ifndef TAVRIN_CLI_HEADERREPORT_H
#define TAVRIN_CLI_HEADERREPORT_H

#include "reporter.h"

#include <QByteArray>
#include <QSet>

namespace tavrin {

/// One guarded header per file; several go into one file, so every name is
/// used once.
class HeaderReporter : public Reporter {
public:
    explicit HeaderReporter(double hm) : hm(hm) {}

    Expected<QByteArray> calibrated(const CalibratedFile &file) override;
    void failed(const QString &, const CalibrationRun &) override {}
    void finish(int) override {}

private:
    QByteArray uniqueName(const QString &path);

    double hm;
    QSet<QByteArray> names;
};

} // namespace tavrin

#endif
