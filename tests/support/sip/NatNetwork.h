// A home network behind a masquerading router, made of network namespaces for one test: "home"
// (10.77.1.2, default route through the router), "router" (10.77.1.1 inside, 172.31.77.1 outside,
// masquerading what leaves outside) and "internet" (172.31.77.2, with no way into the home network
// but through the router's mappings). Needs root and nft; everything is removed again at the end.
#pragma once

#include <string>

namespace kalvo::sip::test {

class NatNetwork
{
public:
    static constexpr const char* kHome = "10.77.1.2";
    static constexpr const char* kPublic = "172.31.77.1";
    static constexpr const char* kInternet = "172.31.77.2";
    enum class Side { Home, Internet };

    NatNetwork();
    ~NatNetwork();
    NatNetwork(const NatNetwork&) = delete;
    NatNetwork& operator=(const NatNetwork&) = delete;

    // Empty when the network is up, else why it could not be made.
    const std::string& problem() const { return m_problem; }
    // Moves the calling thread (and the threads and programs it starts from now on) into side.
    bool enter(Side side);
    // Back to the namespace the thread was in before.
    void leave();

private:
    std::string m_prefix;
    std::string m_problem;
    int m_original = -1;
};

} // namespace kalvo::sip::test
