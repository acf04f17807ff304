// The midpoint circle as a plain loop: the pixels it plots inside w x h.
// The reference the engine's circles are checked against.
#pragma once

#include <set>
#include <utility>

namespace kxtest {

inline std::set<std::pair<int, int>> ReferenceCircle(int X0, int Y0, int r, int w, int h) {
    std::set<std::pair<int, int>> out;
    int x = 0, y = r, d = 1 - r;
    auto put = [&](int px, int py) {
        if (px >= 0 && py >= 0 && px < w && py < h) out.insert({px, py});
    };
    while (x <= y) {
        put(X0 + x, Y0 + y), put(X0 + x, Y0 - y), put(X0 - x, Y0 + y), put(X0 - x, Y0 - y);
        put(X0 + y, Y0 + x), put(X0 + y, Y0 - x), put(X0 - y, Y0 + x), put(X0 - y, Y0 - x);
        x += 1;
        if (d < 0) {
            d += 2 * x + 1;
        } else {
            y -= 1;
            d += 2 * x - 2 * y + 1;
        }
    }
    return out;
}

}  // namespace kxtest
