/*
 * The voice engine's public C API: an IAX2 user agent with sound devices,
 * codecs and locally played sounds, offered under the iaxclient 2.x names,
 * records, constants and return conventions.
 *
 * Call numbers ("callNo") are indexes into the engine's call slots
 * (0 .. num_calls-1), never IAX2 wire call numbers. Only the selected call
 * exchanges audio.
 *
 * Thread-safety: every function may be called from any thread once
 * iaxc_initialize has returned, including from inside the event callback.
 * Events reach the callback from one engine thread, in the order they
 * happened, never while the engine holds its lock.
 */
#ifndef QUENDRA_IAXCLIENT_H
#define QUENDRA_IAXCLIENT_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Audio and video formats (identical to the IAX2 wire codec bits) ---- */
#define IAXC_FORMAT_G723_1 (1 << 0)
#define IAXC_FORMAT_GSM (1 << 1)
#define IAXC_FORMAT_ULAW (1 << 2)
#define IAXC_FORMAT_ALAW (1 << 3)
#define IAXC_FORMAT_G726 (1 << 4)
#define IAXC_FORMAT_ADPCM (1 << 5)
#define IAXC_FORMAT_SLINEAR (1 << 6)
#define IAXC_FORMAT_LPC10 (1 << 7)
#define IAXC_FORMAT_G729A (1 << 8)
#define IAXC_FORMAT_SPEEX (1 << 9)
#define IAXC_FORMAT_ILBC (1 << 10)
#define IAXC_FORMAT_MAX_AUDIO (1 << 15)
#define IAXC_FORMAT_JPEG (1 << 16)
#define IAXC_FORMAT_PNG (1 << 17)
#define IAXC_FORMAT_H261 (1 << 18)
#define IAXC_FORMAT_H263 (1 << 19)
#define IAXC_FORMAT_H263_PLUS (1 << 20)
#define IAXC_FORMAT_H264 (1 << 21)
#define IAXC_FORMAT_MPEG4 (1 << 22)
#define IAXC_FORMAT_THEORA (1 << 24)
#define IAXC_FORMAT_MAX_VIDEO (1 << 24)

#define IAXC_AUDIO_FORMAT_MASK ((1 << 16) - 1)
#define IAXC_VIDEO_FORMAT_MASK (((1 << 25) - 1) & ~IAXC_AUDIO_FORMAT_MASK)

/* ---- Event types ---- */
#define IAXC_EVENT_TEXT 1
#define IAXC_EVENT_LEVELS 2
#define IAXC_EVENT_STATE 3
#define IAXC_EVENT_NETSTAT 4
#define IAXC_EVENT_URL 5
#define IAXC_EVENT_VIDEO 6
#define IAXC_EVENT_REGISTRATION 8
#define IAXC_EVENT_DTMF 9
#define IAXC_EVENT_AUDIO 10
#define IAXC_EVENT_VIDEOSTATS 11

#define IAXC_EVENT_BUFSIZ 256

/* ---- Call state bits ---- */
#define IAXC_CALL_STATE_FREE 0
#define IAXC_CALL_STATE_ACTIVE (1 << 1)
#define IAXC_CALL_STATE_OUTGOING (1 << 2)
#define IAXC_CALL_STATE_RINGING (1 << 3)
#define IAXC_CALL_STATE_COMPLETE (1 << 4)
#define IAXC_CALL_STATE_SELECTED (1 << 5)
#define IAXC_CALL_STATE_BUSY (1 << 6)
#define IAXC_CALL_STATE_TRANSFER (1 << 7)

/* ---- Registration replies ---- */
#define IAXC_REGISTRATION_REPLY_ACK 18
#define IAXC_REGISTRATION_REPLY_REJ 30
#define IAXC_REGISTRATION_REPLY_TIMEOUT 6

/* ---- Text event types ---- */
#define IAXC_TEXT_TYPE_STATUS 1
#define IAXC_TEXT_TYPE_NOTICE 2
#define IAXC_TEXT_TYPE_ERROR 3
#define IAXC_TEXT_TYPE_FATALERROR 4
#define IAXC_TEXT_TYPE_IAX 5

/* ---- URL event types ---- */
#define IAXC_URL_URL 1
#define IAXC_URL_LDCOMPLETE 2
#define IAXC_URL_LINKURL 3
#define IAXC_URL_LINKREJECT 4
#define IAXC_URL_UNLINK 5

/* ---- Source of audio/video events ---- */
#define IAXC_SOURCE_LOCAL 1
#define IAXC_SOURCE_REMOTE 2

/* ---- Filters ---- */
#define IAXC_FILTER_DENOISE (1 << 0)
#define IAXC_FILTER_AGC (1 << 1)
#define IAXC_FILTER_ECHO (1 << 2)
#define IAXC_FILTER_AAGC (1 << 3)
#define IAXC_FILTER_CN (1 << 4)

