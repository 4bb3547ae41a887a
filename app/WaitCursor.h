// The hourglass shown while a dropped file converts.
#pragma once

#include <QCursor>

// Shows the busy cursor for as long as it lives, whichever way the drop handler returns.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void restore();

private:
    bool m_shown = true;
};

// The busy cursor: the theme's own, or one drawn here where Qt cannot show an animated one
// safely.
[[nodiscard]] QCursor busyCursor();
