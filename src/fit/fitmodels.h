// The fits a user can choose, in one table: every front end lists, parses,
// describes and names them from it, and auto takes its candidates from it.
#ifndef TAVRIN_FITMODELS_H
#define TAVRIN_FITMODELS_H

#include <optional>
#include <string>
#include <vector>

namespace tavrin {

/// Exact is the algebraic fit, Auto lets the data choose among the others.
enum class FitModel { Exact, Full, Diagonal, Sphere, Planar, Auto };

struct FitModelInfo {
    FitModel model;
    const char *name;        ///< what a user types: "exact", "full", ...
    std::string description; ///< for help, lines of at most 67 characters joined by '\n'
    const char *gain;        ///< what A is, for a robust fit's method line; nullptr for Exact and Auto
    int parameters;          ///< the values the fit determines: bias and gain; 0 for Auto
    bool autoCandidate;      ///< Auto may choose it on poor coverage by the information criterion
};

/// Every fit, in the order of FitModel.
const std::vector<FitModelInfo> &FitModels();

/// The row of a fit.
const FitModelInfo &fitModelInfo(FitModel model);

/// "exact", "full", "diagonal", "sphere", "planar" or "auto".
const char *fitModelName(FitModel model);

/// The model of a name that fitModelName gives; empty for any other text.
std::optional<FitModel> fitModelNamed(const char *name);

/// The fits Auto weighs on poor coverage, the one of fewest parameters first.
std::vector<FitModelInfo> autoCandidates();

/// The models of autoCandidates, in their order.
std::vector<FitModel> autoCandidateModels();

} // namespace tavrin

#endif
