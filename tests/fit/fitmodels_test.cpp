#include "fitmodels.h"
#include "robustfit.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

using namespace tavrin;

TEST(FitModels, EveryFitHasOneRowThatItsNameFindsAgain)
{
    const std::vector<FitModelInfo> &models = FitModels();
    ASSERT_EQ(models.size(), size_t(FitModel::Auto) + 1);
    std::set<std::string> names;
    for (size_t k = 0; k < models.size(); k++) {
        EXPECT_EQ(models[k].model, FitModel(k));
        EXPECT_EQ(fitModelNamed(models[k].name), models[k].model);
        EXPECT_TRUE(names.insert(models[k].name).second) << models[k].name;
        // A robust fit's method line says what its gain is.
        const bool robust = models[k].model != FitModel::Exact && models[k].model != FitModel::Auto;
        EXPECT_EQ(models[k].gain != nullptr, robust) << models[k].name;
        std::istringstream lines(models[k].description);
        for (std::string line; std::getline(lines, line);)
            EXPECT_LE(line.size(), 67u) << line;
    }
    EXPECT_EQ(fitModelNamed("Full"), std::nullopt);
    EXPECT_EQ(fitModelNamed(""), std::nullopt);
}

TEST(FitModels, AutoWeighsTheSpaceFitsFromTheSimplest)
{
    std::vector<FitModel> order;
    for (const FitModelInfo &m : autoCandidates())
        order.push_back(m.model);
    EXPECT_EQ(order, (std::vector<FitModel>{FitModel::Sphere, FitModel::Diagonal, FitModel::Full}));
    EXPECT_EQ(fitModelInfo(FitModel::Sphere).parameters, 4);
    EXPECT_EQ(fitModelInfo(FitModel::Full).parameters, 9);
    EXPECT_NE(fitModelInfo(FitModel::Full).description.find("beyond 4.685 robust sigmas"), std::string::npos);
}
