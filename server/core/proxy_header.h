#pragma once

#include <asio/ip/address.hpp>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zorvid {

// The PROXY protocol's binary header (version 2), which a TCP proxy such as HAProxy
// (`send-proxy-v2`) sends before the client's bytes: the client's address and port. Only
// the front of the input is read; TLVs after the addresses are skipped.
struct ProxyHeader {
    enum class Status { NeedMore, Complete, Bad };
    Status status = Status::NeedMore;
    std::size_t length = 0;  // Complete: the header's bytes, to be consumed
    // Complete: the client's address; empty when the header carries none to use (command
    // LOCAL, a UNIX or unspecified family), and the proxy's own address stands.
    std::string address;
    bool local = false;  // Complete: command LOCAL, the proxy speaking for itself (a health check)
    std::string error;   // Bad: what is wrong, for the log
};

// The 12-byte signature, the 4 fixed bytes after it, and the most address and TLV bytes
// taken: a longer header is refused, so a connection waiting for one holds little.
inline constexpr std::size_t kProxyHeaderFixedBytes = 16;
inline constexpr std::size_t kProxyHeaderMaxPayload = 512;

// Reads a header from the front of `input`; NeedMore while what is there may still become
// one. Pure: no state between calls.
ProxyHeader ParseProxyHeader(std::string_view input);

// The peers whose connections must start with a header ("proxy-from"). IPv4 peers match
// also in their IPv6-mapped form, as a dual-stack listener sees them.
class ProxyPeers {
public:
    ProxyPeers() = default;
    // Throws std::invalid_argument naming the first entry that is not an address.
    explicit ProxyPeers(const std::vector<std::string>& addresses);
    bool Empty() const { return peers_.empty(); }
    bool Contains(const asio::ip::address& peer) const;

private:
    std::vector<asio::ip::address> peers_;
};

}  // namespace zorvid
