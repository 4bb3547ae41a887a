#include "EdgeFinder.h"

#include "Reduce.h"

#include <QMetaObject>
#include <QThreadPool>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The detector looks at the display copy reduced to at most this on its longer side: enough
// for any edge worth measuring a whole picture by, and small enough to search within a tenth
// of a second.
constexpr std::int64_t DetectorSide = 2000;
// Each candidate's fit looks at least this far (picture pixels) to either side of it.
constexpr double LeastReach = 3.0;

// The candidates' fits in two threads: this one and one more, each taking the next candidate
// still to do.
void onTwoThreads(std::size_t count, const std::function<void(std::size_t)>& job)
{
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < count; i = next++) {
            job(i);
        }
    };
    std::thread other(work);
    work();
    other.join();
}

} // namespace

// What a search and the window share: the search's pixels, its cancel flag, and a way of
// waiting for it to end.
struct EdgeFinder::Search {
    std::atomic<bool> cancelled{false};
    std::mutex ending;
    bool ended = false;
    std::condition_variable endSignal;

    void waitForEnd()
    {
        std::unique_lock<std::mutex> lock(ending);
        endSignal.wait(lock, [this] { return ended; });
    }
    bool hasEnded()
    {
        const std::lock_guard<std::mutex> lock(ending);
        return ended;
    }
    void end()
    {
        {
            const std::lock_guard<std::mutex> lock(ending);
            ended = true;
        }
        endSignal.notify_all();
    }
};

EdgeFinder::EdgeFinder(QObject* parent)
    : QObject(parent)
{
}

EdgeFinder::~EdgeFinder()
{
    for (const std::shared_ptr<Search>& search : m_running) {
        search->cancelled = true;
    }
    for (const std::shared_ptr<Search>& search : m_running) {
        search->waitForEnd();
    }
}

void EdgeFinder::cancel()
{
    if (m_search) {
        m_search->cancelled = true;
    }
    m_search.reset();
    m_searching = false;
}

void EdgeFinder::start(const QImage& display,
                       const std::shared_ptr<const intake::FullPicture>& pixels, QSize pictureSize,
                       Found found)
{
    cancel();
    if (display.isNull() || pixels == nullptr || pictureSize.isEmpty()) {
        found({});
        return;
    }
    m_running.erase(std::remove_if(m_running.begin(), m_running.end(),
                                   [](const std::shared_ptr<Search>& s) { return s->hasEnded(); }),
                    m_running.end());
    auto search = std::make_shared<Search>();
    m_search = search;
    m_running.push_back(search);
    m_searching = true;
    // The finder outlives every search (its destructor waits for them), so the search may
    // post to it until it ends.
    EdgeFinder* self = this;
    QThreadPool::globalInstance()->start(
        [search, self, display, pixels, pictureSize, found = std::move(found)]() mutable {
            const QImage grey = display.convertToFormat(QImage::Format_Grayscale8);
            const measure::GreyBytesView bytes{grey.constBits(), grey.width(), grey.height(),
                                               grey.bytesPerLine()};
            const measure::GreyPicture reduced = measure::reduceBy(
                bytes, measure::reductionFactor(grey.width(), grey.height(), DetectorSide));
            std::vector<measure::FoundEdge> edges = measure::strongestEdges(
                reduced.view(), *pixels, pictureSize.width(), pictureSize.height(), LeastReach,
                [&search] { return search->cancelled.load(); }, onTwoThreads);
            // Handed back on the window's thread, unless cancelled meanwhile; should the finder be
            // gone by the time the window's thread gets to it, so is the handing back.
            QMetaObject::invokeMethod(
                self,
                [search, self, edges = std::move(edges), found = std::move(found)]() mutable {
                    if (search->cancelled || self->m_search != search) {
                        return;
                    }
                    self->m_search.reset();
                    self->m_searching = false;
                    found(std::move(edges));
                },
                Qt::QueuedConnection);
            search->end();
        });
}
