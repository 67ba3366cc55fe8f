#include "doc/TimeText.h"

namespace torvane {
namespace {
void part(std::string& out, std::int64_t v) {
    if (v <= 0) {
        out += "00";
    } else if (v < 10) {
        out += '0';
        out += char('0' + v);
    } else {
        out += std::to_string(v);
    }
}
}  // namespace

std::string timeText(std::int64_t n) {
    // Integer division truncates toward zero, so a negative n yields parts of zero or less.
    const std::int64_t h = n / 3600;
    const std::int64_t m = (n % 3600) / 60;
    const std::int64_t s = n % 3600 % 60;
    std::string out;
    part(out, h);
    out += ':';
    part(out, m);
    out += ':';
    part(out, s);
    return out;
}

}  // namespace torvane
