#include "Measurement.h"

#include "Numbers.h"
#include "Readout.h"

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
    if (measure::moveNearestEndpoint(m_rel, X, Y, clientWidth, clientHeight)) {
        m_line.Visible = true;
    }
}

void Measurement::place(float clientWidth, float clientHeight, double shownWidth,
                        double shownHeight, std::string_view decimalSeparator)
{
    placeLine(m_line, m_rel, clientWidth, clientHeight);
    const PictureGeometry geometry{himetricFromPixels(m_pictureWidth),
                                   himetricFromPixels(m_pictureHeight), shownWidth, shownHeight};
    m_title = titleFor(m_line, geometry, m_label, decimalSeparator);
}

void Measurement::reset()
{
    m_line.Visible = false;
    m_rel = LineFractions{};
    m_title = baseTitle(m_label);
}

} // namespace measure
