// Call control wired to the real voice engine, agent modes, manager session
// and database layer. Kept apart from the call logic so that its tests can
// run it against fakes.
#include <atomic>
#include <iaxclient.h>

#include "agent/agent_modes.h"
#include "agent/manager_session.h"
#include "agent/socket_layer.h"
#include "call/call_services.h"
#include "optout/dnc_database.h"

namespace {

constexpr CallServices kRealServices{
    iaxc_set_preferred_source_udp_port,
    iaxc_initialize,
    iaxc_shutdown,
    iaxc_start_processing_thread,
    iaxc_stop_processing_thread,
    iaxc_set_event_callback,
    iaxc_register,
    iaxc_unregister,
    iaxc_set_callerid,
    iaxc_set_formats,
    iaxc_answer_call,
    iaxc_dump_call,
    iaxc_quelch,
    iaxc_unquelch,
    iaxc_blind_transfer_call,
    iaxc_send_dtmf,
    iaxc_audio_devices_get,
    iaxc_audio_devices_set,
    iaxc_set_audio_output,
    iaxc_set_silence_threshold,
    iaxc_set_filters,
    iaxc_input_level_set,
    iaxc_output_level_set,
    iaxc_enable_jitterbuffer,
    iaxc_set_jb_target_extra,
    iaxc_play_sound,
    iaxc_stop_sound,
    runReleaseAction,
    runInboundAnswerNotReady,
    killTimedAcwTimers,
    OnBnClickedButLogout,
    init_iaxAgiSocket,
    agi_Logout,
    utl_getlocalipaddresses,
    dbUnInitialize,
};

std::atomic<const CallServices*> l_services{&kRealServices};

}  // namespace

const CallServices& callServices() {
    return *l_services.load();
}

void setCallServices(const CallServices* services) {
    l_services.store(services ? services : &kRealServices);
}
