// Switch identity and chassis status: the version record, the model code, the chassis status
// with its sensor and the management system information.
//
// Each operation is one exchange (the chassis status three) whose response is read by the
// decoders of identity_decode.h; a record is written only when its exchange succeeded. The
// version, status and sensor messages live in module-static buffers, the others on the stack.
#include <array>

#include "proto/identity/decode.h"
#include "tv_api/tv_inter.h"

namespace {

namespace L = tv::layout::identity;

thread_local std::array<std::uint8_t, L::version::req_len> m_get_ver_req;
thread_local std::array<std::uint8_t, L::version::ret_len> m_get_ver_ret;
thread_local std::array<std::uint8_t, L::status::req_len> m_get_stat_req;
thread_local std::array<std::uint8_t, L::status::ret_len> m_get_stat_ret;
thread_local std::array<std::uint8_t, L::sensors::req_len> m_get_sensors_req;
thread_local std::array<std::uint8_t, L::sensors::ret_len> m_get_sensors_ret;

int32_t get_chassis_status(tv_context* ctx, tv_chassis_status& status) {
    tv::build_request(ctx, m_get_stat_req, TV_CMD_CHASSIS_STATUS);
    // A failed status exchange is the operation's result: going on to the version and sensor
    // would report success over a record whose status fields were never filled.
    if (const tv::exchanged x = tv::exchange(ctx, m_get_stat_req, m_get_stat_ret); !x.ok())
        return x.status;
    tv::decode_chassis_status(m_get_stat_ret, status);

    // The meaning of the sensor's state codes depends on the firmware revision.
    tv_version_info version{};
    if (const int32_t code = tv::get_version(ctx, version); code != TV_OK) {
        status.sensor_status = -1;
        return code;
    }
    tv::build_config_request(ctx, m_get_sensors_req, L::subcmd::sensors);
    const tv::exchanged x = tv::exchange(ctx, m_get_sensors_req, m_get_sensors_ret);
    status.sensor_status =
        x.ok() ? tv::decode_sensor_status(m_get_sensors_ret, version.flash_rev) : -1;
    return x.status;
}

}  // namespace

namespace tv {

int32_t get_version(tv_context* ctx, tv_version_info& version) {
    build_request(ctx, m_get_ver_req, TV_CMD_VERSION);
    const exchanged x = exchange(ctx, m_get_ver_req, m_get_ver_ret);
    if (x.ok()) decode_version(m_get_ver_ret, version);
    return x.status;
}

}  // namespace tv

extern "C" {

int32_t tv_get_version(tv_context* ctx, tv_version_info* version) {
    if (version == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::get_version(ctx, *version));
}

int32_t tv_get_switch_model(tv_context* ctx, uint32_t* model) {
    if (model == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::config_query<L::model::req_len, L::model::ret_len>(
        ctx, L::subcmd::model, [&](tv::wire::cbytes resp) { *model = tv::decode_model(resp); }));
}

int32_t tv_get_chassis_status(tv_context* ctx, tv_chassis_status* status) {
    if (status == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(get_chassis_status(ctx, *status));
}

int32_t tv_get_snmp_sysconfig(tv_context* ctx, tv_sysconfig* cfg) {
    if (cfg == nullptr) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::config_query<L::sysconfig::req_len, L::sysconfig::ret_len>(
        ctx, L::subcmd::sysconfig,
        [&](tv::wire::cbytes resp) { tv::decode_sysconfig(resp, *cfg); }));
}

int32_t calc_revision(int32_t revision) { return tv::normalised_revision(revision); }

}  // extern "C"
