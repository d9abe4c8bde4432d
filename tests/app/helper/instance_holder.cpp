// Takes the single-instance lock in the folder given as the only argument, prints the
// outcome on one line and, when it holds the lock, keeps it until its input closes.
#include <cstdio>
#include <iostream>
#include <string>

#include "app/single_instance.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    SingleInstanceGuard guard(QStringLiteral("Zorvi_Unique"), QString::fromLocal8Bit(argv[1]));
    switch (guard.Acquire()) {
        case SingleInstanceGuard::Result::Acquired:
            std::cout << "acquired" << std::endl;
            break;
        case SingleInstanceGuard::Result::AlreadyRunning:
            std::cout << "running" << std::endl;
            return 1;
        case SingleInstanceGuard::Result::Unavailable:
            std::cout << "unavailable" << std::endl;
            return 3;
    }
    // The test ends us by closing our input, or by SIGKILL.
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
