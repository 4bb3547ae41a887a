// Work of a large band shared out among a few threads: parts whose answers are their own, so
// the result is the same however many threads there are.
#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace measure::edgefit {

// How many parts work of this size is worth: one per perPart of it (starting a thread costs
// about what that much work does), at most most, and no more than the machine's cores.
inline std::size_t partsFor(double work, double perPart, std::size_t most)
{
    const auto wanted = static_cast<std::size_t>(
        std::clamp(work / perPart, 1.0, static_cast<double>(std::max<std::size_t>(most, 1))));
    return std::min<std::size_t>(wanted, std::max(1U, std::thread::hardware_concurrency()));
}

// Runs part(0) to part(parts - 1), each on a thread of its own but part 0, which the calling
// thread takes. Where no more threads are to be had, the calling thread runs the parts not
// handed out. What a part throws is thrown here once every part has ended.
template <typename Part> void inParts(std::size_t parts, const Part& part)
{
    std::vector<std::exception_ptr> failed(parts);
    auto run = [&](std::size_t k) {
        try {
            part(k);
        } catch (...) {
            failed[k] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    std::size_t next = 1;
    try {
        helpers.reserve(parts > 0 ? parts - 1 : 0);
        for (; next < parts; ++next) {
            helpers.emplace_back(run, next);
        }
    } catch (const std::exception&) {
        // No more threads: the parts not handed out are run here.
    }
    for (std::size_t rest = next; rest < parts; ++rest) {
        run(rest);
    }
    if (parts > 0) {
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

} // namespace measure::edgefit
