// A certificate authority made for one test: its certificate, and server certificates it signs for
// a host (a name or an IP address) with the validity the test asks for, all as PEM files in a folder.
#pragma once

#include <string>

namespace kalvo::sip::test {

class TestAuthority
{
public:
    // Makes the authority's key and certificate in folder.
    explicit TestAuthority(std::string folder);
    ~TestAuthority();
    TestAuthority(const TestAuthority&) = delete;
    TestAuthority& operator=(const TestAuthority&) = delete;

    // The authority's certificate file.
    std::string caFile() const { return m_folder + "/ca.crt"; }
    // Issues name.crt and name.key for host, valid from fromDays to toDays (relative to now);
    // the certificate file's path.
    std::string issue(const std::string& name, const std::string& host, long fromDays = -1, long toDays = 30);
    std::string keyFile(const std::string& name) const { return m_folder + "/" + name + ".key"; }

private:
    std::string m_folder;
    void* m_key = nullptr;  // EVP_PKEY
    void* m_cert = nullptr; // X509
};

} // namespace kalvo::sip::test
