// What bench_real_edges measures of each edge and how it reports it: the tries on the photo
// and on its turned copies, the table printed, and the goals.
#pragma once

#include "EdgeCharacter.h"
#include "EdgeFit.h"
#include "RealPhotos.h"

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace realphotos {

// Rough lines per edge.
constexpr int Tries = 5;
// Anticlockwise, as the readout counts "+": small turns a photo really has, larger ones, and
// past 45 degrees, where the line reads on the other axis. The larger turns go both ways, as a
// line far from the photo's centre stays inside the kept canvas only one way round.
constexpr std::array<double, 6> Turns = {0.7, -2.3, 12.0, -12.0, 57.0, -57.0};
// Goals: spread and turned error for crisp edges, for soft or hidden ones; the share of errors
// the +- covers, and how much larger than the largest error it may be.
constexpr double CrispGoal = 0.02;
constexpr double SoftGoal = 0.05;
constexpr double CoverageGoal = 0.95;
constexpr double PlusMinusRatioGoal = 3.0;

// What one Enter gives: the fitted ends, the reading's 95 % +- in degrees and the notice the
// window would show.
struct FitAnswer {
    bool fitted = false;
    measure::PictureSegment ends;
    double plusMinusDegrees = NAN;
    std::string notice;
};

// An angle difference brought within -45 to 45 degrees: readings on either axis differ from
// one turned 90 degrees by a whole number of quarter turns.
inline double quarterWrapped(double degrees)
{
    return degrees - 90.0 * std::round(degrees / 90.0);
}

struct Try {
    measure::PictureSegment rough;
    double hand = NAN; // the rough line's own reading
    FitAnswer answer;
    double reading = NAN;
};

struct TurnedTry {
    bool onPhoto = false;
    FitAnswer answer;
    double error = NAN;     // reading's change minus the turn, degrees
    double plusMinus = NAN; // root-sum-square of the two readings' +-
};

struct EdgeResult {
    // False for the edges a run of one edge alone (REAL_EDGES_ONLY) leaves out.
    bool measured = false;
    EdgeCharacter character;
    double length = 0.0;
    // The table's line's own reading: axis and signed degrees.
    bool vertical = false;
    double handReading = NAN;
    std::vector<Try> tries;
    std::map<double, std::vector<TurnedTry>> turned;
};

struct Clock {
    std::vector<double> fits; // milliseconds
    int titleChecks = 0;
    int titleMismatches = 0;
    double turning = 0.0; // seconds spent making turned copies
};

// Prints a row per edge, what the edges are like and the goals; whether every goal is met.
bool report(const std::vector<RealEdge>& table, const std::vector<EdgeResult>& results,
            const Clock& clock, double seconds);

} // namespace realphotos
