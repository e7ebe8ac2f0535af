// A MATLAB script in the convention of magcal: C = (D - b) * A with the
// readings as rows of D, so A is the transpose of A^-1 (the same matrix when
// it is symmetric) and b is a row; no unit conversion.
#include "exportsupport.h"
#include "firmwareexports.h"

#include <QRegularExpression>

namespace tavrin {

using namespace exportsupport;

namespace {

// The numbers of a MATLAB matrix literal, rows ended by ';' or a line end.
std::optional<std::vector<std::vector<double>>> matrixRows(const QString &literal)
{
    std::vector<std::vector<double>> rows;
    for (const QString &row : literal.split(QRegularExpression(QStringLiteral("[;\\n]")))) {
        const QStringList items =
            row.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
        if (items.isEmpty())
            continue;
        std::vector<double> values;
        for (const QString &item : items) {
            const std::optional<double> value = finiteNumber(item.toLatin1());
            if (!value)
                return std::nullopt;
            values.push_back(*value);
        }
        rows.push_back(values);
    }
    return rows;
}

// The literal of the last assignment to name, "name = [ ... ]", as MATLAB
// keeps the last value; an error when that assignment is not a literal alone,
// or sets elements by index.
struct Assigned {
    QString literal;
    QString error;
};
Assigned assigned(const QString &script, const char *name)
{
    const QLatin1String n(name);
    QRegularExpressionMatchIterator all =
        QRegularExpression(QStringLiteral("(?:^|[\\s;,])%1\\s*(\\([^)]*\\))?\\s*=(?!=)").arg(n))
            .globalMatch(script);
    QRegularExpressionMatch last;
    while (all.hasNext())
        last = all.next();
    if (!last.hasMatch())
        return {};
    if (!last.captured(1).isEmpty())
        return {{},
                QStringLiteral("The script sets elements of %1; it must assign %1 = [...] whole.").arg(n)};
    const QRegularExpressionMatch literal =
        QRegularExpression(QStringLiteral("\\s*\\[([^\\]]*)\\][ \\t]*(?:[;,\\n]|$)"))
            .match(script, last.capturedEnd(), QRegularExpression::NormalMatch,
                   QRegularExpression::AnchorAtOffsetMatchOption);
    if (!literal.hasMatch())
        return {{}, QStringLiteral("The script's last assignment to %1 is no matrix [...] alone.").arg(n)};
    return {literal.captured(1), {}};
}

} // namespace

Expected<ExportResult> writeMatlab(const ExportInput &in)
{
    const CalibrationParameters &p = in.parameters;
    double bias[3], a[3][3];
    for (int i = 0; i < 3; i++) {
        bias[i] = p.Bias[i][0];
        for (int j = 0; j < 3; j++)
            a[i][j] = p.Ainv[j][i];
    }
    const double biasScale = std::max(largest(bias, 3), in.hm);
    const double matrixScale = largest(&a[0][0], 9);
    ExportResult result;
    result.bytes = commentLines(
        "%", {QStringLiteral("Magnetometer calibration made by Tavrin from %1, in the convention of MATLAB's "
                             "magcal:")
                  .arg(sourceName(in.sourceFile)),
              QStringLiteral("C = (D - b) * A, with D an N-by-3 matrix of raw readings, one per row;"),
              QStringLiteral("every row of C then has the norm expmfs. Units: those of the measurements.")});
    result.bytes += "b = [" + decimalText(bias[0], biasScale) + ' ' + decimalText(bias[1], biasScale) + ' ' +
                    decimalText(bias[2], biasScale) + "];\nA = [";
    for (int i = 0; i < 3; i++)
        result.bytes += decimalText(a[i][0], matrixScale) + ' ' + decimalText(a[i][1], matrixScale) + ' ' +
                        decimalText(a[i][2], matrixScale) + (i < 2 ? "; " : "];\n");
    result.bytes += "expmfs = " + decimalText(in.hm, in.hm) + ";\n";
    return result;
}

Expected<ReadCorrection> readMatlab(const QByteArray &text, int)
{
    QString script;
    for (const Line &line : splitLines(text)) {
        const qsizetype comment = line.text.indexOf('%');
        script += QString::fromUtf8(comment < 0 ? line.text : line.text.left(comment)) + '\n';
    }
    const Assigned bText = assigned(script, "b"), aText = assigned(script, "A");
    for (const Assigned &text : {bText, aText})
        if (!text.error.isEmpty())
            return readFailure(text.error);
    const std::optional<std::vector<std::vector<double>>> b = matrixRows(bText.literal);
    const std::optional<std::vector<std::vector<double>>> a = matrixRows(aText.literal);
    if (!b || b->size() != 1 || (*b)[0].size() != 3)
        return readFailure(QStringLiteral("The script does not set b = [bx by bz]."));
    if (!a || a->size() != 3 || (*a)[0].size() != 3 || (*a)[1].size() != 3 || (*a)[2].size() != 3)
        return readFailure(QStringLiteral("The script does not set A to a 3-by-3 matrix."));
    // A row reading times A is A's transpose times the column.
    FirmwareCorrection c;
    for (int i = 0; i < 3; i++) {
        c.offset[i] = (*b)[0][size_t(i)];
        for (int j = 0; j < 3; j++)
            c.matrix[i][j] = (*a)[size_t(j)][size_t(i)];
    }
    return ReadCorrection{c, {}, {}};
}

} // namespace tavrin
