#include "platform_fakes.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

namespace fakes {

std::atomic<int> socketCalls{0};
std::atomic<int> nameLookups{0};

namespace {

std::mutex l_mutex;
std::string l_lastLookup;
enum class InterfaceMode { Real, Fake, Fail } l_mode = InterfaceMode::Real;
std::vector<Interface> l_interfaces;
std::set<ifaddrs*> l_fakeLists;  // heads of the lists handed out

bool endsWith(const char* text, const char* suffix) {
    const size_t a = std::strlen(text), b = std::strlen(suffix);
    return a >= b && std::strcmp(text + a - b, suffix) == 0;
}

template <typename F>
F realFunction(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// One list entry and the storage it points into, freed as one block.
struct FakeEntry {
    ifaddrs entry;
    sockaddr_storage address;
    char name[IFNAMSIZ];
};

}  // namespace

std::string lastLookup() {
    std::lock_guard<std::mutex> lock(l_mutex);
    return l_lastLookup;
}

void useInterfaces(const std::vector<Interface>& interfaces) {
    std::lock_guard<std::mutex> lock(l_mutex);
    l_interfaces = interfaces;
    l_mode = InterfaceMode::Fake;
}

void failInterfaces() {
    std::lock_guard<std::mutex> lock(l_mutex);
    l_mode = InterfaceMode::Fail;
}

void useRealInterfaces() {
    std::lock_guard<std::mutex> lock(l_mutex);
    l_mode = InterfaceMode::Real;
}

}  // namespace fakes

using fakes::FakeEntry;

extern "C" int socket(int domain, int type, int protocol) noexcept {
    ++fakes::socketCalls;
    static const auto real = fakes::realFunction<int (*)(int, int, int)>("socket");
    return real(domain, type, protocol);
}

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    ++fakes::nameLookups;
    {
        std::lock_guard<std::mutex> lock(fakes::l_mutex);
        fakes::l_lastLookup = node ? node : "";
    }
    if (node && fakes::endsWith(node, fakes::kUnresolvableSuffix)) return EAI_NONAME;
    if (node && fakes::endsWith(node, fakes::kNoAddressSuffix)) return EAI_NODATA;
    static const auto real =
        fakes::realFunction<int (*)(const char*, const char*, const addrinfo*, addrinfo**)>("getaddrinfo");
    return real(node, service, hints, result);
}

extern "C" int getifaddrs(ifaddrs** list) noexcept {
    std::unique_lock<std::mutex> lock(fakes::l_mutex);
    if (fakes::l_mode == fakes::InterfaceMode::Fail) {
        errno = ENOMEM;
        return -1;
    }
    if (fakes::l_mode == fakes::InterfaceMode::Real) {
        lock.unlock();
        static const auto real = fakes::realFunction<int (*)(ifaddrs**)>("getifaddrs");
        return real(list);
    }
    ifaddrs* head = nullptr;
    ifaddrs** tail = &head;
    for (const fakes::Interface& wanted : fakes::l_interfaces) {
        auto* entry = new FakeEntry{};
        std::strncpy(entry->name, wanted.name.c_str(), IFNAMSIZ - 1);
        entry->entry.ifa_name = entry->name;
        entry->entry.ifa_flags = IFF_UP | (wanted.loopback ? IFF_LOOPBACK : 0);
        if (wanted.address == "v6") {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&entry->address);
            v6->sin6_family = AF_INET6;
            entry->entry.ifa_addr = reinterpret_cast<sockaddr*>(v6);
        } else if (!wanted.address.empty()) {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&entry->address);
            v4->sin_family = AF_INET;
            inet_pton(AF_INET, wanted.address.c_str(), &v4->sin_addr);
            entry->entry.ifa_addr = reinterpret_cast<sockaddr*>(v4);
        }
        *tail = &entry->entry;
        tail = &entry->entry.ifa_next;
    }
    *list = head;
    fakes::l_fakeLists.insert(head);
    return 0;
}

extern "C" void freeifaddrs(ifaddrs* list) noexcept {
    bool fake;
    {
        std::lock_guard<std::mutex> lock(fakes::l_mutex);
        fake = fakes::l_fakeLists.erase(list) > 0;
    }
    if (fake) {
        while (list) {
            ifaddrs* next = list->ifa_next;
            delete reinterpret_cast<FakeEntry*>(list);
            list = next;
        }
        return;
    }
    static const auto real = fakes::realFunction<void (*)(ifaddrs*)>("freeifaddrs");
    real(list);
}
