#include "firmwareheader.h"

#include <QFileInfo>

#include <cctype>
#include <cstdio>

namespace {

// Nine significant digits give back the same float; a literal without a
// point or an exponent would be an int before the suffix.
QByteArray floatLiteral(Doub value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", double(float(value)));
    QByteArray literal(text);
    if (!literal.contains('.') && !literal.contains('e'))
        literal += ".0";
    return literal + 'f';
}

QByteArray row(const MatDoub &m, Int i)
{
    return "{" + floatLiteral(m[i][0]) + ", " + floatLiteral(m[i][1]) + ", " + floatLiteral(m[i][2]) + "}";
}

} // namespace

QByteArray cIdentifier(const QString &fileName)
{
    QByteArray name = QFileInfo(fileName).completeBaseName().toUtf8();
    for (char &c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80))
            c = '_';
    if (name.isEmpty() || std::isdigit(static_cast<unsigned char>(name[0])))
        name.prepend("mag_");
    return name;
}

QByteArray FirmwareHeader(const QByteArray &name, const QString &sourceFile, Doub Hm,
                          const CalibrationParameters &p)
{
    const QByteArray guard = "TAVRIN_" + name.toUpper() + "_CALIBRATION_H";
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
    for (Int i = 0; i < 3; i++)
        out += "    " + row(p.Ainv, i) + (i < 2 ? ",\n" : "\n");
    out += "};\n\n#endif\n";
    return out;
}
