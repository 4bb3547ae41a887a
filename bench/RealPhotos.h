// The photographs bench_real_edges measures: the table of edges in them, where the unpacked
// packages lie, and the photos turned by known angles with ImageMagick, with the arithmetic
// that turns a point of the photo alike.
#pragma once

#include "EdgeFit.h"

#include <QString>

#include <span>
#include <string>
#include <vector>

namespace realphotos {

struct RealEdge {
    std::string package;
    std::string path;  // inside the package
    std::string kinds; // "ragged", "soft hidden" ...
    measure::PictureSegment rough;
    std::string what;

    [[nodiscard]] bool is(const std::string& kind) const;
};

// The table's edges; on a malformed line, nothing, with the line named in error.
std::vector<RealEdge> readEdgeTable(const QString& file, QString* error);

// ${TORVANIX_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/torvanix-bench}, as
// bench/fetch_photos.sh makes it.
QString benchCache();

// A short name for the edge's photo: its file's name, or its folder's where the file is named
// after its size (Plasma's wallpapers).
QString shortName(const RealEdge& edge);

// The photo as bench/fetch_photos.sh unpacked it.
QString photoFile(const QString& cache, const RealEdge& edge);

// The photo turned anticlockwise (as the readout counts "+") by degrees about its centre, the
// canvas kept, made once with ImageMagick and kept in the cache. Empty, with the converter's
// complaint in error, when it could not be made.
QString turnedPhoto(const QString& cache, const RealEdge& edge, double degrees, QString* error);

// Where a point of a width x height photo lands in the copy turnedPhoto makes.
measure::PicturePoint turnPoint(measure::PicturePoint point, double degrees, double width,
                                double height);

// Turns small bright spots at known places of synthetic pictures (odd and even sizes) by each
// of the angles with the same command as turnedPhoto and compares where they landed with
// turnPoint: the largest distance in pixels, or a negative number when the converter failed.
double checkTurnConvention(const QString& folder, std::span<const double> angles);

} // namespace realphotos
