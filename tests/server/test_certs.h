#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zorvid::test {

// A throwaway CA and a server certificate for localhost / 127.0.0.1, made once per test
// program by the project's own script, in a folder removed when the program ends.
struct TestCerts {
    std::filesystem::path dir;
    std::string ca, cert, key;

    static const TestCerts& Get() {
        static const TestCerts certs = Make();
        return certs;
    }

    ~TestCerts() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }

private:
    static TestCerts Make() {
        TestCerts c;
        c.dir =
            std::filesystem::temp_directory_path() / ("zorvid-certs-" + std::to_string(::getpid()));
        const std::string command =
            std::string("bash '") + KV_MAKE_CERTS + "' '" + c.dir.string() + "'";
        if (std::system(command.c_str()) != 0) throw std::runtime_error("make-certs.sh failed");
        c.ca = (c.dir / "ca.pem").string();
        c.cert = (c.dir / "server.pem").string();
        c.key = (c.dir / "server.key").string();
        return c;
    }
};

}  // namespace zorvid::test
