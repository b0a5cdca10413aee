// Switch identity and chassis status: the version record, the model code, the chassis status
// with its sensor and the management system information.
//
// Each operation is one exchange (the chassis status three) whose response is read by the
// decoders of identity_decode.h; a record is written only when its exchange succeeded. The
// version, status and sensor messages live in module-static buffers, the others on the stack.
#include <array>

#include "identity_decode.h"
#include "tv_inter.h"

namespace {

namespace msg = tv::identity_msg;

namespace subcmd {
constexpr std::uint32_t sensors = 0x200;
constexpr std::uint32_t model = 0x202;
constexpr std::uint32_t sysconfig = 0x204;
}  // namespace subcmd

std::array<std::uint8_t, msg::version_req_len> m_get_ver_req;
std::array<std::uint8_t, msg::version_ret_len> m_get_ver_ret;
std::array<std::uint8_t, msg::status_req_len> m_get_stat_req;
std::array<std::uint8_t, msg::status_ret_len> m_get_stat_ret;
std::array<std::uint8_t, msg::sensors_req_len> m_get_sensors_req;
std::array<std::uint8_t, msg::sensors_ret_len> m_get_sensors_ret;

}  // namespace

extern "C" {

int32_t tv_get_version(tv_context* ctx, tv_version_info* version) {
    if (version == nullptr) return tv::fail(TV_ERR_PARAM);
    tv::build_request(ctx, m_get_ver_req, TV_CMD_VERSION);
    if (tv::exchange(ctx, m_get_ver_req, m_get_ver_ret) > 0)
        tv::decode_version(m_get_ver_ret, *version);
    return tv_api_errno;
}

int32_t tv_get_switch_model(tv_context* ctx, uint32_t* model) {
    if (model == nullptr) return tv::fail(TV_ERR_PARAM);
    return tv::config_query<msg::model_req_len, msg::model_ret_len>(
        ctx, subcmd::model, [&](tv::wire::cbytes resp) { *model = tv::decode_model(resp); });
}

int32_t tv_get_chassis_status(tv_context* ctx, tv_chassis_status* status) {
    if (status == nullptr) return tv::fail(TV_ERR_PARAM);
    tv::build_request(ctx, m_get_stat_req, TV_CMD_CHASSIS_STATUS);
    // A failed status exchange leaves those fields alone; the sensor is still read.
    if (tv::exchange(ctx, m_get_stat_req, m_get_stat_ret) > 0)
        tv::decode_chassis_status(m_get_stat_ret, *status);

    // The meaning of the sensor's state codes depends on the firmware revision.
    tv_version_info version{};
    if (tv_get_version(ctx, &version) != TV_OK) {
        status->sensor_status = -1;
        return tv_api_errno;
    }
    tv::build_config_request(ctx, m_get_sensors_req, subcmd::sensors);
    tv::exchange(ctx, m_get_sensors_req, m_get_sensors_ret);
    status->sensor_status = tv_api_errno == TV_OK
                                ? tv::decode_sensor_status(m_get_sensors_ret, version.flash_rev)
                                : -1;
    return tv_api_errno;
}

int32_t tv_get_snmp_sysconfig(tv_context* ctx, tv_sysconfig* cfg) {
    if (cfg == nullptr) return tv::fail(TV_ERR_PARAM);
    return tv::config_query<msg::sysconfig_req_len, msg::sysconfig_ret_len>(
        ctx, subcmd::sysconfig, [&](tv::wire::cbytes resp) { tv::decode_sysconfig(resp, *cfg); });
}

int32_t calc_revision(int32_t revision) { return tv::normalised_revision(revision); }

}  // extern "C"
