#include "call/event_texts.h"

#include <cstring>
#include <iaxclient.h>

#include "app/settings.h"

namespace {

struct Named {
    int value;
    const char* name;
};

constexpr Named kStateFlags[] = {
    {IAXC_CALL_STATE_ACTIVE, "Active"},     {IAXC_CALL_STATE_OUTGOING, "Outgoing"},
    {IAXC_CALL_STATE_RINGING, "Ringing"},   {IAXC_CALL_STATE_COMPLETE, "Complete"},
    {IAXC_CALL_STATE_SELECTED, "Selected"}, {IAXC_CALL_STATE_BUSY, "Busy"},
    {IAXC_CALL_STATE_TRANSFER, "Transfer"},
};

constexpr Named kFormats[] = {
    {IAXC_FORMAT_G723_1, "G723_1"},       {IAXC_FORMAT_GSM, "GSM"},
    {IAXC_FORMAT_ULAW, "Ulaw"},           {IAXC_FORMAT_ALAW, "Alaw"},
    {IAXC_FORMAT_G726, "G726"},           {IAXC_FORMAT_ADPCM, "ADPCM"},
    {IAXC_FORMAT_SLINEAR, "SLINEAR"},     {IAXC_FORMAT_LPC10, "LPC10"},
    {IAXC_FORMAT_G729A, "G729A"},         {IAXC_FORMAT_SPEEX, "SPEEX"},
    {IAXC_FORMAT_ILBC, "ILBC"},           {IAXC_FORMAT_MAX_AUDIO, "MAX_AUDIO"},
    {IAXC_FORMAT_JPEG, "JPEG"},           {IAXC_FORMAT_PNG, "PNG"},
    {IAXC_FORMAT_H261, "H261"},           {IAXC_FORMAT_H263, "H263"},
    {IAXC_FORMAT_H263_PLUS, "H263_Plus"}, {IAXC_FORMAT_H264, "H264"},
    {IAXC_FORMAT_MPEG4, "MPEG4"},         {IAXC_FORMAT_THEORA, "THEORA"},
};

constexpr Named kTextTypes[] = {
    {IAXC_TEXT_TYPE_STATUS, "Status"},         {IAXC_TEXT_TYPE_NOTICE, "Notice"}, {IAXC_TEXT_TYPE_ERROR, "Error"},
    {IAXC_TEXT_TYPE_FATALERROR, "FatalError"}, {IAXC_TEXT_TYPE_IAX, "IAX"},
};

constexpr Named kRegistrationReplies[] = {
    {IAXC_REGISTRATION_REPLY_ACK, "Accepted"},
    {IAXC_REGISTRATION_REPLY_REJ, "Rejected"},
    {IAXC_REGISTRATION_REPLY_TIMEOUT, "Timeout"},
};

template <int N>
const char* nameOf(const Named (&table)[N], int value) {
    for (const Named& entry : table) {
        if (entry.value == value) return entry.name;
    }
    return "Unknown";
}

}  // namespace

const char* getCallStateString(int state, char* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return "";
    if (state == IAXC_CALL_STATE_FREE) {
        copyText(buffer, capacity, "Free");
        return buffer;
    }
    buffer[0] = '\0';
    int used = 0;
    for (const Named& flag : kStateFlags) {
        if ((state & flag.value) == 0) continue;
        used += copyText(buffer + used, capacity - used, flag.name);
    }
    if (used == 0) copyText(buffer, capacity, "Unknown");
    return buffer;
}

const char* getFormatString(int format) {
    return nameOf(kFormats, format);
}

const char* getTextTypeString(int type) {
    return nameOf(kTextTypes, type);
}

const char* getRegistrationReplyString(int reply) {
    return nameOf(kRegistrationReplies, reply);
}
