#include "fitmodels.h"

#include "robustfit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tavrin {

namespace {

std::string rejectionLine()
{
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", RobustLimits::TukeyC);
    return std::string("beyond ") + limit + " robust sigmas of their distance to it are rejected";
}

} // namespace

const std::vector<FitModelInfo> &FitModels()
{
    static const std::vector<FitModelInfo> models = {
        {FitModel::Exact, "exact", "the algebraic ellipsoid fit, as the dialog computes it (default)",
         nullptr, 9, false},
        {FitModel::Full, "full",
         "robust geometric fit of h = A u Hm + b, A symmetric; points\n" + rejectionLine(), "symmetric", 9,
         true},
        {FitModel::Diagonal, "diagonal", "the same with A diagonal", "diagonal", 6, true},
        {FitModel::Sphere, "sphere", "the same with A a multiple of the identity",
         "a multiple of the identity", 4, true},
        {FitModel::Planar, "planar",
         "for turns about one axis: calibrates the plane of the turn and\nleaves the reading along its "
         "normal as "
         "it is",
         "in the plane of the turn only", 5, false},
        {FitModel::Auto, "auto",
         "planar for a flat rotation; on poor coverage, of sphere,\ndiagonal and full the one of least "
         "predicted bias error, full\notherwise; an implausible fit gives way to the next",
         nullptr, 0, false},
    };
    return models;
}

const FitModelInfo &fitModelInfo(FitModel model)
{
    return FitModels()[size_t(model)];
}

const char *fitModelName(FitModel model)
{
    return fitModelInfo(model).name;
}

std::optional<FitModel> fitModelNamed(const char *name)
{
    for (const FitModelInfo &m : FitModels())
        if (std::strcmp(name, m.name) == 0)
            return m.model;
    return std::nullopt;
}

std::vector<FitModelInfo> autoCandidates()
{
    std::vector<FitModelInfo> candidates;
    for (const FitModelInfo &m : FitModels())
        if (m.autoCandidate)
            candidates.push_back(m);
    std::stable_sort(candidates.begin(), candidates.end(), [](const FitModelInfo &a, const FitModelInfo &b) {
        return a.parameters < b.parameters;
    });
    return candidates;
}

std::vector<FitModel> autoCandidateModels()
{
    std::vector<FitModel> models;
    for (const FitModelInfo &m : autoCandidates())
        models.push_back(m.model);
    return models;
}

} // namespace tavrin
