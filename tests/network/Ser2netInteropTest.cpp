// Interoperation with a network serial server that is not ours: ser2net offers RFC 2217 on
// 127.0.0.1 in front of the emulated receiver's pseudo-terminal, and the driver reaches the
// receiver through it by an rfc2217:// device name.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "ScriptedServer.h"
#include "emulator/Emulator.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "messages/SettingsCommands.h"
#include "serial/Serial.h"
#include "support/WaitUntil.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string FindSer2net() {
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
        if (::access(path, X_OK) == 0) return path;
    }
    return {};
}

bool LoopbackAccepts(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// ser2net in the foreground with a configuration of our own, stopped when this goes away.
class Ser2net {
  public:
    ~Ser2net() { Stop(); }

    // Starts it in front of `device` on 127.0.0.1; false (with a reason) when it cannot run.
    bool Start(const std::string& program, const std::string& device, std::string& why) {
        char directory[] = "/tmp/ser2net-test-XXXXXX";
        if (::mkdtemp(directory) == nullptr) {
            why = "no temporary directory";
            return false;
        }
        directory_ = directory;
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = UnusedLoopbackPort();
            const std::string config = directory_ + "/ser2net.yaml";
            std::ofstream(config) << "%YAML 1.1\n---\nconnection: &receiver\n"
                                  << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << port_ << "\n"
                                  << "  connector: serialdev," << device << ",9600n81,local\n";
            const std::string pidFile = directory_ + "/ser2net.pid";
            const std::string output = directory_ + "/ser2net.out";
            pid_ = ::fork();
            if (pid_ == 0) {
                if (std::freopen(output.c_str(), "w", stdout) == nullptr ||
                    std::freopen(output.c_str(), "a", stderr) == nullptr) {
                    ::_exit(126);
                }
                ::execl(program.c_str(), program.c_str(), "-n", "-u", "-c", config.c_str(), "-P",
                        pidFile.c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (pid_ < 0) {
                why = "cannot fork";
                return false;
            }
            const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
            while (Clock::now() < deadline) {
                if (LoopbackAccepts(port_)) return true;
                int status = 0;
                if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                    pid_ = -1;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            Stop();
        }
        std::string text;
        if (std::FILE* log = std::fopen((directory_ + "/ser2net.out").c_str(), "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, log) != nullptr) text += line;
            std::fclose(log);
        }
        why = "ser2net did not start: " + text;
        return false;
    }

    void Stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
            while (::waitpid(pid_, &status, WNOHANG) == 0 && Clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
        pid_ = -1;
    }

    std::string DeviceName() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

  private:
    std::string directory_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

bool PumpUntilLinkAnswered() {
    return WaitUntil(
        [] {
            PumpPort(PortContexts[0], ReportHandler);
            return PortContexts[0].linkState == kLinkAnswered;
        },
        kWaitGuard, std::chrono::milliseconds(20));
}

TEST(Ser2netInterop, DriverReachesTheEmulatorThroughSer2net) {
    const std::string program = FindSer2net();
    if (program.empty()) GTEST_SKIP() << "ser2net is not installed (tools/ensure-deps.sh installs it)";

    EmulatorOptions options;
    options.usePty = true;
    Emulator emulator(options);
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;

    Ser2net server;
    std::string why;
    if (!server.Start(program, emulator.Address(0), why)) GTEST_SKIP() << "ser2net cannot run here: " << why;

    ASSERT_TRUE(SerialSetDeviceName(1, server.DeviceName()));
    ASSERT_EQ(OpenPortContext(PortContexts[0], 1), 1);

    // A baud change travels as SET-BAUDRATE to ser2net, which sets it on the pty.
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 19200, 0, 8, 1), 1);
    EXPECT_TRUE(emulator.WaitFor(
        0, [](const ReceiverStatus& s) { return s.pcSide.baudRate == 19200; }, std::chrono::seconds(15)));
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_TRUE(emulator.WaitFor(
        0, [](const ReceiverStatus& s) { return s.lineMatches; }, std::chrono::seconds(15)));

    PortContexts[0].linkState = kLinkCheckSent;
    SendLinkCheck(0);
    EXPECT_TRUE(PumpUntilLinkAnswered());
    EXPECT_EQ(emulator.Status(0).packetsReceived, 1u);

    SerialCloseAll();
    SerialResetDeviceNames();
    server.Stop();
    emulator.Stop();
}

}  // namespace
