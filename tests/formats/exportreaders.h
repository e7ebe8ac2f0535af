// Readers of the export formats written in the tests from each firmware's
// formula, independent of the exporters: each parses a file, checks its
// syntax rules, and applies it as the firmware would.
#ifndef TAVRIN_TESTS_EXPORTREADERS_H
#define TAVRIN_TESTS_EXPORTREADERS_H

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QRegularExpression>

#include <array>
#include <cmath>
#include <functional>

using Vec3 = std::array<double, 3>;
/// A measurement in the firmware's unit to the corrected field in that unit.
using Firmware = std::function<Vec3(const Vec3 &)>;

inline Vec3 times(const double m[3][3], const Vec3 &v)
{
    Vec3 out{};
    for (int i = 0; i < 3; i++)
        out[size_t(i)] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return out;
}

inline double norm(const Vec3 &v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

inline QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> out = text.split('\n');
    EXPECT_TRUE(text.endsWith('\n')) << "the last line has its line end";
    out.removeLast();
    return out;
}

inline double number(const QByteArray &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    EXPECT_TRUE(ok) << text.constData();
    EXPECT_FALSE(text.contains('e') || text.contains('E')) << "no exponent: " << text.constData();
    return value;
}

inline long long integer(const QByteArray &text)
{
    EXPECT_TRUE(QRegularExpression("^-?[0-9]+$").match(QString::fromLatin1(text)).hasMatch())
        << "an integer: " << text.constData();
    return text.toLongLong();
}

