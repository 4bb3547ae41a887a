// Work of a large band shared out among a few threads: parts whose answers are their own, so
// the result is the same however many threads there are.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace measure::edgefit {

// True on a thread while it runs one of several parts: work it shares out again stays on it,
// so parts inside parts never start more threads than the machine has cores.
inline thread_local bool inSharedPart = false;

// How many parts work of this size is worth: one per perPart of it (starting a thread costs
// about what that much work does), at most most, and no more than the machine's cores; one
// inside a part already shared out.
inline std::size_t partsFor(double work, double perPart, std::size_t most)
{
    if (inSharedPart) {
        return 1;
    }
    const auto wanted = static_cast<std::size_t>(
        std::clamp(work / perPart, 1.0, static_cast<double>(std::max<std::size_t>(most, 1))));
    return std::min<std::size_t>(wanted, std::max(1U, std::thread::hardware_concurrency()));
}

// Runs work(k) for every k below count, each on a thread of its own except k = 0, which the
// calling thread takes. Where no more threads are to be had, the calling thread runs those not
// handed out. What work throws is thrown here once every k has ended.
template <typename Work> void inParts(std::size_t count, const Work& work)
{
    std::vector<std::exception_ptr> failed(count);
    auto run = [&](std::size_t k) {
        const bool outer = inSharedPart;
        // A single part inside a shared one is still inside it.
        inSharedPart = outer || count > 1;
        try {
            work(k);
        } catch (...) {
            failed[k] = std::current_exception();
        }
        inSharedPart = outer;
    };
    std::vector<std::thread> helpers;
    std::size_t next = 1;
    try {
        helpers.reserve(count > 0 ? count - 1 : 0);
        for (; next < count; ++next) {
            helpers.emplace_back(run, next);
        }
    } catch (const std::exception&) {
        // No more threads: what was not handed out is run here.
    }
    for (std::size_t rest = next; rest < count; ++rest) {
        run(rest);
    }
    if (count > 0) {
        run(0);
    }
    for (std::thread& helper : helpers) {
        helper.join();
    }
    for (const std::exception_ptr& failure : failed) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}

// Shares the indices below size out in runs contiguous stretches, as inParts does:
// work(from, to, run) for each stretch [from, to).
template <typename Work> void inRuns(std::size_t size, std::size_t runs, const Work& work)
{
    inParts(runs, [&](std::size_t run) { work(run * size / runs, (run + 1) * size / runs, run); });
}

} // namespace measure::edgefit