/* ---- Audio device capabilities ---- */
#define IAXC_AD_INPUT (1 << 0)
#define IAXC_AD_OUTPUT (1 << 1)
#define IAXC_AD_RING (1 << 2)
#define IAXC_AD_INPUT_DEFAULT (1 << 3)
#define IAXC_AD_OUTPUT_DEFAULT (1 << 4)
#define IAXC_AD_RING_DEFAULT (1 << 5)

/* ---- Audio preferences ---- */
#define IAXC_AUDIO_PREF_RECV_LOCAL_RAW (1 << 0)
#define IAXC_AUDIO_PREF_RECV_LOCAL_ENCODED (1 << 1)
#define IAXC_AUDIO_PREF_RECV_REMOTE_RAW (1 << 2)
#define IAXC_AUDIO_PREF_RECV_REMOTE_ENCODED (1 << 3)
#define IAXC_AUDIO_PREF_SEND_DISABLE (1 << 4)

/* ---- Event records ---- */
struct iaxc_ev_levels {
    float input;  /* dB, -99 = silence */
    float output; /* dB, -99 = silence */
};

struct iaxc_ev_text {
    int type;   /* IAXC_TEXT_TYPE_* */
    int callNo; /* -1 for general messages */
    char message[IAXC_EVENT_BUFSIZ];
};

struct iaxc_ev_call_state {
    int callNo;
    int state;   /* IAXC_CALL_STATE_* bits */
    int format;  /* negotiated audio format bit, 0 until known */
    int vformat; /* video format, always 0 here */
    char remote[IAXC_EVENT_BUFSIZ];
    char remote_name[IAXC_EVENT_BUFSIZ];
    char local[IAXC_EVENT_BUFSIZ];
    char local_context[IAXC_EVENT_BUFSIZ];
};

struct iaxc_netstat {
    int jitter;
    int losspct;
    int losscnt;
    int packets;
    int delay;
    int dropped;
    int ooo;
};

struct iaxc_ev_netstats {
    int callNo;
    int rtt;
    struct iaxc_netstat local;
    struct iaxc_netstat remote;
};

struct iaxc_video_stats {
    unsigned long received_slices;
    unsigned long acc_recv_size;
    unsigned long sent_slices;
    unsigned long acc_sent_size;
    unsigned long dropped_frames;
    unsigned long inbound_frames;
    unsigned long outbound_frames;
    float avg_inbound_fps;
    unsigned long avg_inbound_bps;
    float avg_outbound_fps;
    unsigned long avg_outbound_bps;
};

struct iaxc_ev_video_stats {
    int callNo;
    struct iaxc_video_stats stats;
};

struct iaxc_ev_url {
    int callNo;
    int type; /* IAXC_URL_* */
    char url[IAXC_EVENT_BUFSIZ];
};

struct iaxc_ev_video {
    int callNo;
    unsigned int ts;
    int format;
    int width;
    int height;
    int encoded;
    int source;
    int size;
    char* data;
};

struct iaxc_ev_audio {
    int callNo;
    unsigned int ts;
    int format;
    int encoded;
    int source; /* IAXC_SOURCE_* */
    int size;
    unsigned char* data;
};

struct iaxc_ev_registration {
    int id;       /* the id iaxc_register returned */
    int reply;    /* IAXC_REGISTRATION_REPLY_* */
    int msgcount; /* (old << 8) | new, or -1 when the server sent none */
};

struct iaxc_ev_dtmf {
    int callNo;
    char digit;
};

typedef struct iaxc_event_struct {
    struct iaxc_event_struct* next; /* engine-internal */
    int type;                       /* IAXC_EVENT_* */
    union {
        struct iaxc_ev_levels levels;
        struct iaxc_ev_text text;
        struct iaxc_ev_call_state call;
        struct iaxc_ev_netstats netstats;
        struct iaxc_ev_video_stats videostats;
        struct iaxc_ev_url url;
        struct iaxc_ev_video video;
        struct iaxc_ev_audio audio;
        struct iaxc_ev_registration reg;
        struct iaxc_ev_dtmf dtmf;
    } ev;
} iaxc_event;

/* Returns > 0 when the event was handled, 0 when not (the engine then
 * prints TEXT messages to stderr), < 0 on error. */
typedef int (*iaxc_event_callback_t)(iaxc_event e);

/* ---- Sound and device records ---- */
struct iaxc_sound {
    short* data;             /* 8 kHz mono signed 16-bit samples */
    long len;                /* number of samples */
    int malloced;            /* non-zero: the engine frees data when the sound ends */
    int channel;             /* overwritten from the ring argument of iaxc_play_sound */
    int repeat;              /* 0 once, N > 0 N + 1 times, negative until stopped */
    long pos;                /* engine-internal */
    int id;                  /* engine-internal */
    struct iaxc_sound* next; /* engine-internal */
};

struct iaxc_audio_device {
    const char* name;
    long capabilities; /* IAXC_AD_* */
    int devID;
};

