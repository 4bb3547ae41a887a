// Takes typed values off the front of a fuzzer's input; zeros once it runs out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    template <typename T> T take()
    {
        T value{};
        const std::size_t n = sizeof(T) < m_size ? sizeof(T) : m_size;
        if (n > 0) {
            std::memcpy(&value, m_data, n);
            m_data += n;
            m_size -= n;
        }
        return value;
    }

    // Up to `length` bytes, as they are.
    std::string takeBytes(std::size_t length)
    {
        const std::size_t n = length < m_size ? length : m_size;
        std::string bytes(reinterpret_cast<const char*>(m_data), n);
        m_data += n;
        m_size -= n;
        return bytes;
    }

    [[nodiscard]] bool empty() const { return m_size == 0; }
    [[nodiscard]] std::size_t left() const { return m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};
