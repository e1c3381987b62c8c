// Registration: REGREQ/REGREL with the MD5 challenge, REGACK with the
// granted refresh, apparent address and message count, REGREJ, expiry.
#include <arpa/inet.h>

#include <ctime>
#include <random>

#include "labpbx/pbx/pbx_core.h"
#include "voice/iax2/auth.h"
#include "voice/iax2/protocol.h"
#include "voice/iax2/values.h"

namespace labpbx {

using namespace iax2;

std::string randomChallenge() {
    // A decimal random number, as the reference server's challenges are.
    static thread_local std::mt19937 gen{std::random_device{}()};
    return std::to_string(gen() % 1000000000u);
}

std::string PbxCore::mailboxOf(const ExtensionConfig& ext) const {
    if (!ext.mailbox.empty()) return ext.mailbox;
    std::string implied = ext.name + "@default";
    return mailboxes_.count(implied) ? implied : "";
}

void PbxCore::regDialogStart(Session& s, const FullHeader& h, const IeList& ies) {
    auto user = ies.string(ie::Username);
    s.release = h.subclass == cmd::RegRel;
    if (auto r = ies.u16(ie::Refresh)) s.refresh = *r;
    if (!user || user->empty()) {
        regReject(s, h);
        return;
    }
    s.user.assign(user->data(), user->size());
    // Every user, known or not, is challenged alike, so the replies do not
    // tell which extensions exist.
    s.challenge = randomChallenge();
    uint8_t buf[300];
    IeWriter w(buf, sizeof buf);
    addMd5Challenge(w, s.challenge, s.user);
    endpoint_.sendIax(s, cmd::RegAuth, w);
}

void PbxCore::regFrame(Session& s, const FullHeader& h, const IeList& ies) {
    if (h.type != frametype::Iax || s.finalSent) return;
    if (h.subclass != cmd::RegReq && h.subclass != cmd::RegRel) return;
    if (auto r = ies.u16(ie::Refresh)) s.refresh = *r;
    auto user = ies.string(ie::Username);
    const ExtensionConfig* ext = config_.findExtension(s.user);
    if (!ext || s.challenge.empty() || (user && *user != s.user) ||
        !challengeAnswered(ies, s.challenge, ext->secret)) {
        regReject(s, h);
        return;
    }
    regAccept(s);
}

void PbxCore::regReject(Session& s, const FullHeader& h) {
    endpoint_.acknowledge(s, h);
    uint8_t buf[64];
    IeWriter w(buf, sizeof buf);
    w.addString(ie::Cause, "Registration Refused");
    w.addU8(ie::CauseCode, cause::FacilityRejected);
    endpoint_.sendIax(s, cmd::RegRej, w);
}

void PbxCore::regAccept(Session& s) {
    const ExtensionConfig* ext = config_.findExtension(s.user);
    uint8_t buf[512];
    IeWriter w(buf, sizeof buf);
    w.addString(ie::Username, s.user);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    DateTime dt{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    w.addU32(ie::DateTime, packDateTime(dt));

    if (s.release) {
        auto it = regs_.find(s.user);
        if (it != regs_.end()) forgetRegistration(it);
        regrels_.push_back({s.user, addressText(s.addr)});
        endpoint_.sendIax(s, cmd::RegAck, w);
        return;
    }

    // An unspecified refresh counts as the minimum; the rest is clamped.
    int expiry = s.refresh ? s.refresh : config_.minRegExpire;
    if (expiry < config_.minRegExpire) expiry = config_.minRegExpire;
    if (expiry > config_.maxRegExpire) expiry = config_.maxRegExpire;
    const bool known = regs_.count(s.user) > 0;
    Registration& reg = regs_[s.user];
    const bool moved = !known || !sameAddress(reg.addr, s.addr);
    loop_.cancelTimer(reg.timer);
    reg.addr = s.addr;
    reg.expiry = expiry;
    reg.expiresAt = Clock::now() + std::chrono::seconds(expiry + 10);
    std::string name = s.user;
    // Expired ten seconds after the granted time, as the reference does.
    reg.timer = loop_.addTimer(std::chrono::seconds(expiry + 10), [this, name] {
        auto it = regs_.find(name);
        if (it == regs_.end()) return;
        it->second.timer = 0;
        forgetRegistration(it);
    });
    // A phone at a new address is POKEd at once, before its REGACK, and
    // then at every POKE interval.
    if (moved && endpoint_.timing().pokeIntervalMs > 0) {
        endpoint_.poke(s.addr);
        schedulePoke(name);
    }

    w.addU16(ie::Refresh, static_cast<uint16_t>(expiry));
    uint8_t addr[kApparentAddrLength];
    packApparentAddress(ntohl(s.addr.sin_addr.s_addr), ntohs(s.addr.sin_port), addr);
    w.addRaw(ie::ApparentAddr, addr, sizeof addr);
    std::string mailbox = mailboxOf(*ext);
    if (!mailbox.empty()) w.addU16(ie::MsgCount, packMessageCount(0, mailboxCount(mailbox)));
    if (ext->callerNumber != ext->name || ext->callerName != ext->name) {
        w.addString(ie::CallingNumber, ext->callerNumber);
        w.addString(ie::CallingName, ext->callerName);
    }
    endpoint_.sendIax(s, cmd::RegAck, w);
}

void PbxCore::schedulePoke(const std::string& ext) {
    auto it = regs_.find(ext);
    if (it == regs_.end()) return;
    loop_.cancelTimer(it->second.pokeTimer);
    it->second.pokeTimer =
        loop_.addTimer(std::chrono::milliseconds(endpoint_.timing().pokeIntervalMs), [this, ext] {
            auto found = regs_.find(ext);
            if (found == regs_.end()) return;
            found->second.pokeTimer = 0;
            endpoint_.poke(found->second.addr);
            schedulePoke(ext);
        });
}

void PbxCore::forgetRegistration(std::map<std::string, Registration>::iterator it) {
    loop_.cancelTimer(it->second.timer);
    loop_.cancelTimer(it->second.pokeTimer);
    regs_.erase(it);
}

size_t PbxCore::dropRegistrations(const std::string& ext) {
    size_t dropped = 0;
    for (auto it = regs_.begin(); it != regs_.end();) {
        auto next = std::next(it);
        if (ext.empty() || it->first == ext) {
            forgetRegistration(it);
            ++dropped;
        }
        it = next;
    }
    return dropped;
}

void PbxCore::setMailboxCount(const std::string& mailbox, int count) {
    mailboxes_[mailbox] = count < 0 ? 0 : count;
}

int PbxCore::mailboxCount(const std::string& mailbox) const {
    auto it = mailboxes_.find(mailbox);
    return it == mailboxes_.end() ? -1 : it->second;
}

std::vector<RegistrationInfo> PbxCore::registrations() const {
    std::vector<RegistrationInfo> out;
    auto now = Clock::now();
    for (const auto& [name, reg] : regs_) {
        RegistrationInfo info;
        info.extension = name;
        info.address = addressText(reg.addr);
        info.expirySeconds = reg.expiry;
        auto left = std::chrono::duration_cast<std::chrono::seconds>(reg.expiresAt - now).count();
        info.secondsLeft = left < 0 ? 0 : static_cast<int>(left);
        out.push_back(info);
    }
    return out;
}

std::string PbxCore::extensionState(const std::string& ext) const {
    if (!config_.findExtension(ext)) return "NOTEXIST";
    auto it = regs_.find(ext);
    if (it == regs_.end()) return "UNUSED";
    return ipText(it->second.addr);
}

bool PbxCore::tokenWaived(const std::string& user) {
    const ExtensionConfig* ext = config_.findExtension(user);
    return ext && !ext->requireCallToken;
}

}  // namespace labpbx
