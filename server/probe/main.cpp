// zorvi-probe: records as JSON lines to bytes and back, and a client that sends them.
#include <poll.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <asio.hpp>
#include <chrono>
#include <iostream>
#include <iterator>
#include <string>

#include "net/codec.h"
#include "server/core/json_record.h"

namespace {

// Every JSON line of standard input as a record.
bool ReadRecords(std::istream& in, std::vector<CMsg>& out) {
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        try {
            out.push_back(zorvid::RecordFromJson(nlohmann::json::parse(line)));
        } catch (const std::exception& e) {
            std::cerr << "zorvi-probe: line " << number << ": " << e.what() << '\n';
            return false;
        }
    }
    return true;
}

int Encode() {
    std::vector<CMsg> records;
    if (!ReadRecords(std::cin, records)) return 2;
    std::string bytes;
    for (const auto& r : records) zorvi::AppendMsg(r, bytes);
    std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return 0;
}

int Decode(bool bare) {
    const std::string bytes((std::istreambuf_iterator<char>(std::cin)),
                            std::istreambuf_iterator<char>());
    std::string_view rest = bytes;
    if (bare) {
        std::string s;
        const auto r = zorvi::DecodeBareString(rest, s);
        if (r.status != zorvi::DecodeStatus::Complete) {
            std::cerr << "zorvi-probe: no complete bare string\n";
            return 1;
        }
        std::cout << nlohmann::json(s).dump(-1, ' ', false,
                                            nlohmann::json::error_handler_t::replace)
                  << '\n';
        rest.remove_prefix(r.consumed);
    }
    while (!rest.empty()) {
        CMsg msg;
        const auto r = zorvi::DecodeMsg(rest, msg);
        if (r.status == zorvi::DecodeStatus::NeedMore) {
            std::cerr << "zorvi-probe: " << rest.size() << " trailing bytes do not make a record\n";
            return 1;
        }
        if (r.status == zorvi::DecodeStatus::Malformed) {
            std::cerr << "zorvi-probe: malformed record: " << r.error << '\n';
            return 1;
        }
        std::cout << zorvid::RecordToJsonLine(msg) << '\n';
        rest.remove_prefix(r.consumed);
    }
    return 0;
}

// Connects, sends the bare string (if any) and the records, then prints what arrives as
// JSON lines until the server closes or nothing arrives for `waitMs`.
int Send(const std::string& host, int port, const std::string& bare, bool hasBare, int waitMs) {
    std::vector<CMsg> records;
    if (!ReadRecords(std::cin, records)) return 2;
    asio::io_context io;
    asio::ip::tcp::socket socket(io);
    try {
        asio::ip::tcp::resolver resolver(io);
        asio::connect(socket, resolver.resolve(host, std::to_string(port)));
        std::string out;
        if (hasBare) zorvi::AppendBareString(bare, out);
        for (const auto& r : records) zorvi::AppendMsg(r, out);
        asio::write(socket, asio::buffer(out));
    } catch (const std::exception& e) {
        std::cerr << "zorvi-probe: " << host << ":" << port << ": " << e.what() << '\n';
        return 1;
    }
    std::string input;
    bool wantBare = hasBare;
    char buf[8192];
    while (true) {
        pollfd p{socket.native_handle(), POLLIN, 0};
        const int ready = ::poll(&p, 1, waitMs);
        if (ready <= 0) break;  // quiet for the whole wait: done
        const ssize_t n = ::read(socket.native_handle(), buf, sizeof buf);
        if (n <= 0) break;
        input.append(buf, static_cast<std::size_t>(n));
        while (!input.empty()) {
            zorvi::DecodeResult r;
            if (wantBare) {
                std::string s;
                r = zorvi::DecodeBareString(input, s);
                if (r.status == zorvi::DecodeStatus::Complete) {
                    std::cout << nlohmann::json{{"bare", s}}.dump(
                                     -1, ' ', false, nlohmann::json::error_handler_t::replace)
                              << '\n';
                    wantBare = false;
                }
            } else {
                CMsg msg;
                r = zorvi::DecodeMsg(input, msg);
                if (r.status == zorvi::DecodeStatus::Complete)
                    std::cout << zorvid::RecordToJsonLine(msg) << '\n';
            }
            if (r.status == zorvi::DecodeStatus::NeedMore) break;
            if (r.status == zorvi::DecodeStatus::Malformed) {
                std::cerr << "zorvi-probe: malformed reply: " << r.error << '\n';
                return 1;
            }
            input.erase(0, r.consumed);
        }
        std::cout.flush();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "zorvi-probe: encode, decode and send Zorvi records given as JSON lines\n"
        "  record: "
        "{\"code1\":14,\"code2\":52,\"text\":\"ann\",\"list\":[],\"number\":0,\"array\":[]}"};
    app.require_subcommand(1);
    auto* encode = app.add_subcommand("encode", "JSON lines on stdin to record bytes on stdout");
    auto* decode = app.add_subcommand("decode", "record bytes on stdin to JSON lines on stdout");
    bool decodeBare = false;
    decode->add_flag("--bare", decodeBare, "the bytes start with one bare string");
    auto* send = app.add_subcommand("send", "send JSON-line records from stdin, print the replies");
    std::string host = "127.0.0.1", bare;
    int port = 0, waitMs = 1000;
    send->add_option("--host", host, "server address");
    send->add_option("--port", port, "server port")->required();
    auto* bareOpt = send->add_option("--bare", bare, "send this bare string first (a chat join)");
    send->add_option("--wait", waitMs, "milliseconds of quiet that end the wait for replies");
    CLI11_PARSE(app, argc, argv);
    if (*encode) return Encode();
    if (*decode) return Decode(decodeBare);
    return Send(host, port, bare, bareOpt->count() > 0, waitMs);
}