/// NAME,VALUE lines and whole-line # comments; h = M (s (h + OFS)), in mG.
/// The device id parameter, when the file sets it, is an integer, put in *device.
inline Firmware ardupilot(const QByteArray &text, const QByteArray &ofs, const QByteArray &dia,
                          const QByteArray &odi, const QByteArray &scale, const QByteArray &deviceName = {},
                          long long *device = nullptr)
{
    QMap<QByteArray, double> p;
    for (const QByteArray &line : lines(text)) {
        if (line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split(',');
        EXPECT_EQ(fields.size(), 2) << line.constData();
        EXPECT_FALSE(fields[0].startsWith("COMPASS2_") || fields[0].startsWith("COMPASS3_"));
        if (fields[0] == deviceName && device)
            *device = integer(fields.value(1));
        else
            p[fields[0]] = number(fields.value(1));
    }
    EXPECT_EQ(p.size(), 10);
    const double M[3][3] = {{p[dia + "_X"], p[odi + "_X"], p[odi + "_Y"]},
                            {p[odi + "_X"], p[dia + "_Y"], p[odi + "_Z"]},
                            {p[odi + "_Y"], p[odi + "_Z"], p[dia + "_Z"]}};
    const Vec3 offsets{p[ofs + "_X"], p[ofs + "_Y"], p[ofs + "_Z"]};
    const double s = p[scale];
    EXPECT_EQ(s, 1.0);
    return [=](const Vec3 &h) {
        const Vec3 shifted{s * (h[0] + offsets[0]), s * (h[1] + offsets[1]), s * (h[2] + offsets[2])};
        return times(M, shifted);
    };
}

/// A comment line, then vehicle, component, NAME, VALUE, type separated by
/// tabs: type 9, a 32-bit float, but for prefix + "ID", an integer of type 6
/// put in *device; h = S (h - OFF), in G.
inline Firmware px4(const QByteArray &text, const QByteArray &prefix, const QByteArray &vehicle = "1",
                    const QByteArray &component = "1", long long *device = nullptr)
{
    QMap<QByteArray, double> p;
    const QList<QByteArray> all = lines(text);
    EXPECT_TRUE(all.value(0).startsWith('#'));
    for (const QByteArray &line : all) {
        if (line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        EXPECT_EQ(fields.size(), 5) << line.constData();
        EXPECT_EQ(fields.value(0), vehicle);
        EXPECT_EQ(fields.value(1), component);
        if (device && fields.value(2) == prefix + "ID") {
            EXPECT_EQ(fields.value(4), "6");
            *device = integer(fields.value(3));
            continue;
        }
        EXPECT_EQ(fields.value(4), "9");
        p[fields.value(2)] = number(fields.value(3));
    }
    EXPECT_EQ(p.size(), 9);
    const double S[3][3] = {{p[prefix + "XSCALE"], p[prefix + "XODIAG"], p[prefix + "YODIAG"]},
                            {p[prefix + "XODIAG"], p[prefix + "YSCALE"], p[prefix + "ZODIAG"]},
                            {p[prefix + "YODIAG"], p[prefix + "ZODIAG"], p[prefix + "ZSCALE"]}};
    const Vec3 off{p[prefix + "XOFF"], p[prefix + "YOFF"], p[prefix + "ZOFF"]};
    return [=](const Vec3 &h) { return times(S, {h[0] - off[0], h[1] - off[1], h[2] - off[2]}); };
}

/// % comments, b = [..]; A = [..; ..; ..]; expmfs = ..; and C = (D - b) A.
inline Firmware matlab(const QByteArray &text, double *expmfs)
{
    QList<double> b, A;
    for (const QByteArray &line : lines(text)) {
        if (line.startsWith('%'))
            continue;
        const QRegularExpressionMatch m =
            QRegularExpression("^(\\w+) = \\[?([^\\]]*)\\]?;$").match(QString::fromLatin1(line));
        EXPECT_TRUE(m.hasMatch()) << line.constData();
        QList<double> values;
        for (const QString &item : m.captured(2).split(QRegularExpression("[ ;]+")))
            values << number(item.toLatin1());
        if (m.captured(1) == "b")
            b = values;
        else if (m.captured(1) == "A")
            A = values;
        else if (m.captured(1) == "expmfs")
            *expmfs = values.value(0);
        else
            ADD_FAILURE() << line.constData();
    }
    EXPECT_EQ(b.size(), 3);
    EXPECT_EQ(A.size(), 9);
    return [=](const Vec3 &h) {
        Vec3 c{};
        for (int j = 0; j < 3; j++)
            for (int i = 0; i < 3; i++)
                c[size_t(j)] += (h[size_t(i)] - b.value(i)) * A.value(3 * i + j);
        return c;
    };
}

/// set magzero_x = N ..., set maggain_x = N ..., save; out_i = (raw_i - zero_i) 1024 / gain_i.
inline Firmware inav(const QByteArray &text, long long zero[3], long long gain[3])
{
    const QList<QByteArray> all = lines(text);
    EXPECT_EQ(all.value(all.size() - 1), "save");
    QMap<QString, long long> p;
    for (const QByteArray &line : all.mid(0, all.size() - 1)) {
        if (line.startsWith('#'))
            continue;
        const QRegularExpressionMatch m =
            QRegularExpression("^set (mag(zero|gain)_[xyz]) = (.*)$").match(QString::fromLatin1(line));
        EXPECT_TRUE(m.hasMatch()) << line.constData();
        p[m.captured(1)] = integer(m.captured(3).toLatin1());
    }
    EXPECT_EQ(p.size(), 6);
    for (int i = 0; i < 3; i++) {
        zero[i] = p[QStringLiteral("magzero_") + "xyz"[i]];
        gain[i] = p[QStringLiteral("maggain_") + "xyz"[i]];
    }
    const Vec3 z{double(zero[0]), double(zero[1]), double(zero[2])};
    const Vec3 g{double(gain[0]), double(gain[1]), double(gain[2])};
    return [=](const Vec3 &h) {
        return Vec3{(h[0] - z[0]) * 1024 / g[0], (h[1] - z[1]) * 1024 / g[1], (h[2] - z[2]) * 1024 / g[2]};
    };
}

/// set mag_calibration = X,Y,Z then save; out = raw - mag_calibration.
inline Firmware betaflight(const QByteArray &text, long long offsets[3])
{
    const QList<QByteArray> all = lines(text);
    EXPECT_EQ(all.value(all.size() - 1), "save");
    int settings = 0;
    for (const QByteArray &line : all.mid(0, all.size() - 1)) {
        if (line.startsWith('#'))
            continue;
        EXPECT_TRUE(line.startsWith("set mag_calibration = ")) << line.constData();
        const QList<QByteArray> values = line.mid(22).split(',');
        EXPECT_EQ(values.size(), 3);
        for (int i = 0; i < 3; i++)
            offsets[i] = integer(values.value(i));
        settings++;
    }
    EXPECT_EQ(settings, 1);
    const Vec3 o{double(offsets[0]), double(offsets[1]), double(offsets[2])};
    return [=](const Vec3 &h) { return Vec3{h[0] - o[0], h[1] - o[1], h[2] - o[2]}; };
}

/// {"mag_hardiron": [3], "mag_softiron": [9], "mag_field": F}; m = S (h - hardiron), in uT.
inline Firmware sensorJson(const QByteArray &text, double *field)
{
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(text, &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError);
    const QJsonArray hard = o["mag_hardiron"].toArray(), soft = o["mag_softiron"].toArray();
    EXPECT_EQ(hard.size(), 3);
    EXPECT_EQ(soft.size(), 9);
    *field = o["mag_field"].toDouble();
    double S[3][3];
    for (int k = 0; k < 9; k++)
        S[k / 3][k % 3] = soft[k].toDouble();
    const Vec3 b{hard[0].toDouble(), hard[1].toDouble(), hard[2].toDouble()};
    return [=](const Vec3 &h) { return times(S, {h[0] - b[0], h[1] - b[1], h[2] - b[2]}); };
}

#endif
