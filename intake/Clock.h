// The time of day as the command runner reads it; tests give their own to cross midnight.
#pragma once

namespace intake {

class Clock {
public:
    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    virtual ~Clock() = default;

    // Seconds since local midnight, with fractions: 0 <= value < 86400.
    [[nodiscard]] virtual double secondsSinceMidnight() const = 0;
};

// The system's local time.
class SystemClock final : public Clock {
public:
    [[nodiscard]] double secondsSinceMidnight() const override;
};

} // namespace intake
