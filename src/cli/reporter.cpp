#include "reporter.h"

#include "exportreport.h"
#include "headerreport.h"
#include "jsonreport.h"
#include "textreport.h"

namespace tavrin {

std::unique_ptr<Reporter> makeReporter(const CliOptions &options, Stream &out)
{
    if (options.json)
        return std::make_unique<JsonReporter>(out, options);
    if (options.exportC())
        return std::make_unique<HeaderReporter>(out, options.hm);
    if (options.exportsToStandardOutput())
        return std::make_unique<ExportReporter>(out);
    return std::make_unique<TextReporter>(out, options.hm);
}

} // namespace tavrin
