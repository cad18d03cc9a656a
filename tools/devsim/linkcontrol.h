// What a device does to its own link: the namespace it runs in is its whole world, so it may
// take the link down and give it a new address without touching anyone else.
#pragma once

#include <string>

namespace devsim {

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
