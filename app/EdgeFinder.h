// F: looks for the picture's straight edges off the window's thread, one search at a time, and
// hands back what it found on the window's thread. A search cancelled before it ends (a press,
// a drop, a paste, Escape, another picture, the window closing) never hands anything back.
#pragma once

#include "FullPicture.h"
#include "StrongestEdges.h"

#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class EdgeFinder : public QObject {
    Q_OBJECT

public:
    using Found = std::function<void(std::vector<measure::FoundEdge>)>;

    explicit EdgeFinder(QObject* parent = nullptr);
    // Cancels a search under way and waits for it, so nothing outlives the window.
    ~EdgeFinder() override;

    EdgeFinder(const EdgeFinder&) = delete;
    EdgeFinder& operator=(const EdgeFinder&) = delete;

    // Searches the display copy for candidates and fits them on pixels (the picture's own, or
    // a copy standing in), in a picture of pictureSize; found runs on this object's thread
    // with the edges in the picture's own pixels, strongest first. A search under way is
    // cancelled first.
    void start(const QImage& display, const std::shared_ptr<const intake::FullPicture>& pixels,
               QSize pictureSize, Found found);
    // The search under way, if any, ends without handing anything back.
    void cancel();
    [[nodiscard]] bool searching() const { return m_searching; }

private:
    struct Search;
    std::shared_ptr<Search> m_search;
    // Searches not yet ended, the cancelled among them: the window waits for them all.
    std::vector<std::shared_ptr<Search>> m_running;
    bool m_searching = false;
};
