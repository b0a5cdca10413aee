// The shape of a fabric's links, which chooses how its map is laid out: a line stays a line, a
// ring a ring; anything else (a mesh, a star, pieces not linked) is left to a spring layout.
// Several links between the same two switches count as one here.
#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "telvar/pictures/fabric_picture.h"

namespace telvar::picture {

shape_and_order shape_of(const fabric& f) {
    std::map<int, std::set<int>> neighbours;
    for (const fabric_switch& s : f.switches) neighbours[s.chassis];
    for (const link& l : f.links)
        if (l.a.chassis != l.b.chassis) {
            neighbours[l.a.chassis].insert(l.b.chassis);
            neighbours[l.b.chassis].insert(l.a.chassis);
        }
    shape_and_order out;
    for (const auto& [chassis, _] : neighbours) out.order.push_back(chassis);
    if (out.order.size() == 1) {
        out.shape = fabric_shape::single;
        return out;
    }
    std::size_t ends = 0;
    for (const auto& [_, next] : neighbours) {
        if (next.empty() || next.size() > 2) return out;  // a mesh
        ends += next.size() == 1;
    }
    if (ends != 0 && ends != 2) return out;
    // Walk from the lowest end (the lowest chassis of a ring, towards its lower neighbour); a
    // walk that does not reach every switch means pieces not linked to each other.
    int at = out.order.front();
    if (ends == 2)
        at = std::find_if(neighbours.begin(), neighbours.end(), [](const auto& n) { return n.second.size() == 1; })->first;
    std::vector<int> walk{at};
    for (int previous = -1; walk.size() < neighbours.size();) {
        const std::set<int>& next = neighbours[at];
        const auto step = std::find_if(next.begin(), next.end(), [&](int c) { return c != previous; });
        if (step == next.end() || std::find(walk.begin(), walk.end(), *step) != walk.end()) return out;
        previous = std::exchange(at, *step);
        walk.push_back(at);
    }
    out.shape = ends == 2 ? fabric_shape::line : fabric_shape::ring;
    out.order = std::move(walk);
    return out;
}

}  // namespace telvar::picture
