#include "cli/Audit.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "bytes/Sha256.h"
#include "cli/Ports.h"
#include "cli/ResultJson.h"
#include "cli/WriteAll.h"
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

std::string AuditLine(RunKind kind, const FleetReceiver& receiver, const SettingsFileBytes& file,
                      const FleetOutcome& outcome) {
    nlohmann::ordered_json line;
    line["time"] = IsoTime(outcome.started);
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
    // The keys set over the file for this receiver; the hash is of the bytes sent, with them.
    nlohmann::ordered_json overrides = nlohmann::ordered_json::object();
    for (const auto& [key, value] : receiver.overrides) overrides[key] = value;
    line["overrides"] = overrides;
    line["sha256"] = Sha256Hex(file.bytes.data(), file.bytes.size());
    line["pcSettings"] = PortLineText(receiver.pcLine);
    // Then what the summary says of this receiver, in the same words (device, file and PC side
    // keep their places above).
    const nlohmann::ordered_json entry = PortOutcomeJson(kind, receiver, outcome);
    for (auto item = entry.begin(); item != entry.end(); ++item) line[item.key()] = item.value();
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

void AuditFile::SplitWritesForTest(size_t pieceSize, std::function<void()> between) {
    pieceSize_ = pieceSize;
    betweenPieces_ = std::move(between);
}

bool AuditFile::Append(RunKind kind, const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                       const FleetResult& result, size_t& written, std::string& error) {
    written = 0;
    if (!LockWholeFile(fd_)) {
        error = path_ + ": cannot lock: " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < receivers.size(); ++i) {
        const std::string line =
            AuditLine(kind, receivers[i], files.at(SettingsSource(receivers[i])), result.outcomes[i]) + "\n";
        struct stat before {};
        if (::fstat(fd_, &before) != 0) {
            error = path_ + ": " + std::strerror(errno);
            ok = false;
            break;
        }
        size_t done = 0;
        if (!WriteAll(fd_, line.data(), line.size(), done, pieceSize_, betweenPieces_)) {
            error = path_ + ": " + std::strerror(errno);
            // Whatever part of the line went in is cut off again: the file ends with a whole line.
            if (done > 0 && !TruncateFile(fd_, static_cast<uint64_t>(before.st_size)))
                error +=
                    " (and a part of a line could not be cut off: " + std::string(std::strerror(errno)) + ")";
            ok = false;
            break;
        }
        ++written;
    }
    if (!SyncFile(fd_) && ok) {
        error = path_ + ": " + std::strerror(errno);
        ok = false;
    }
    UnlockWholeFile(fd_);
    return ok;
}
