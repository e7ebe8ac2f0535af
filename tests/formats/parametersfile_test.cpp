#include "parametersfile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace tavrin;

namespace {

const QByteArray header =
    "These calibration parameters have been created with the software Tavrin\n"
    "from the KELD Group (https://keld.example.org).\n"
    "Method: Q. Li and J. G. Griffiths, \"Least squares ellipsoid specific fitting\",\n"
    "Proceedings of Geometric Modeling and Processing 2004, pp. 335-340, "
    "https://doi.org/10.1109/GMAP.2004.1290055\n"
    "---------------------------------------------------------------------------------------\n"
    "\n"
    "The hard iron bias equals:\n"
    "\n";

const QByteArray nine(9, ' ');

QByteArray readAll(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

TEST(ParametersFile, EmptyResultsGiveRowsOfBlanks)
{
    const QByteArray blankRow = QByteArray(39, ' ') + "\n";
    const QByteArray expected = header + blankRow + nine + "\n" + "The combined matrix equals:" + nine +
                                "\n" + nine + "\n" + blankRow + blankRow + blankRow;
    EXPECT_EQ(ParametersFileBytes(QStringList(12, QString())), expected);
    EXPECT_EQ(ParametersFileBytes({}), expected);
}

TEST(ParametersFile, ValuesAreRightAlignedInTenCharacters)
{
    const QStringList texts = {"12.5000", "-7.2500", "20.0000", "1.0234", "-0.0123", "0.0456",
                               "-0.0123", "0.9876",  "0.0011",  "0.0456", "0.0011",  "1.1000"};
    const QByteArray expected = header + "   12.5000   -7.2500   20.0000" + nine + "\n" + nine + "\n" +
                                "The combined matrix equals:" + nine + "\n" + nine + "\n" +
                                "    1.0234   -0.0123    0.0456" + nine + "\n" +
                                "   -0.0123    0.9876    0.0011" + nine + "\n" +
                                "    0.0456    0.0011    1.1000" + nine + "\n";
    EXPECT_EQ(ParametersFileBytes(texts), expected);
}

TEST(ParametersFile, WideValuesStayApartAndCanBeReadBack)
{
    QStringList texts(12, "1.0000");
    texts[0] = "12345.6789";    // ten characters: one blank before it
    texts[1] = "-123456.0262";  // wider still
    texts[2] = "654321.0137";   // and right after another wide one
    texts[4] = "-7304920.8575"; // the widest that Hm 999999.999 can give
    const QList<QByteArray> lines = ParametersFileBytes(texts).mid(header.size()).split('\n');
    EXPECT_EQ(lines[0], " 12345.6789 -123456.0262 654321.0137" + nine);
    EXPECT_EQ(lines[4], "    1.0000 -7304920.8575    1.0000" + nine);
    // Read back as a program would: twelve numbers, in order.
    QStringList values;
    for (const int line : {0, 4, 5, 6})
        values += QString::fromLatin1(lines[line]).split(' ', Qt::SkipEmptyParts);
    EXPECT_EQ(values, texts);
}

TEST(ParametersFile, WritingReplacesAWholeFileOrNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("params.txt");
    QStringList texts(12, "0.5000");
    ASSERT_TRUE(WriteParametersFile(path, QStringList(12, "123456789.0000")));
    ASSERT_TRUE(WriteParametersFile(path, texts));
    EXPECT_EQ(readAll(path), ParametersFileBytes(texts));

    EXPECT_FALSE(WriteParametersFile(QString(), texts));
    EXPECT_FALSE(WriteParametersFile(dir.path(), texts));
    EXPECT_FALSE(WriteParametersFile(dir.filePath("no/such/folder/params.txt"), texts));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"params.txt"});
}
