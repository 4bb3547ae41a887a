#include "RealEdgeResults.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>

namespace realphotos {
namespace {

// The spread of the readings that exist, each taken against the first (they may lie either
// side of 45 degrees), or NaN with fewer than two.
double spreadOf(const std::vector<double>& readings)
{
    std::vector<double> present;
    for (const double r : readings) {
        if (std::isfinite(r)) {
            present.push_back(quarterWrapped(r - readings.front()));
        }
    }
    if (present.size() < 2) {
        return NAN;
    }
    const auto [low, high] = std::minmax_element(present.begin(), present.end());
    return *high - *low;
}

double goalFor(const RealEdge& edge)
{
    return edge.is("soft") || edge.is("hidden") ? SoftGoal : CrispGoal;
}

// One edge's figures, as the summary needs them.
struct EdgeFigures {
    int fitted = 0;
    int turnedOnPhoto = 0;
    int turnedFitted = 0;
    double handSpread = NAN;
    double spread = NAN;
    double largestError = NAN;     // over every turn
    int turnsOnPhoto = 0;          // turns with at least one try's band on the turned photo
    bool largeTurnOnPhoto = false; // one of them past 45 degrees
    int covered = 0;
    int coverable = 0; // pairs with a finite +-
    double medianPlusMinus = NAN;
};

EdgeFigures figuresOf(const EdgeResult& result)
{
    EdgeFigures f;
    std::vector<double> hands;
    std::vector<double> readings;
    std::vector<double> plusMinus;
    for (const Try& t : result.tries) {
        hands.push_back(t.hand);
        readings.push_back(t.reading);
        f.fitted += t.answer.fitted ? 1 : 0;
        if (std::isfinite(t.answer.plusMinusDegrees)) {
            plusMinus.push_back(t.answer.plusMinusDegrees);
        }
    }
    f.handSpread = spreadOf(hands);
    // A reading missing from the first try still leaves the others' spread.
    std::vector<double> fittedReadings;
    std::copy_if(readings.begin(), readings.end(), std::back_inserter(fittedReadings),
                 [](double r) { return std::isfinite(r); });
    f.spread = fittedReadings.empty() ? NAN : spreadOf(fittedReadings);
    for (const auto& [degrees, turned] : result.turned) {
        bool onPhoto = false;
        for (const TurnedTry& t : turned) {
            onPhoto = onPhoto || t.onPhoto;
            f.turnedOnPhoto += t.onPhoto ? 1 : 0;
            f.turnedFitted += t.onPhoto && t.answer.fitted ? 1 : 0;
            if (!std::isfinite(t.error)) {
                continue;
            }
            if (!(std::fabs(t.error) <= f.largestError)) {
                f.largestError = std::fabs(t.error);
            }
            if (std::isfinite(t.plusMinus)) {
                ++f.coverable;
                f.covered += std::fabs(t.error) <= t.plusMinus ? 1 : 0;
            }
        }
        f.turnsOnPhoto += onPhoto ? 1 : 0;
        f.largeTurnOnPhoto = f.largeTurnOnPhoto || (onPhoto && std::fabs(degrees) > 45.0);
    }
    if (!plusMinus.empty()) {
        std::sort(plusMinus.begin(), plusMinus.end());
        f.medianPlusMinus = plusMinus[plusMinus.size() / 2];
    }
    return f;
}

std::string degreesText(double value, const char* format = "%.4f")
{
    if (!std::isfinite(value)) {
        return "-";
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), format, value);
    return text.data();
}

// A turn's cell: the error of largest size over the tries, with how many of the tries on the
// photo gave one when not all did.
std::string turnCell(const std::vector<TurnedTry>& turned)
{
    int onPhoto = 0;
    int measured = 0;
    double worst = NAN;
    for (const TurnedTry& t : turned) {
        onPhoto += t.onPhoto ? 1 : 0;
        if (std::isfinite(t.error)) {
            ++measured;
            if (!(std::fabs(t.error) <= std::fabs(worst))) {
                worst = t.error;
            }
        }
    }
    if (onPhoto == 0) {
        return "off the photo";
    }
    if (measured == 0) {
        return "refused";
    }
    std::string cell = degreesText(worst, "%+.4f");
    if (measured < onPhoto) {
        cell += " (" + std::to_string(measured) + "/" + std::to_string(onPhoto) + ")";
    }
    return cell;
}

} // namespace

