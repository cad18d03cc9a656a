// Helpers for test programs that run inside the test LAN ("netlab exec ... pc -- program", as
// quillet_add_lab_test registers them), and datagrams for tests that talk to the simulator.
#pragma once

#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace labtest {

inline constexpr const char *notInLab =
    "not inside a test LAN: run through 'tools/netlab exec pc -- PROGRAM' (needs root)";

std::string env(const char *name);

// True only when this process runs in the computer's namespace of the lab named by
// NETLAB_NAME (as "netlab exec NAME pc -- ..." starts it). The variable alone proves nothing:
// a shell may export it to pick a lab, and a test started there by hand must not broadcast
// from the machine's own namespace. Use: if (!labtest::inLab()) GTEST_SKIP() << notInLab;
bool inLab();

int deviceCount();
std::string pcAddress();

// Device n (1-based) as the lab brings it up (and as "netlab devsim" restores it).
std::string deviceAddress(int n);
std::string deviceMac(int n);
// The same as Qt text, for the program's own classes.
QString Address(int n);
QString Mac(int n);

// Device n's address in any lab (netlab up --lans/--foreign/--routed put devices on other
// networks), as netlab keeps it.
std::string labAddress(int n);

std::string deviceDir(int n);
// Where the device's TFTP server writes uploads (WEB1, X5).
std::string tftpDir(int n);
std::string logPath(int n);

std::string readFile(const std::string &path);

// The simulator's log: one line per datagram ("recv info from=192.0.2.1:40000 len=4
// data=000000E4"), per reply ("reply info to=... len=130") and per action ("address ...",
// "upload name=WEB1 size=...", "link down", "link up", "ipsetup ignored reason=...").
std::string readLog(int n);
// Empties the log so that a test step sees only its own lines (the simulator appends).
void clearLog(int n);
// The lines of device n's log that contain the text.
std::vector<std::string> logLines(int n, std::string_view contains);
bool waitForLog(int n, std::string_view contains, std::chrono::milliseconds timeout);

// The IP-SETUP datagram that moves the device whose MAC address ends in mac5-mac6.
std::vector<std::uint8_t> ipSetup(std::uint8_t mac5, std::uint8_t mac6,
                                  std::array<std::uint8_t, 4> address);

// Runs a program (found in PATH) and gives its exit status, -1 when it could not run.
int run(std::vector<std::string> argv, bool quiet = true);

// Restarts device n as new (its own address, link up, empty TFTP folder and log) with the
// simulator options on top of its base settings, e.g. {"--family", "4", "--no-info"}; see
// "devsim --help". Returns once the simulator listens.
bool restartDevice(int n, const std::vector<std::string> &options = {});

// Switches device n's link off (the device is gone: no echo, no datagram, no TFTP) or back
// on. restartDevice also switches it back on.
bool setLink(int n, bool up);

// Slows what device n sends (its acknowledgements of an upload, its echo replies) to the rate
// in kbit/s, as a device on a slow link; 0 takes the limit off again. restartDevice leaves it.
bool setLinkRate(int n, int kbitPerSecond);

enum class Tftp { On, Off, ReadOnly };

// Device n's TFTP server: running (the default), gone (uploads get no answer but an ICMP
// port unreachable), or refusing every upload with an access error. restartDevice turns it
// back on.
bool setTftp(int n, Tftp state);

// Whether the address answers an ICMP echo within two seconds, through the system's ping.
// Echoes go out every 200 ms until the first reply, so a loaded machine or a link that has
// only just come up does not read as a silent device.
bool ping(const std::string &address);

// Whether a device that has just taken a new address answers there within the given time. The
// computer may still hold a failed address resolution from the echo test that came before the
// move, which the kernel retries in its own time.
bool waitForPing(const std::string &address, std::chrono::seconds limit);

// How many children of this process run the program (its name as /proc shows it: "curl").
int runningChildren(const std::string &program);

} // namespace labtest