/* ---- Start-up and shutdown ---- */

/* Must precede iaxc_initialize: 0 -> 4569, < 0 -> chosen by the system,
 * > 0 -> that port (falls back to a system-chosen one when in use). */
void iaxc_set_preferred_source_udp_port(int port);
/* The UDP port actually bound, or -1 before iaxc_initialize. Its type is
 * that of the iaxclient API: ports above 32767 read negative (cast to
 * unsigned short). */
short iaxc_get_bind_port(void);
/* 0 on success, -1 on failure. num_calls <= 0 gives one call slot. */
int iaxc_initialize(int num_calls);
/* Hangs up every call, closes audio and releases the engine. */
void iaxc_shutdown(void);
/* 0 on success, -1 when the threads cannot be created. */
int iaxc_start_processing_thread(void);
/* Stops and joins the engine threads; always 0. */
int iaxc_stop_processing_thread(void);
void iaxc_set_event_callback(iaxc_event_callback_t func);
void iaxc_millisleep(long ms);
/* Copies the engine version into ver (at least IAXC_EVENT_BUFSIZ bytes). */
char* iaxc_version(char* ver);

/* ---- Registration ---- */

/* host: name or IPv4 address with optional ":port". Returns the
 * registration id (1, 2, ...) or -1. */
int iaxc_register(const char* user, const char* pass, const char* host);
/* Sends a release and stops refreshing: 1 when the id existed, else 0. */
int iaxc_unregister(int id);

/* ---- Calls ---- */

void iaxc_set_callerid(const char* name, const char* number);
/* preferred: one IAXC_FORMAT_* bit; allowed: a mask of them. */
void iaxc_set_formats(int preferred, int allowed);
/* dest: "[user[:secret]@]host[:port][/exten[@context]]". Returns the call
 * slot used (selected afterwards) or -1. */
int iaxc_call(const char* dest);
int iaxc_call_ex(const char* dest, const char* callerid_name, const char* callerid_number, int video);
/* Answers call callNo and selects it. */
void iaxc_answer_call(int callNo);
/* Hangs up the selected call. */
void iaxc_dump_call(void);
void iaxc_dump_call_number(int callNo);
/* Rejects the selected call / call callNo. */
void iaxc_reject_call(void);
void iaxc_reject_call_number(int callNo);
void iaxc_send_busy_on_incoming_call(int callNo);
/* 0 on success, -1 when the call has no session or the peer holds us. */
int iaxc_quelch(int callNo, int MOH);
/* 0 on success, -1 when the call has no session. */
int iaxc_unquelch(int callNo);
void iaxc_blind_transfer_call(int callNo, const char* number);
/* Sends a DTMF digit on the selected call. */
void iaxc_send_dtmf(char digit);
/* Sends a text frame on the selected call. */
void iaxc_send_text(const char* text);
/* 0, or -1 when callNo is out of range. callNo < 0 deselects. */
int iaxc_select_call(int callNo);
int iaxc_first_free_call(void);
int iaxc_selected_call(void);
/* 0 and the figures of call callNo, or -1 when it has no session. */
int iaxc_get_netstats(int callNo, int* rtt, struct iaxc_netstat* local, struct iaxc_netstat* remote);

/* ---- Audio ---- */

/* Always 0; *devs stays valid until iaxc_shutdown. */
int iaxc_audio_devices_get(struct iaxc_audio_device** devs, int* nDevs, int* input, int* output, int* ring);
int iaxc_audio_devices_set(int input, int output, int ring);
/* 0 plays remote audio; non-zero decodes it without playing it. */
void iaxc_set_audio_output(int mode);
/* dB; -99 transmits always. */
void iaxc_set_silence_threshold(float thr);
void iaxc_set_filters(int filters);
int iaxc_get_filters(void);
/* 0.0 .. 1.0; 0 on success, -1 on failure. Getters return the value last set. */
int iaxc_input_level_set(float level);
int iaxc_output_level_set(float level);
float iaxc_input_level_get(void);
float iaxc_output_level_get(void);
int iaxc_mic_boost_get(void);
int iaxc_mic_boost_set(int enable);
/* Receive jitter buffer on or off for calls set up afterwards. */
void iaxc_enable_jitterbuffer(int on);
/* Milliseconds added to the jitter buffer's target delay, -1 = built-in. */
void iaxc_set_jb_target_extra(long value);
void iaxc_set_min_outgoing_framesize(int samples);
unsigned int iaxc_get_audio_prefs(void);
int iaxc_set_audio_prefs(unsigned int prefs);
/* Returns the sound id (1, 2, ...). The struct is copied, not the samples. */
int iaxc_play_sound(struct iaxc_sound* sound, int ring);
/* 0 when found and removed, 1 when not found. */
int iaxc_stop_sound(int id);

#ifdef __cplusplus
}
#endif

#endif /* QUENDRA_IAXCLIENT_H */
