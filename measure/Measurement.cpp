#include "Measurement.h"

#include "Numbers.h"
#include "Readout.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace measure {

Measurement::Measurement()
    : m_title(baseTitle({}))
{
}

void Measurement::setPicture(std::int64_t pixelWidth, std::int64_t pixelHeight, std::string label)
{
    m_pictureWidth = pixelWidth;
    m_pictureHeight = pixelHeight;
    m_label = std::move(label);
}

void Measurement::moveNearestEndpoint(std::int32_t X, std::int32_t Y, float clientWidth,
                                      float clientHeight)
{
    if (const auto moved = measure::moveNearestEndpoint(m_rel, X, Y, clientWidth, clientHeight)) {
        m_active = *moved;
        m_line.Visible = true;
    }
}

void Measurement::place(float clientWidth, float clientHeight, double shownWidth,
                        double shownHeight, std::string_view decimalSeparator)
{
    placeLine(m_line, m_rel, clientWidth, clientHeight);
    const PictureGeometry geometry{himetricFromPixels(m_pictureWidth),
                                   himetricFromPixels(m_pictureHeight), shownWidth, shownHeight};
    const auto tilt = measureTilt(m_line, geometry);
    m_readout = tilt ? readoutText(*tilt, decimalSeparator) : std::string();
    m_title = tilt ? readoutTitle(m_readout, m_label) : baseTitle(m_label);
}

void Measurement::reset()
{
    m_line.Visible = false;
    m_rel = LineFractions{};
    m_active = End::Two;
    m_readout.clear();
    m_title = baseTitle(m_label);
}

void Measurement::switchActiveEnd()
{
    m_active = m_active == End::One ? End::Two : End::One;
}

namespace {

// One pixel step of the picture's own size, in double, kept within the picture unless the end
// already lay outside it, in which case it may only come back.
double stepped(double old, int steps, std::int64_t pixels)
{
    if (steps == 0 || pixels <= 0) {
        return old;
    }
    const double moved = old + static_cast<double>(steps) / static_cast<double>(pixels);
    return std::clamp(moved, std::min(old, 0.0), std::max(old, 1.0));
}

} // namespace

void Measurement::nudge(int stepsX, int stepsY)
{
    double& x = m_active == End::One ? m_rel.RelX1 : m_rel.RelX2;
    double& y = m_active == End::One ? m_rel.RelY1 : m_rel.RelY2;
    x = stepped(x, stepsX, m_pictureWidth);
    y = stepped(y, stepsY, m_pictureHeight);
}

void Measurement::setEnds(const PictureSegment& ends)
{
    if (m_pictureWidth <= 0 || m_pictureHeight <= 0) {
        return;
    }
    const auto width = static_cast<double>(m_pictureWidth);
    const auto height = static_cast<double>(m_pictureHeight);
    m_rel = {ends.a.x / width, ends.a.y / height, ends.b.x / width, ends.b.y / height};
    m_line.Visible = true;
    m_active = End::Two;
}

PictureSegment Measurement::ends() const
{
    const auto width = static_cast<double>(m_pictureWidth);
    const auto height = static_cast<double>(m_pictureHeight);
    return {{m_rel.RelX1 * width, m_rel.RelY1 * height},
            {m_rel.RelX2 * width, m_rel.RelY2 * height}};
}

PicturePoint Measurement::activeEndPoint() const
{
    const PictureSegment segment = ends();
    return m_active == End::One ? segment.a : segment.b;
}

EdgeFitAnswer Measurement::fitToEdge(const PixelRows& pixels, double reach)
{
    if (m_pictureWidth <= 0 || m_pictureHeight <= 0 || pixels.width() <= 0 ||
        pixels.height() <= 0) {
        return {};
    }
    // The pixels may be a copy sampled down from the picture: the edge is found on the copy and
    // carried back, which keeps the picture's own geometry.
    const double toX = static_cast<double>(pixels.width()) / static_cast<double>(m_pictureWidth);
    const double toY = static_cast<double>(pixels.height()) / static_cast<double>(m_pictureHeight);
    PictureSegment rough = ends();
    rough.a = {rough.a.x * toX, rough.a.y * toY};
    rough.b = {rough.b.x * toX, rough.b.y * toY};
    EdgeFitAnswer answer = fitEdge(pixels, rough, reach * std::max(toX, toY));
    if (!answer.fit) {
        return answer;
    }
    EdgeFit& fit = *answer.fit;
    const double dx = fit.ends.b.x - fit.ends.a.x;
    const double dy = fit.ends.b.y - fit.ends.a.y;
    const double copyLength = std::hypot(dx, dy);
    if (copyLength > 0.0) {
        const double back = std::hypot(dx / toX, dy / toY) / copyLength;
        fit.length *= back;
        fit.bend *= back;
    }
    m_rel.RelX1 = fit.ends.a.x / static_cast<double>(pixels.width());
    m_rel.RelY1 = fit.ends.a.y / static_cast<double>(pixels.height());
    m_rel.RelX2 = fit.ends.b.x / static_cast<double>(pixels.width());
    m_rel.RelY2 = fit.ends.b.y / static_cast<double>(pixels.height());
    fit.ends = ends();
    return answer;
}

} // namespace measure
