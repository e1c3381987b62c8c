// A probe phone for the interop tests: one voice engine driven through its
// C API by commands read from stdin, one command a line, with every engine
// event written to stdout as one line. Its microphone and speaker are WAV
// files (QUENDRA_AUDIO_IN / QUENDRA_AUDIO_OUT), so a test can feed it a tone
// and analyse what it heard.
//
// Settings as the program ships them: no input filters (they would take a
// steady tone for noise), no jitter buffer, unity levels; and, as the
// program does at start-up, the process runs at nice -10 where permitted.
//
// Commands (slot = the engine's call slot):
//   register USER SECRET HOST   -> "OK register <id>"
//   unregister [ID]             -> "OK unregister <result>" (the last id by default)
//   formats PREFERRED ALLOWED.. -> codec names gsm, ulaw, alaw
//   call DEST                   -> "OK call <slot>"
//   answer SLOT | select SLOT
//   hold SLOT [moh]             -> "OK hold <result>"
//   unhold SLOT                 -> "OK unhold <result>"
//   dtmf DIGITS                 -> each digit 250 ms apart, then "OK dtmf"
//   transfer SLOT NUMBER
//   hangup [SLOT]               -> the selected call, or that slot's
//   mark                        -> "OK mark <samples written to the speaker file>"
//   stats SLOT                  -> "OK stats <result> rtt=.. jitter=.. loss=.. packets=.. delay=.. dropped=..
//   ooo=.." quit                        -> releases registrations, stops the engine
// Events:
//   READY port=<bound UDP port> nice=<nice value>
//   REG id=<id> reply=<reply> msgcount=<n>
//   STATE slot=<n> state=0x<bits> format=<bit> remote=<..> remote_name=<..> local=<..> heard=<samples>
//   TEXT type=<n> slot=<n> <message>
//   DTMF slot=<n> digit=<c>
//   LEVELS in=<dB> out=<dB>
//   NETSTAT slot=<n> rtt=<ms> jitter=<ms> loss=<n> packets=<n>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <iaxclient.h>

