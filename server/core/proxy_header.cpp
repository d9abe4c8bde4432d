#include "server/core/proxy_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace zorvid {
namespace {

constexpr std::array<unsigned char, 12> kSignature = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D,
                                                      0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr unsigned kVersion = 2;
// Commands: LOCAL is the proxy speaking for itself (its health checks), PROXY a client.
constexpr unsigned kLocal = 0x0;
constexpr unsigned kProxy = 0x1;
// Address families and transports.
constexpr unsigned kUnspec = 0x0;
constexpr unsigned kInet = 0x1;
constexpr unsigned kInet6 = 0x2;
constexpr unsigned kUnix = 0x3;
constexpr unsigned kStream = 0x1;
constexpr unsigned kDatagram = 0x2;
// Source and destination addresses and ports of each family.
constexpr std::size_t kInetBytes = 2 * 4 + 2 * 2;
constexpr std::size_t kInet6Bytes = 2 * 16 + 2 * 2;
constexpr std::size_t kUnixBytes = 2 * 108;

ProxyHeader Bad(std::string why) {
    ProxyHeader h;
    h.status = ProxyHeader::Status::Bad;
    h.error = std::move(why);
    return h;
}

// An IPv4 client seen through a dual-stack socket is an IPv4 client: the limits per
// address count IPv6 by its /64, which would hold every IPv4-mapped address together.
asio::ip::address Plain(const asio::ip::address& a) {
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
    return a;
}

}  // namespace

ProxyHeader ParseProxyHeader(std::string_view input) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(input[i]); };
    const std::size_t seen = std::min(input.size(), kSignature.size());
    if (seen > 0 && std::memcmp(input.data(), kSignature.data(), seen) != 0)
        return Bad("no PROXY protocol signature");
    if (input.size() < kProxyHeaderFixedBytes) return {};
    const unsigned version = byte(12) >> 4;
    const unsigned command = byte(12) & 0x0F;
    if (version != kVersion) return Bad("PROXY protocol version " + std::to_string(version));
    if (command != kLocal && command != kProxy)
        return Bad("unknown PROXY command " + std::to_string(command));
    const std::size_t payload = (std::size_t{byte(14)} << 8) | byte(15);
    if (payload > kProxyHeaderMaxPayload)
        return Bad("PROXY header of " + std::to_string(payload) + " address bytes");
    const unsigned family = byte(13) >> 4;
    const unsigned transport = byte(13) & 0x0F;
    // LOCAL carries nothing to use, whatever its family says.
    if (command == kProxy) {
        if (family > kUnix || transport > kDatagram) return Bad("unknown PROXY address family");
        if (family != kUnspec && transport != kStream)
            return Bad("PROXY header for another transport than TCP");
        const std::size_t need = family == kInet    ? kInetBytes
                                 : family == kInet6 ? kInet6Bytes
                                 : family == kUnix  ? kUnixBytes
                                                    : 0;
        if (payload < need) return Bad("PROXY header too short for its addresses");
    }
    if (input.size() < kProxyHeaderFixedBytes + payload) return {};

    ProxyHeader h;
    h.status = ProxyHeader::Status::Complete;
    h.length = kProxyHeaderFixedBytes + payload;
    h.local = command == kLocal;
    if (h.local) return h;
    const auto* source =
        reinterpret_cast<const unsigned char*>(input.data()) + kProxyHeaderFixedBytes;
    if (family == kInet) {
        asio::ip::address_v4::bytes_type b;
        std::memcpy(b.data(), source, b.size());
        h.address = asio::ip::make_address_v4(b).to_string();
    } else if (family == kInet6) {
        asio::ip::address_v6::bytes_type b;
        std::memcpy(b.data(), source, b.size());
        h.address = Plain(asio::ip::make_address_v6(b)).to_string();
    }
    return h;
}

ProxyPeers::ProxyPeers(const std::vector<std::string>& addresses) {
    for (const auto& text : addresses) {
        asio::error_code ec;
        const auto a = asio::ip::make_address(text, ec);
        if (ec) throw std::invalid_argument("proxy-from: \"" + text + "\" is not an IP address");
        peers_.push_back(Plain(a));
    }
}

bool ProxyPeers::Contains(const asio::ip::address& peer) const {
    if (peers_.empty()) return false;
    return std::find(peers_.begin(), peers_.end(), Plain(peer)) != peers_.end();
}

}  // namespace zorvid
