// The model files made at build time hold NOAA's coefficients, every one,
// where GeographicLib looks for them.
#include "fieldmodel.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTextStream>

#include <cstdint>
#include <cstring>
#include <map>
#include <utility>

namespace {

struct Coefficient {
    double g = 0, h = 0, dg = 0, dh = 0;
};

// n, m -> g, h, dg, dh as NOAA's file gives them.
std::map<std::pair<int, int>, Coefficient> noaa()
{
    QFile f(TAVRIN_WMM_COF);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream in(&f);
    in.readLine();
    std::map<std::pair<int, int>, Coefficient> c;
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().simplified().split(' ');
        if (fields.size() != 6)
            break;
        c[{fields[0].toInt(), fields[1].toInt()}] = {fields[2].toDouble(), fields[3].toDouble(),
                                                     fields[4].toDouble(), fields[5].toDouble()};
    }
    return c;
}

// Little-endian numbers from the coefficient file, in the order written.
class Reader {
public:
    explicit Reader(QByteArray bytes) : bytes(std::move(bytes)) {}

    std::int32_t integer() { return std::int32_t(little(4)); }
    double real()
    {
        const std::uint64_t bits = little(8);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    QByteArray take(int n)
    {
        const QByteArray part = bytes.mid(at, n);
        at += n;
        return part;
    }
    bool atEnd() const { return at == bytes.size(); }

private:
    std::uint64_t little(int n)
    {
        std::uint64_t value = 0;
        for (int k = 0; k < n; k++)
            value |= std::uint64_t(std::uint8_t(bytes[at + k])) << (8 * k);
        at += n;
        return value;
    }

    QByteArray bytes;
    int at = 0;
};

} // namespace

TEST(ModelFiles, HoldEveryCoefficientOfTheCoefficientFile)
{
    const auto expected = noaa();
    ASSERT_EQ(expected.size(), 90u); // n = 1..12, m = 0..n
    QFile description(TAVRIN_MAGNETIC_DIR "/wmm2025.wmm");
    ASSERT_TRUE(description.open(QIODevice::ReadOnly));
    const QByteArray text = description.readAll();
    EXPECT_TRUE(text.startsWith("WMMF-2\n"));
    EXPECT_TRUE(text.contains("\nID              WMM-2025\n"));
    EXPECT_TRUE(text.contains("\nEpoch           2025\n"));

    QFile coefficients(TAVRIN_MAGNETIC_DIR "/wmm2025.wmm.cof");
    ASSERT_TRUE(coefficients.open(QIODevice::ReadOnly));
    Reader r(coefficients.readAll());
    EXPECT_EQ(r.take(8), "WMM-2025");
    // The field, then its change per year: cosine terms by order m, then sine terms.
    for (const bool rates : {false, true}) {
        ASSERT_EQ(r.integer(), 12);
        ASSERT_EQ(r.integer(), 12);
        for (int m = 0; m <= 12; m++)
            for (int n = m; n <= 12; n++) {
                const double value = r.real();
                const Coefficient c = n == 0 ? Coefficient() : expected.at({n, m});
                EXPECT_EQ(value, rates ? c.dg : c.g) << n << " " << m;
            }
        for (int m = 1; m <= 12; m++)
            for (int n = m; n <= 12; n++) {
                const Coefficient c = expected.at({n, m});
                EXPECT_EQ(r.real(), rates ? c.dh : c.h) << n << " " << m;
            }
    }
    EXPECT_TRUE(r.atEnd());
}

TEST(ModelFiles, LoadThroughGeographicLib)
{
    const auto loaded = tavrin::FieldModel::load("wmm2025", {"/nonexistent", TAVRIN_MAGNETIC_DIR});
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    const tavrin::FieldModel &model = **loaded;
    EXPECT_EQ(model.name(), "WMM2025");
    EXPECT_EQ(model.firstYear(), 2025.0);
    EXPECT_EQ(model.endYear(), 2030.0);
    EXPECT_EQ(model.lowestHeight(), -1000.0);
    EXPECT_EQ(model.highestHeight(), 850000.0);

    const auto missing = tavrin::FieldModel::load("wmm2025", {"/nonexistent"});
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.error(), "The magnetic model wmm2025 is in none of /nonexistent.");
}
