// What the steps of the edge fit share: the frame the fit works in (u along the line, v across
// it, each along one of the picture's axes) and a few small helpers.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace measure::edgefit {

constexpr double Pi = 3.14159265358979323846;
// Fewer cross-sections than this say too little about a direction.
constexpr std::size_t MinSections = 8;

// The frame whose u axis runs along the picture's axis nearer to the line: columns are the
// cross-sections of a near-horizontal line (u = x, v = y), rows those of a near-vertical one
// (u = y, v = x). Each section's edge position is then an unbiased sample of the edge at the
// centre of that column or row.
struct Frame {
    bool alongY = false;
    std::int64_t sizeU = 0;
    std::int64_t sizeV = 0;
    // The rough line: v = vc + slope (u - uc).
    double uc = 0.0;
    double vc = 0.0;
    double slope = 0.0;
    // Half the stretch of u between the line's ends.
    double halfSpan = 0.0;

    [[nodiscard]] double roughV(double u) const { return vc + slope * u; }
};

// An edge point: u relative to the frame's uc, v absolute across.
struct Point {
    double u = 0.0;
    double v = 0.0;
};

double median(std::vector<double> values);

// Tukey's biweight constant (95 % efficiency for Gaussian scatter), and the median absolute
// deviation to the standard deviation for Gaussian scatter.
constexpr double TukeyC = 4.685;
constexpr double MadToSigma = 1.4826;

// Clamps before converting, so no coordinate (however large) reaches an undefined conversion.
std::int64_t toIndex(double value, std::int64_t low, std::int64_t high);

// Solves the n x n system whose rows are m[row][0..n-1] | m[row][n] by Gaussian elimination
// with partial pivoting, leaving the solution in m[row][n]. False when it is singular.
template <std::size_t N> bool solve(std::array<std::array<double, N + 1>, N>& m);

template <std::size_t N> bool solve(std::array<std::array<double, N + 1>, N>& m)
{
    for (std::size_t col = 0; col < N; ++col) {
        std::size_t pivot = col;
        for (std::size_t row = col + 1; row < N; ++row) {
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col])) {
                pivot = row;
            }
        }
        if (!(std::fabs(m[pivot][col]) > 1e-300)) {
            return false;
        }
        std::swap(m[col], m[pivot]);
        for (std::size_t row = 0; row < N; ++row) {
            if (row == col) {
                continue;
            }
            const double factor = m[row][col] / m[col][col];
            for (std::size_t k = col; k <= N; ++k) {
                m[row][k] -= factor * m[col][k];
            }
        }
    }
    for (std::size_t row = 0; row < N; ++row) {
        m[row][N] /= m[row][row];
        if (!std::isfinite(m[row][N])) {
            return false;
        }
    }
    return true;
}

} // namespace measure::edgefit
