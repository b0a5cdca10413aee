// What the exporter remembers of the switches between scrapes, so that a switch dropping out
// of sight is listed with telvar_up 0 (and raises an alert) instead of quietly leaving the
// metrics, without keeping what was never a switch.
//
// Remembered are the switches that answered: for each target, its own switch's FC address
// (for as long as the exporter runs: a target is configured), and every switch its walk read,
// until `keep` has passed since it last answered. An address a link named that never answered
// (a far end that is down, or one a hostile switch made up) is listed in the scrapes whose
// walk reaches it, and not after. A target keeps at most max_per_target switches (a fabric has
// at most 63 chassis); past it the one longest silent goes first.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>

#include "exporter/scrape.h"

namespace exporter {

class switch_memory {
public:
    static constexpr std::size_t max_per_target = 64;

    explicit switch_memory(std::chrono::seconds keep) : keep_(keep) {}

    // Gives a target's switch that did not answer the address it last had, and adds the
    // remembered switches that `r` does not list (nor lists elsewhere by WWN), with telvar_up 0.
    void complete(scrape_result& r, steady::time_point now) const;
    // Takes in what `r` read (after complete) and forgets what has been silent for `keep`.
    void remember(const scrape_result& r, steady::time_point now);

private:
    struct seen {
        std::string wwn;
        steady::time_point answered;
    };
    bool expired(const seen& s, steady::time_point now) const { return now - s.answered >= keep_; }

    std::chrono::seconds keep_;
    std::map<std::string, std::map<std::uint32_t, seen>> switches_;  // target: FC address
    std::map<std::string, std::uint32_t> target_switch_;  // the FC address of each target's switch
};

}  // namespace exporter