bool report(const std::vector<RealEdge>& table, const std::vector<EdgeResult>& results,
            const Clock& clock, double seconds)
{
    // The edges measured: all of the table's, or the one a run of one edge alone measured.
    std::vector<std::size_t> measured;
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (results[i].measured) {
            measured.push_back(i);
        }
    }
    std::printf("\n| # | photo | kinds | length px | table's line reads | fitted: as is, turned | "
                "hand's spread | spread after Enter |");
    for (const double degrees : Turns) {
        std::printf(" turned %+.1f° |", degrees);
    }
    std::printf(" ± covered | ± / largest error |\n|---|---|---|---|---|---|---|---|");
    for (std::size_t i = 0; i < Turns.size(); ++i) {
        std::printf("---|");
    }
    std::printf("---|---|\n");
    int allFitted = 0;
    int withinGoal = 0;
    int fewestTurns = static_cast<int>(Turns.size());
    int pastAxis = 0;
    int covered = 0;
    int coverable = 0;
    double worstRatio = NAN;
    for (const std::size_t i : measured) {
        const EdgeFigures f = figuresOf(results[i]);
        std::printf("| %zu | %s | %s | %.0f | %s%+.2f° | %d/%d, %d/%d | %s | %s |", i + 1,
                    qPrintable(realphotos::shortName(table[i])), table[i].kinds.c_str(),
                    results[i].length, results[i].vertical ? "Vertical" : "Horizontal",
                    results[i].handReading, f.fitted, Tries, f.turnedFitted, f.turnedOnPhoto,
                    degreesText(f.handSpread, "%.3f").c_str(),
                    f.fitted == 0 ? "refused" : degreesText(f.spread).c_str());
        for (const double degrees : Turns) {
            std::printf(" %s |", turnCell(results[i].turned.at(degrees)).c_str());
        }
        const double ratio = f.medianPlusMinus / f.largestError;
        std::printf(" %s | %s |\n",
                    f.coverable == 0
                        ? "n/a"
                        : (std::to_string(f.covered) + "/" + std::to_string(f.coverable)).c_str(),
                    degreesText(ratio, "%.1f").c_str());
        allFitted += f.fitted == Tries && f.turnedFitted == f.turnedOnPhoto ? 1 : 0;
        const double goal = goalFor(table[i]);
        withinGoal += f.fitted == Tries && f.spread <= goal && f.largestError <= goal &&
                              f.turnedFitted == f.turnedOnPhoto
                          ? 1
                          : 0;
        fewestTurns = std::min(fewestTurns, f.turnsOnPhoto);
        pastAxis += f.largeTurnOnPhoto ? 1 : 0;
        covered += f.covered;
        coverable += f.coverable;
        if (std::isfinite(ratio) && !(ratio <= worstRatio)) {
            worstRatio = ratio;
        }
    }
    std::printf(
        "\nLength: of the table's line. Fitted: of %d rough lines on the photo, and of the "
        "turned ones whose band lies on the turned photo. Spreads: largest minus smallest "
        "reading, degrees (the hand's: the rough lines' own readings). Turned: the reading's "
        "change minus the turn (anticlockwise +), the largest of the tries, with how many gave "
        "one where not all did. The ± of a change is the root-sum-square of its two readings' ±; "
        "± / largest error: the median ± of the edge's readings over its largest turned "
        "error.\n",
        Tries);

    // What the window would have said where Enter did not fit, with how often.
    std::printf("\n| # | notices shown, with how many of the tries |\n|---|---|\n");
    for (const std::size_t i : measured) {
        std::map<std::string, int> notices;
        for (const Try& t : results[i].tries) {
            notices[t.answer.notice] += t.answer.notice.empty() ? 0 : 1;
        }
        for (const auto& [degrees, turned] : results[i].turned) {
            for (const TurnedTry& t : turned) {
                notices[t.answer.notice] += t.onPhoto && !t.answer.notice.empty() ? 1 : 0;
            }
        }
        std::string text;
        for (const auto& [notice, times] : notices) {
            if (times > 0) {
                text +=
                    (text.empty() ? "" : "; ") + ("\"" + notice + "\" " + std::to_string(times));
            }
        }
        std::printf("| %zu | %s |\n", i + 1, text.empty() ? "none" : text.c_str());
    }

    std::printf("\n| # | what it is | grey step | colour step (RGB) | step width px | bow px | "
                "scatter px | points |\n|---|---|---|---|---|---|---|---|\n");
    for (const std::size_t i : measured) {
        const realphotos::EdgeCharacter& c = results[i].character;
        std::printf("| %zu | %s | %.0f%s | %.0f | %.1f | %.1f | %.2f | %d/%d |\n", i + 1,
                    table[i].what.c_str(), c.greyStep, c.thinLine ? " (thin line's depth)" : "",
                    c.colourStep, c.width, c.bow, c.scatter, c.found, c.sections);
    }
    std::printf("\nMeasured apart from the fit, in %d cross-sections along the table's line: the "
                "grey levels' and the colours' difference between the two sides (a thin line's "
                "depth), the step's width from 10 %% to 90 %% (a line's at half depth), how far "
                "a parabola through the edge's points bows off its chord, and the points' "
                "median distance from it.\n",
                realphotos::DescribedSections);

    const auto count = static_cast<int>(measured.size());
    std::vector<double> fits = clock.fits;
    std::sort(fits.begin(), fits.end());
    std::printf("\n| goal | measured | met |\n|---|---|---|\n");
    std::printf("| every edge fitted, in every try | %d of %d edges | %s |\n", allFitted, count,
                allFitted == count ? "yes" : "no");
    std::printf("| spread and turned error within %.2f° (crisp) or %.2f° (soft or hidden), every "
                "try fitted | %d of %d edges | %s |\n",
                CrispGoal, SoftGoal, withinGoal, count, withinGoal == count ? "yes" : "no");
    std::printf(
        "| ± covers at least %.0f %% of the turned errors | %s | %s |\n", 100.0 * CoverageGoal,
        coverable == 0 ? "no ± given"
                       : (std::to_string(covered) + " of " + std::to_string(coverable)).c_str(),
        coverable > 0 && covered >= CoverageGoal * coverable ? "yes" : "no");
    std::printf("| ± at most about %.0f x the largest error | %s | %s |\n", PlusMinusRatioGoal,
                std::isfinite(worstRatio) ? degreesText(worstRatio, "largest ratio %.1f").c_str()
                                          : "no ± given",
                worstRatio <= PlusMinusRatioGoal ? "yes" : "no");
    std::printf("\nEvery edge has its band on the photo in at least %d of the %zu turns; %d of %d "
                "edges in one past 45°, where the reading changes axis (the others lie too far "
                "from the photo's centre for the canvas kept).\n",
                fewestTurns, Turns.size(), pastAxis, count);
    std::printf("\nfits: %zu, median %.1f ms, largest %.1f ms; the title written by Measurement "
                "agreed with the reading for %d of %d fitted lines (%d differed); run %.0f s, of "
                "which %.0f s making turned copies\n",
                fits.size(), fits.empty() ? NAN : fits[fits.size() / 2],
                fits.empty() ? NAN : fits.back(), clock.titleChecks - clock.titleMismatches,
                clock.titleChecks, clock.titleMismatches, seconds, clock.turning);
    return allFitted == count && withinGoal == count && coverable > 0 &&
           covered >= CoverageGoal * coverable && worstRatio <= PlusMinusRatioGoal;
}

} // namespace realphotos
