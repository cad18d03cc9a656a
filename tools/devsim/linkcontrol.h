// What a device does to its own link: the namespace it runs in is its whole world, so it may
// take the link down and give it a new address without touching anyone else.
#pragma once

#include <string>

namespace devsim {

// Whether this process may be in the machine's own network. A simulated device must never run
// there: it would answer the real LAN and, on an IP-SETUP or an upload, re-address or take
// down the machine's own link. Only a named namespace (/run/netns, as netlab makes them) other
// than the kernel's first counts as safe; anything unknown counts as the machine's.
bool inMachineNamespace();

// Moves this process into the named network namespace (/run/netns/NAME) and into a session of
// its own, so that a lab's simulators outlive the shell that started them and ignore its
// terminal. Returns an error text, empty on success.
std::string enterNamespace(const std::string &name);

// Brings the device's network up as it boots: the loopback, its link with the address in a
// /24, and a default route out of the link. Through ioctl, without starting "ip": a lab of
// fifty devices comes up that much sooner. Returns an error text, empty on success.
std::string bootLink(const std::string &interfaceName, const std::string &address);

class LinkControl {
public:
    virtual ~LinkControl() = default;
    // Each returns an error text, empty on success.
    virtual std::string setUp(bool up) = 0;
    virtual std::string moveAddress(const std::string &address) = 0;
};

// The real link, by name: flags through ioctl, addresses and the default route through "ip".
class NamespaceLink : public LinkControl {
public:
    explicit NamespaceLink(std::string interfaceName);
    std::string setUp(bool up) override;
    std::string moveAddress(const std::string &address) override;

private:
    std::string interface_;
};

} // namespace devsim
