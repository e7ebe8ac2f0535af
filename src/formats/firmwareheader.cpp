#include "firmwareheader.h"

#include "exportsupport.h"
#include "firmwareexports.h"

#include <QFileInfo>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace tavrin {

namespace {

// Nine significant digits give back the same float; a literal without a
// point or an exponent would be an int before the suffix. Written in the C
// locale's syntax whatever the user's locale: a decimal comma would compile
// into other numbers.
QByteArray floatLiteral(double value)
{
    char text[32];
    const char *end =
        std::to_chars(text, text + sizeof text, double(float(value)), std::chars_format::general, 9).ptr;
    QByteArray literal(text, end - text);
    if (!literal.contains('.') && !literal.contains('e'))
        literal += ".0";
    return literal + 'f';
}

QByteArray row(const MatDoub &m, int i)
{
    return "{" + floatLiteral(m[i][0]) + ", " + floatLiteral(m[i][1]) + ", " + floatLiteral(m[i][2]) + "}";
}

// A float keeps the value: finite, and not flushed to zero.
bool isFloat(double value)
{
    const float f = float(value);
    return std::isfinite(f) && (f != 0.0f || value == 0.0);
}

bool allFloats(const MatDoub &m)
{
    for (int i = 0; i < m.nrows(); i++)
        for (int j = 0; j < m.ncols(); j++)
            if (!isFloat(m[i][j]))
                return false;
    return true;
}

} // namespace

QByteArray cIdentifier(const QString &fileName)
{
    const QByteArray base = QFileInfo(fileName).completeBaseName().toUtf8();
    QByteArray name = base;
    for (char &c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80) &&
            c != '_')
            c = '_';
    if (name == base && !name.isEmpty() && std::isalpha(static_cast<unsigned char>(name[0])))
        return name;
    // Changed names could meet ("a b", "a-b"); the original's hash (32-bit
    // FNV-1a) keeps headers of different files apart.
    std::uint32_t hash = 2166136261u;
    for (const char c : base)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    if (name.isEmpty() || !std::isalpha(static_cast<unsigned char>(name[0])))
        name.prepend("mag_");
    return name + '_' + QByteArray::number(hash, 16).rightJustified(8, '0');
}

std::optional<QByteArray> FirmwareHeader(const QByteArray &name, const QString &sourceFile, double Hm,
                                         const CalibrationParameters &p)
{
    if (!isFloat(Hm) || !allFloats(p.Bias) || !allFloats(p.Ainv))
        return std::nullopt;
    // The name's case is kept: Ab and aB are other arrays, and need other guards.
    const QByteArray guard = "TAVRIN_" + name + "_CALIBRATION_H";
    QByteArray out;
    out += "/* Magnetometer calibration made by Tavrin from " + QFileInfo(sourceFile).fileName().toUtf8() +
           ".\n";
    out += " *\n";
    out += " * Calibrate a raw measurement h with h_cal = A^-1 (h - b):\n";
    out += " *   h_cal[i] = sum over j of " + name + "_ainv[i][j] * (h[j] - " + name + "_bias[j])\n";
    out += " * Units: those of the raw measurements, for b and h_cal alike; A^-1 has none.\n";
    out += " * Calibrated measurements lie on the sphere of radius Hm = " + QByteArray::number(Hm, 'g', 17) +
           ",\n";
    out += " * the norm of the local Earth field given for the calibration.\n";
    out += " */\n";
    out += "#ifndef " + guard + "\n#define " + guard + "\n\n";
    out += "static const float " + name + "_hm = " + floatLiteral(Hm) + ";\n";
    out += "static const float " + name + "_bias[3] = {" + floatLiteral(p.Bias[0][0]) + ", " +
           floatLiteral(p.Bias[1][0]) + ", " + floatLiteral(p.Bias[2][0]) + "};\n";
    out += "static const float " + name + "_ainv[3][3] = {\n";
    for (int i = 0; i < 3; i++)
        out += "    " + row(p.Ainv, i) + (i < 2 ? ",\n" : "\n");
    out += "};\n\n";
    // The function also uses every array, so that a file that includes the
    // header and reads only some of them compiles without warnings.
    out += "/* h_cal = A^-1 (h - b), in the units of h; |h_cal| is about " + name + "_hm. */\n";
    out += "static inline void " + name + "_calibrate(const float h[3], float h_cal[3])\n{\n";
    out += "    const float d[3] = {h[0] - " + name + "_bias[0], h[1] - " + name + "_bias[1], h[2] - " +
           name + "_bias[2]};\n";
    out += "    int i;\n";
    out += "    for (i = 0; i < 3; i++)\n";
    out += "        h_cal[i] = " + name + "_ainv[i][0] * d[0] + " + name + "_ainv[i][1] * d[1] + " + name +
           "_ainv[i][2] * d[2];\n";
    out += "    (void)" + name + "_hm;\n}\n\n#endif\n";
    return out;
}

QString floatOverflowMessage()
{
    return QStringLiteral(
        "The calibration cannot be exported as C floats: a value lies beyond what a float holds.");
}

Expected<ExportResult> writeCHeader(const ExportInput &in)
{
    const QString source = in.sourceFile.isEmpty() ? QStringLiteral("calibration") : in.sourceFile;
    const std::optional<QByteArray> header =
        FirmwareHeader(cIdentifier(source), source, in.hm, in.parameters);
    if (!header)
        return exportsupport::exportRefusal(floatOverflowMessage());
    return ExportResult{*header, {}};
}

} // namespace tavrin
