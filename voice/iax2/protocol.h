// IAX2 protocol numbers (RFC 5456, with the additions Asterisk speaks):
// frame types, IAX command and control subclasses, information element ids,
// authentication methods and the sizes that bound every frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace iax2 {

// Default UDP port of IAX2.
inline constexpr uint16_t kDefaultPort = 4569;
// Largest datagram sent or accepted.
inline constexpr size_t kMaxDatagram = 4096;
inline constexpr size_t kFullHeaderSize = 12;
inline constexpr size_t kMiniHeaderSize = 4;
// Protocol version carried in the VERSION element of NEW.
inline constexpr uint16_t kProtocolVersion = 2;
// Call numbers are 15 bits; 0 means "not yet known".
inline constexpr uint16_t kMaxCallNumber = 0x7FFF;
// Source call number of stateless ("apathetic") server replies.
inline constexpr uint16_t kApatheticCallNumber = 1;

namespace frametype {
enum : uint8_t {
    Dtmf = 1,  // DTMF end; subclass = ASCII digit
    Voice = 2,
    Video = 3,
    Control = 4,
    Null = 5,
    Iax = 6,
    Text = 7,
    Image = 8,
    Html = 9,
    Cng = 10,
    Modem = 11,
    DtmfBegin = 12,
};
}

namespace cmd {
enum : uint8_t {
    New = 1,
    Ping = 2,
    Pong = 3,
    Ack = 4,
    Hangup = 5,
    Reject = 6,
    Accept = 7,
    AuthReq = 8,
    AuthRep = 9,
    Inval = 10,
    LagRq = 11,
    LagRp = 12,
    RegReq = 13,
    RegAuth = 14,
    RegAck = 15,
    RegRej = 16,
    RegRel = 17,
    Vnak = 18,
    DpReq = 19,
    DpRep = 20,
    Dial = 21,
    TxReq = 22,
    TxCnt = 23,
    TxAcc = 24,
    TxReady = 25,
    TxRel = 26,
    TxRej = 27,
    Quelch = 28,
    Unquelch = 29,
    Poke = 30,
    Page = 31,
    Mwi = 32,
    Unsupport = 33,
    Transfer = 34,
    Provision = 35,
    FwDownl = 36,
    FwData = 37,
    TxMedia = 38,
    RtKey = 39,
    CallToken = 40,
};
// Commands this stack has a number for (whether or not it acts on them);
// anything else is answered with UNSUPPORT.
inline constexpr bool isKnownCommand(uint32_t subclass) {
    return subclass >= New && subclass <= CallToken;
}
}  // namespace cmd

namespace ctl {
enum : uint8_t {
    Hangup = 1,
    Ring = 2,
    Ringing = 3,
    Answer = 4,
    Busy = 5,
    TakeOffHook = 6,
    OffHook = 7,
    Congestion = 8,
    Flash = 9,
    Wink = 10,
    Option = 11,
    Key = 12,
    Unkey = 13,
    Progress = 14,
    Proceeding = 15,
    Hold = 16,
    Unhold = 17,
    VidUpdate = 18,
    SrcUpdate = 20,
    Transfer = 21,
    ConnectedLine = 22,
    Redirecting = 23,
    SrcChange = 26,
};
}

namespace ie {
enum : uint8_t {
    CalledNumber = 1,
    CallingNumber = 2,
    CallingAni = 3,
    CallingName = 4,
    CalledContext = 5,
    Username = 6,
    Password = 7,
    Capability = 8,
    Format = 9,
    Language = 10,
    Version = 11,
    AdsiCpe = 12,
    Dnid = 13,
    AuthMethods = 14,
    Challenge = 15,
    Md5Result = 16,
    RsaResult = 17,
    ApparentAddr = 18,
    Refresh = 19,
    DpStatus = 20,
    CallNo = 21,
    Cause = 22,
    IaxUnknown = 23,
    MsgCount = 24,
    AutoAnswer = 25,
    MusicOnHold = 26,
    TransferId = 27,
    Rdnis = 28,
    Provisioning = 29,
    AesProvisioning = 30,
    DateTime = 31,
    DeviceType = 32,
    ServiceIdent = 33,
    FirmwareVer = 34,
    FwBlockDesc = 35,
    FwBlockData = 36,
    ProvVer = 37,
    CallingPres = 38,
    CallingTon = 39,
    CallingTns = 40,
    SamplingRate = 41,
    CauseCode = 42,
    Encryption = 43,
    EncKey = 44,
    CodecPrefs = 45,
    RrJitter = 46,
    RrLoss = 47,
    RrPkts = 48,
    RrDelay = 49,
    RrDropped = 50,
    RrOoo = 51,
    Variable = 52,
    OspToken = 53,
    CallToken = 54,
    Capability2 = 55,
    Format2 = 56,
};
}

// Bits of the AUTHMETHODS element.
namespace auth {
enum : uint16_t {
    Plaintext = 1,
    Md5 = 2,
    Rsa = 4,
};
}

// Q.850 cause codes used in CAUSECODE elements.
namespace cause {
enum : uint8_t {
    UnallocatedNumber = 1,
    NoRouteDestination = 3,
    NormalClearing = 16,
    UserBusy = 17,
    NoAnswer = 19,
    CallRejected = 21,
    DestinationOutOfOrder = 27,
    FacilityRejected = 29,
    NormalUnspecified = 31,
    Congestion = 34,
    BearerCapabilityNotAvail = 58,
    FacilityNotSubscribed = 50,
};
}

// Codec bits as carried in FORMAT/CAPABILITY and voice subclasses.
namespace codec {
enum : uint32_t {
    G723_1 = 1u << 0,
    Gsm = 1u << 1,
    Ulaw = 1u << 2,
    Alaw = 1u << 3,
    G726 = 1u << 4,
    Adpcm = 1u << 5,
    Slinear = 1u << 6,
    Lpc10 = 1u << 7,
    G729a = 1u << 8,
    Speex = 1u << 9,
    Ilbc = 1u << 10,
};
}

}  // namespace iax2
