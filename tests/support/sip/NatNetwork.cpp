// Network namespaces joined by veth pairs, with nft masquerading in the router.
#include "NatNetwork.h"

#include "SipPeers.h"

#include <QTemporaryDir>
#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kalvo::sip::test {

namespace {

// Runs a shell script; its output is the problem when it fails.
std::string run(const std::string& script)
{
    QTemporaryDir dir;
    const std::string log = dir.path().toStdString() + "/log";
    const pid_t pid = spawn(log, {"/bin/sh", "-ec", script});
    int status = 0;
    if (pid <= 0 || ::waitpid(pid, &status, 0) != pid)
        return "cannot run /bin/sh";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {};
    const std::string output = readFile(log);
    return output.empty() ? "the set-up script failed" : output;
}

} // namespace

NatNetwork::NatNetwork() : m_prefix("kv" + std::to_string(::getpid()))
{
    if (::geteuid() != 0) {
        m_problem = "making network namespaces with a masquerading router needs root";
        return;
    }
    if (::access("/usr/sbin/nft", X_OK) != 0) {
        m_problem = "nft (package nftables) is not installed";
        return;
    }
    const std::string h = m_prefix + "home", r = m_prefix + "router", i = m_prefix + "net";
    m_problem = run(
        "ip netns add " + h + "; ip netns add " + r + "; ip netns add " + i + "\nip link add kvh0 netns " +
        h + " type veth peer name kvr0 netns " + r + "\nip link add kvr1 netns " + r +
        " type veth peer name kvi0 netns " + i + "\nip -n " + h + " addr add 10.77.1.2/24 dev kvh0" +
        "\nip -n " + r + " addr add 10.77.1.1/24 dev kvr0" + "\nip -n " + r +
        " addr add 172.31.77.1/24 dev kvr1" + "\nip -n " + i + " addr add 172.31.77.2/24 dev kvi0" +
        "\nfor n in " + h + " " + r + " " + i + "; do ip -n $n link set lo up; done" + "\nip -n " + h +
        " link set kvh0 up\nip -n " + r + " link set kvr0 up\nip -n " + r + " link set kvr1 up\nip -n " + i +
        " link set kvi0 up" + "\nip -n " + h + " route add default via 10.77.1.1" + "\nip netns exec " + r +
        " sh -c 'echo 1 > /proc/sys/net/ipv4/ip_forward'" + "\nip netns exec " + r +
        " nft 'add table ip nat; add chain ip nat post { type nat hook postrouting priority 100; };"
        " add rule ip nat post oifname \"kvr1\" masquerade'");
    m_original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
}

NatNetwork::~NatNetwork()
{
    leave();
    if (m_original >= 0)
        ::close(m_original);
    if (::geteuid() == 0)
        run("for n in home router net; do ip netns del " + m_prefix + "$n 2>/dev/null || true; done");
}

bool NatNetwork::enter(Side side)
{
    const std::string name = m_prefix + (side == Side::Home ? "home" : "net");
    const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
    if (fd >= 0)
        ::close(fd);
    return entered;
}

void NatNetwork::leave()
{
    if (m_original >= 0)
        ::setns(m_original, CLONE_NEWNET);
}

} // namespace kalvo::sip::test
