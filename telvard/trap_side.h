// The watcher's traps: one receiver for every fabric, kept registered with every switch each
// reading finds, each trap taken stored in the history and forwarded to the system log and to
// Alertmanager as the settings say.
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "history/store.h"
#include "telvar/cli/credentials.h"
#include "telvard/events/alertmanager_sink.h"
#include "telvard/events/syslog_sink.h"
#include "telvard/events/trap_receiver.h"
#include "telvard/settings.h"

namespace telvard {

class trap_side {
public:
    // Binds the receiver's socket; throws std::runtime_error when it cannot.
    trap_side(const settings& s, telvar::history::store& store, const telvar::credentials::file& logins);

    // After a reading of `fabric`: its switches are those the receiver takes traps for, and
    // each that answered is asked whether it still holds our registration.
    void after_reading(const std::string& fabric, const nlohmann::json& snapshot);

    int fd() const { return receiver_.fd(); }
    // Takes what is waiting: stored, then forwarded. Returns how many traps were taken.
    std::size_t drain();
    // Removes the registrations made (at shutdown), and lets Alertmanager's queue drain.
    void release();

private:
    struct registered {
        std::string fabric;
        std::uint32_t fc = 0;
    };
    telvar::history::store& store_;
    const telvar::credentials::file& logins_;
    telvar::events::trap_receiver receiver_;
    std::optional<telvar::events::syslog_sink> syslog_;
    std::unique_ptr<telvar::events::alertmanager_sink> alerts_;
    std::vector<registered> registered_;
    std::map<std::pair<std::string, std::uint32_t>, std::int32_t> last_status_;
    std::map<std::string, std::vector<telvar::history::switch_ref>> watched_;
    std::string refused_said_;  // the refusals last reported, so that each count is said once
};

}  // namespace telvard
