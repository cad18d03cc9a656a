#include "support/echoservice.h"

#include <ifaddrs.h>
#include <netinet/in.h>

bool IsOwnAddress(quint32 address) {
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    bool own = false;
    for (const ifaddrs *entry = list; entry && !own; entry = entry->ifa_next)
        own = entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET &&
              reinterpret_cast<const sockaddr_in *>(entry->ifa_addr)->sin_addr.s_addr == address;
    ::freeifaddrs(list);
    return own;
}
