// A clock for the tests: starts at a chosen time of day and runs faster than real time, wrapping
// at midnight as a real clock does.
#pragma once

#include "Clock.h"

#include <QElapsedTimer>

#include <cmath>

class FakeClock final : public intake::Clock {
public:
    FakeClock(double startSeconds, double speed)
        : m_start(startSeconds)
        , m_speed(speed)
    {
        m_real.start();
    }

    [[nodiscard]] double secondsSinceMidnight() const override
    {
        return std::fmod(m_start + elapsed(), 86400.0);
    }

    // Clock seconds since the clock was made, not wrapped.
    [[nodiscard]] double elapsed() const
    {
        return static_cast<double>(m_real.nsecsElapsed()) / 1e9 * m_speed;
    }

private:
    QElapsedTimer m_real;
    double m_start;
    double m_speed;
};