namespace {

std::mutex g_outputLock;
int g_lastRegistration = -1;
std::vector<int> g_registrations;

void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void say(const char* format, ...) {
    std::lock_guard<std::mutex> guard(g_outputLock);
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Samples in the speaker file so far: its size less the 44-byte header, in
// 16-bit samples. The engine keeps the header current after every write.
long heardSamples() {
    const char* path = std::getenv("QUENDRA_AUDIO_OUT");
    struct stat st {};
    if (path == nullptr || ::stat(path, &st) != 0 || st.st_size < 44) return 0;
    return static_cast<long>((st.st_size - 44) / 2);
}

// Texts are printed on one line: line breaks become blanks.
std::string oneLine(const char* text, size_t capacity) {
    std::string s(text, strnlen(text, capacity));
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

int onEvent(iaxc_event e) {
    switch (e.type) {
        case IAXC_EVENT_REGISTRATION:
            say("REG id=%d reply=%d msgcount=%d", e.ev.reg.id, e.ev.reg.reply, e.ev.reg.msgcount);
            break;
        case IAXC_EVENT_STATE: {
            const iaxc_ev_call_state& c = e.ev.call;
            say("STATE slot=%d state=0x%x format=%d remote=%s remote_name=%s local=%s heard=%ld", c.callNo,
                c.state, c.format, oneLine(c.remote, sizeof c.remote).c_str(),
                oneLine(c.remote_name, sizeof c.remote_name).c_str(), oneLine(c.local, sizeof c.local).c_str(),
                heardSamples());
            break;
        }
        case IAXC_EVENT_TEXT:
            say("TEXT type=%d slot=%d %s", e.ev.text.type, e.ev.text.callNo,
                oneLine(e.ev.text.message, sizeof e.ev.text.message).c_str());
            break;
        case IAXC_EVENT_DTMF:
            say("DTMF slot=%d digit=%c", e.ev.dtmf.callNo, e.ev.dtmf.digit);
            break;
        case IAXC_EVENT_LEVELS:
            say("LEVELS in=%.1f out=%.1f", e.ev.levels.input, e.ev.levels.output);
            break;
        case IAXC_EVENT_NETSTAT:
            say("NETSTAT slot=%d rtt=%d jitter=%d loss=%d packets=%d", e.ev.netstats.callNo, e.ev.netstats.rtt,
                e.ev.netstats.local.jitter, e.ev.netstats.local.losscnt, e.ev.netstats.local.packets);
            break;
        default:
            say("EVENT type=%d", e.type);
            break;
    }
    return 1;
}

int formatNamed(const std::string& name) {
    if (name == "gsm") return IAXC_FORMAT_GSM;
    if (name == "ulaw") return IAXC_FORMAT_ULAW;
    if (name == "alaw") return IAXC_FORMAT_ALAW;
    return 0;
}

bool readInt(std::istringstream& in, int& value) {
    return static_cast<bool>(in >> value);
}

// Runs one command line; false on "quit".
bool run(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    if (!(in >> command)) return true;
    int slot = 0;
    if (command == "register") {
        std::string user, secret, host;
        if (!(in >> user >> secret >> host)) {
            say("ERR register needs USER SECRET HOST");
            return true;
        }
        const int id = iaxc_register(user.c_str(), secret.c_str(), host.c_str());
        if (id >= 0) {
            g_lastRegistration = id;
            g_registrations.push_back(id);
        }
        say("OK register %d", id);
    } else if (command == "unregister") {
        int id = g_lastRegistration;
        readInt(in, id);
        say("OK unregister %d", iaxc_unregister(id));
    } else if (command == "formats") {
        std::string preferred, name;
        in >> preferred;
        int allowed = 0;
        while (in >> name) allowed |= formatNamed(name);
        iaxc_set_formats(formatNamed(preferred), allowed);
        say("OK formats");
    } else if (command == "call") {
        std::string dest;
        in >> dest;
        say("OK call %d", iaxc_call(dest.c_str()));
    } else if (command == "answer" && readInt(in, slot)) {
        iaxc_answer_call(slot);
        say("OK answer");
    } else if (command == "select" && readInt(in, slot)) {
        say("OK select %d", iaxc_select_call(slot));
    } else if (command == "hold" && readInt(in, slot)) {
        std::string moh;
        in >> moh;
        say("OK hold %d", iaxc_quelch(slot, moh == "moh" ? 1 : 0));
    } else if (command == "unhold" && readInt(in, slot)) {
        say("OK unhold %d", iaxc_unquelch(slot));
    } else if (command == "dtmf") {
        std::string digits;
        in >> digits;
        for (char digit : digits) {
            iaxc_send_dtmf(digit);
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        say("OK dtmf");
    } else if (command == "transfer" && readInt(in, slot)) {
        std::string number;
        in >> number;
        iaxc_blind_transfer_call(slot, number.c_str());
        say("OK transfer");
    } else if (command == "hangup") {
        if (readInt(in, slot))
            iaxc_dump_call_number(slot);
        else
            iaxc_dump_call();
        say("OK hangup");
    } else if (command == "stats" && readInt(in, slot)) {
        int rtt = 0;
        iaxc_netstat local{}, remote{};
        const int rc = iaxc_get_netstats(slot, &rtt, &local, &remote);
        say("OK stats %d rtt=%d jitter=%d loss=%d packets=%d delay=%d dropped=%d ooo=%d", rc, rtt, local.jitter,
            local.losscnt, local.packets, local.delay, local.dropped, local.ooo);
    } else if (command == "mark") {
        say("OK mark %ld", heardSamples());
    } else if (command == "quit") {
        return false;
    } else {
        say("ERR unknown command: %s", line.c_str());
    }
    return true;
}

}  // namespace

int main() {
    // Before the engine's threads start, so that they inherit it.
    constexpr int kProgramNice = -10;
    ::setpriority(PRIO_PROCESS, 0, kProgramNice);
    iaxc_set_preferred_source_udp_port(-1);
    if (iaxc_initialize(2) != 0) {
        say("ERR iaxc_initialize failed");
        return 1;
    }
    iaxc_set_filters(0);
    iaxc_enable_jitterbuffer(0);
    iaxc_set_jb_target_extra(0);
    iaxc_set_silence_threshold(-99.0f);
    iaxc_set_formats(IAXC_FORMAT_GSM, IAXC_FORMAT_GSM | IAXC_FORMAT_ULAW | IAXC_FORMAT_ALAW);
    iaxc_set_event_callback(onEvent);
    if (iaxc_start_processing_thread() != 0) {
        say("ERR iaxc_start_processing_thread failed");
        iaxc_shutdown();
        return 1;
    }
    say("READY port=%d nice=%d", static_cast<unsigned short>(iaxc_get_bind_port()),
        ::getpriority(PRIO_PROCESS, 0));

    std::string line;
    while (std::getline(std::cin, line) && run(line)) {
    }
    for (int id : g_registrations) iaxc_unregister(id);
    iaxc_stop_processing_thread();
    iaxc_shutdown();
    say("BYE");
    return 0;
}
