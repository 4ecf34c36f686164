// libmpv, loaded on the first play rather than linked: linked, its couple of hundred shared
// libraries (the codecs and everything they use) would be loaded and relocated at every start,
// and an idle window would carry them.
#pragma once

#include <mpv/client.h>
#include <mpv/render.h>

#include <QString>

namespace vidrake {

// The functions of libmpv that the player calls.
// clang-format off
#define VIDRAKE_MPV_FUNCTIONS(X)                                                               \
    X(mpv_client_api_version) X(mpv_create) X(mpv_initialize) X(mpv_terminate_destroy)        \
    X(mpv_set_option_string) X(mpv_error_string) X(mpv_request_log_messages)                  \
    X(mpv_observe_property) X(mpv_set_wakeup_callback) X(mpv_command_ret)                     \
    X(mpv_free_node_contents) X(mpv_set_property) X(mpv_get_property) X(mpv_wait_event)       \
    X(mpv_render_context_create) X(mpv_render_context_set_update_callback)                    \
    X(mpv_render_context_free) X(mpv_render_context_update) X(mpv_render_context_render)
// clang-format on

struct MpvLibrary {
#define VIDRAKE_MPV_MEMBER(name) decltype(&::name) name = nullptr;
    VIDRAKE_MPV_FUNCTIONS(VIDRAKE_MPV_MEMBER)
#undef VIDRAKE_MPV_MEMBER
};

// Loads the library on the first call and keeps it for the rest of the run. Null, with the
// reason in *failure, when it cannot be loaded or is of another major version.
const MpvLibrary* mpvLibrary(QString* failure);

}  // namespace vidrake
