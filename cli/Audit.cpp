#include "cli/Audit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "bytes/Sha256.h"
#include "cli/Ports.h"
#include "cli/platform/Platform.h"
#include "operations/SummaryTables.h"
#include "serial/network/NetworkDevice.h"

namespace {

std::string IsoTime(std::chrono::system_clock::time_point time) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char withMs[48];
    std::snprintf(withMs, sizeof withMs, "%s.%03dZ", text, static_cast<int>(ms % 1000));
    return withMs;
}

nlohmann::ordered_json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(text);
}

}  // namespace

std::string AuditLine(RunKind kind, std::chrono::system_clock::time_point started,
                      const FleetReceiver& receiver, const SettingsFileBytes& file,
                      const FleetOutcome& outcome) {
    nlohmann::ordered_json line;
    line["time"] = IsoTime(started);
    line["operation"] = kind == RunKind::kVerify ? "verify" : "configure";
    line["device"] = receiver.device;
    // What the device name stood for: the tty behind a link, and the adapter's by-id name and
    // serial number where the system tells them (nothing is opened to find out).
    if (receiver.device.rfind(kNetworkDevicePrefix, 0) == 0) {
        line["resolved"] = receiver.device;
        line["byId"] = nullptr;
        line["usbSerial"] = nullptr;
    } else {
        const PortListing port = DescribePort(receiver.device);
        line["resolved"] = port.target.empty() ? receiver.device : port.target;
        line["byId"] = TextOrNull(port.byIdLink);
        line["usbSerial"] = TextOrNull(port.usbSerial);
    }
    line["file"] = receiver.settingsFile;
    line["sha256"] = Sha256Hex(file.bytes.data(), file.bytes.size());
    line["pcSettings"] = PortLineText(receiver.pcLine);
    line["run"] = outcome.run;
    line["comm"] = outcome.comm;
    line["result"] = OutcomeResultName(outcome);
    if (outcome.reported) {
        line["portResult"] = outcome.summary.portResult;
        line["text"] = PortResultText(outcome.summary.portResult);
    } else {
        line["portResult"] = nullptr;
        line["text"] = "no result: " + outcome.noResult;
    }
    if (!outcome.reason.is_null()) line["reason"] = outcome.reason;
    nlohmann::ordered_json groups = nlohmann::ordered_json::object();
    nlohmann::ordered_json differences = nlohmann::ordered_json::array();
    const bool answered = outcome.reported && outcome.summary.portResult >= kResultGroupMissing;
    for (int g = 1; answered && g <= kGroupCount; ++g) {
        const size_t at = static_cast<size_t>(g - 1);
        groups[SettingsGroup(g).name] = GroupStatusName(outcome.summary.groupStatus[at]);
        for (const FieldChange& change : outcome.summary.differences[at])
            differences.push_back({{"group", SettingsGroup(g).name},
                                   {"field", change.field},
                                   {"expected", change.written},
                                   {"found", change.readBack},
                                   {"expectedHex", change.writtenHex},
                                   {"foundHex", change.readBackHex}});
    }
    line["groups"] = std::move(groups);
    line["differences"] = std::move(differences);
    line["seconds"] = static_cast<double>(static_cast<int64_t>(outcome.seconds * 1000)) / 1000;
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

AuditFile::~AuditFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool AuditFile::Open(const std::string& path, std::string& error) {
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    fd_ = OpenForAppend(path);
    if (fd_ < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    path_ = path;
    return true;
}

bool AuditFile::Append(RunKind kind, std::chrono::system_clock::time_point started,
                       const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                       const FleetResult& result, std::string& error) {
    std::string text;
    for (size_t i = 0; i < receivers.size(); ++i)
        text +=
            AuditLine(kind, started, receivers[i], files.at(receivers[i].settingsFile), result.outcomes[i]) +
            "\n";
    if (!LockWholeFile(fd_, true)) {
        error = path_ + ": cannot lock: " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const auto n = ::write(fd_, text.data() + done, static_cast<unsigned>(text.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = path_ + ": " + std::strerror(n < 0 ? errno : ENOSPC);
            LockWholeFile(fd_, false);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    const bool synced = SyncFile(fd_);
    LockWholeFile(fd_, false);
    if (!synced) error = path_ + ": " + std::strerror(errno);
    return synced;
}
