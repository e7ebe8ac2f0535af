#include "fieldreport.h"
#include "worldmodel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

using namespace tavrin;

namespace {

// The installed folder is found beside the program, which Qt knows once
// there is an application object.
class WorldModelTest : public testing::Test {
protected:
    int argc = 1;
    char name[16] = "magnetic_tests";
    char *argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

} // namespace

TEST_F(WorldModelTest, AnyBinaryOfTheBuildFindsTheModel)
{
    const QStringList folders = ModelFolders();
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(folders[0],
              QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/tavrin/magnetic"));
    EXPECT_EQ(folders[1], QStringLiteral(TAVRIN_MAGNETIC_DIR));
    const Expected<std::shared_ptr<const FieldModel>> model = loadWorldModel();
    ASSERT_TRUE(model) << model.error().toStdString();
    EXPECT_EQ((*model)->name(), "WMM2025");
}

TEST_F(WorldModelTest, DatesAndHeightsOutsideTheModelSayWhy)
{
    const Expected<std::shared_ptr<const FieldModel>> loaded = loadWorldModel();
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    const FieldModel *model = loaded->get();
    const Place berlin{52.52, 13.405, 34};
    const Expected<void> inside = checkModelHolds(*model, berlin, 2026.5, "today");
    EXPECT_TRUE(inside);
    EXPECT_TRUE(inside.error().isEmpty());
    const Expected<void> after = checkModelHolds(*model, berlin, 2030.0, "2030-01-01");
    EXPECT_FALSE(after);
    EXPECT_EQ(after.error(), "WMM2025 is valid from 2025-01-01 to 2029-12-31, and 2030-01-01 is not in it.");
    const Expected<void> before = checkModelHolds(*model, berlin, 2024.99, "today");
    EXPECT_FALSE(before);
    EXPECT_EQ(before.error(), "WMM2025 is valid from 2025-01-01 to 2029-12-31, and today is not in it.");
    const Place high{52.52, 13.405, 900000};
    const Expected<void> above = checkModelHolds(*model, high, 2026.5, "today");
    EXPECT_FALSE(above);
    EXPECT_TRUE(above.error().startsWith("WMM2025 holds from "));
    EXPECT_TRUE(above.error().endsWith(" m above the WGS84 ellipsoid, not at 900000 m."));
}

TEST_F(WorldModelTest, TheFieldReportsAgreeWithTheModel)
{
    const Expected<std::shared_ptr<const FieldModel>> loaded = loadWorldModel();
    ASSERT_TRUE(loaded) << loaded.error().toStdString();
    const FieldModel *model = loaded->get();
    const Place berlin{52.52, 13.405, 34};
    const Field f = model->at(berlin, 2026.932);
    const QByteArray text = FieldText(*model, berlin, 2026.932);
    EXPECT_TRUE(
        text.startsWith("WMM2025 at latitude 52.52, longitude 13.405, height 34 m, decimal year 2026.932\n"));
    EXPECT_TRUE(text.contains(QStringLiteral("  F  total intensity  %1 nT\n").arg(f.F, 10, 'f', 1).toUtf8()));
    EXPECT_EQ(text.count('\n'), 8);
    const QByteArray line = HmSourceLine(f.F / 1000, {model->name(), f.F, "uT"}, berlin, 2026.932);
    EXPECT_TRUE(line.startsWith(QStringLiteral("Hm %1 uT: the total intensity of WMM2025 at latitude 52.52")
                                    .arg(f.F / 1000, 0, 'g', 9)
                                    .toUtf8()));
    EXPECT_TRUE(line.endsWith(" nT)\n\n"));
}
