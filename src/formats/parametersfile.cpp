#include "parametersfile.h"

#include "atomicfile.h"

namespace tavrin {

namespace {

constexpr int fieldWidth = 10;

// Under the field width every write is right-aligned to ten characters, the
// line end included: a line end becomes nine blanks and a line feed.
QByteArray field(const QString &text)
{
    return text.rightJustified(fieldWidth).toUtf8();
}

// A value that fills its field gets one blank before it, so that values in
// counts or nT never run together.
QByteArray valueField(const QString &text)
{
    return text.size() < fieldWidth ? field(text) : ' ' + text.toUtf8();
}

const QByteArray paddedLineEnd = field(QStringLiteral("\n"));

QByteArray row(const QStringList &texts, int first)
{
    return valueField(texts.value(first)) + valueField(texts.value(first + 1)) +
           valueField(texts.value(first + 2)) + paddedLineEnd;
}

// Two lines, as the algebraic fit's citation, so that a reader that counts
// lines finds the values where they always are.
QByteArray robustMethod(const RobustFit &fit)
{
    QByteArray first = QByteArrayLiteral("Method: robust geometric fit of h = A u Hm + b, A ");
    first += fitModelInfo(fit.model).gain;
    first += ", Tukey's biweight loss, " + QByteArray::number(qsizetype(fit.rejected.size())) +
             " points rejected.\n";
    if (fit.model != FitModel::Planar)
        return first +
               "Started from Q. Li and J. G. Griffiths, \"Least squares ellipsoid specific fitting\", "
               "GMP 2004.\n";
    QByteArray normal;
    for (const double c : fit.normal)
        normal += (normal.isEmpty() ? "" : ", ") + QByteArray::number(c, 'f', 4);
    return first + "Along the plane's normal (" + normal + ") the reading is left as measured.\n";
}

} // namespace

QByteArray ParametersFileBytes(const QStringList &texts, const RobustFit *fit)
{
    QByteArray out;
    out += "These calibration parameters have been created with the software Tavrin\n";
    out += "from the KELD Group (https://keld.example.org).\n";
    if (fit) {
        out += robustMethod(*fit);
    } else {
        out += "Method: Q. Li and J. G. Griffiths, \"Least squares ellipsoid specific fitting\",\n";
        out += "Proceedings of Geometric Modeling and Processing 2004, pp. 335-340, "
               "https://doi.org/10.1109/GMAP.2004.1290055\n";
    }
    out += QByteArray(87, '-') + "\n";
    out += "\n";
    out += "The hard iron bias equals:\n";
    out += "\n";
    out += row(texts, 0) + paddedLineEnd;
    out += field(QStringLiteral("The combined matrix equals:")) + paddedLineEnd + paddedLineEnd;
    out += row(texts, 3) + row(texts, 6) + row(texts, 9);
    return out;
}

bool WriteParametersFile(const QString &path, const QStringList &texts, QString *reason, const RobustFit *fit)
{
    return WriteFileAtomically(path, ParametersFileBytes(texts, fit), reason);
}

} // namespace tavrin
