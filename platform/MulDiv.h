#pragma once
// a × b / c with a 64-bit product, rounded half away from zero; -1 when c is
// 0 or the result does not fit, as the system call answers.

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace platform {

constexpr int mulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const std::int64_t product = std::int64_t {a} * b;
    const std::uint64_t num = product < 0 ? std::uint64_t(-product) : std::uint64_t(product);
    const std::uint64_t den = c < 0 ? std::uint64_t(-std::int64_t {c}) : std::uint64_t(c);
    const std::uint64_t q = (2 * num + den) / (2 * den);
    const bool negative = (product < 0) != (c < 0);
    if (q > std::uint64_t(std::numeric_limits<int>::max()))
        return -1;
    return negative ? -static_cast<int>(q) : static_cast<int>(q);
}

}  // namespace platform
