#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "support_net/test_pki.h"

namespace zorvid::test {

// A throwaway CA and a server certificate for localhost and 127.0.0.1, made once per test
// program, in a folder removed when the program ends.
struct TestCerts {
    std::filesystem::path dir;
    std::string ca, cert, key;

    static const TestCerts& Get() {
        static const TestCerts certs;
        return certs;
    }

    TestCerts() {
        dir =
            std::filesystem::temp_directory_path() / ("zorvid-certs-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        const kvtest::TestPki pki(dir.string());
        const auto issued = pki.Issue("localhost", "DNS:localhost,IP:127.0.0.1");
        ca = pki.caFile();
        cert = issued.certFile;
        key = issued.keyFile;
    }
    ~TestCerts() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    TestCerts(const TestCerts&) = delete;
    TestCerts& operator=(const TestCerts&) = delete;
};

}  // namespace zorvid::test
