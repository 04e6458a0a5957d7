#include "serial/TraceRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "serial/OpenFlags.h"

namespace {

// One line of a trace into an event; false when it is none.
bool ParseEventLine(const std::string& line, TraceEvent& event) {
    std::istringstream in(line);
    std::string port;
    if (!(in >> event.ms >> port >> event.event) || port.rfind("comm", 0) != 0) return false;
    try {
        event.port = std::stoi(port.substr(4));
    } catch (...) {
        return false;
    }
    std::getline(in >> std::ws, event.fields);
    if (event.event.rfind("packet-", 0) == 0) event.values = TracePacketValues(event.fields);
    return true;
}

}  // namespace

std::map<std::string, std::string> TracePacketValues(const std::string& fields) {
    std::map<std::string, std::string> values;
    size_t at = 0;
    while (at < fields.size()) {
        const size_t equals = fields.find('=', at);
        if (equals == std::string::npos) break;
        const std::string key = fields.substr(at, equals - at);
        size_t end = key == "data" || key == "detail" ? fields.size() : fields.find(' ', equals + 1);
        if (end == std::string::npos) end = fields.size();
        values[key] = fields.substr(equals + 1, end - equals - 1);
        at = end + 1;
    }
    return values;
}

std::vector<uint8_t> HexToBytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    std::istringstream in(hex);
    std::string pair;
    while (in >> pair) {
        if (pair.size() != 2 || !std::isxdigit(static_cast<unsigned char>(pair[0])) ||
            !std::isxdigit(static_cast<unsigned char>(pair[1])))
            break;
        bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
    }
    return bytes;
}

bool ReadTraceEvents(const std::string& path, std::string& header, int64_t& badLines,
                     const std::function<void(TraceEvent&&)>& onEvent, std::string& error) {
    // O_NONBLOCK: a FIFO without a writer must not hold the open; it is refused just after.
    const int fd = ::open(path.c_str(), O_RDONLY | kOwnFileFlags);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = path + ": not a regular file";
        return false;
    }
    std::vector<char> buffer(64 * 1024);
    std::string line;
    bool tooLong = false;
    const auto endOfLine = [&] {
        if (tooLong) {
            ++badLines;
        } else if (!line.empty() && line[0] == '#') {
            if (header.empty()) header = line;
        } else if (!line.empty()) {
            TraceEvent event;
            if (ParseEventLine(line, event))
                onEvent(std::move(event));
            else
                ++badLines;
        }
        line.clear();
        tooLong = false;
    };
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (got == 0) break;
        const char* at = buffer.data();
        const char* const end = at + got;
        while (at < end) {
            const char* newline =
                static_cast<const char*>(std::memchr(at, '\n', static_cast<size_t>(end - at)));
            const char* const stop = newline != nullptr ? newline : end;
            if (!tooLong) {
                if (line.size() + static_cast<size_t>(stop - at) > kMaxTraceLineLength) {
                    tooLong = true;
                    line.clear();
                } else {
                    line.append(at, stop);
                }
            }
            if (newline == nullptr) break;
            endOfLine();
            at = newline + 1;
        }
    }
    ::close(fd);
    if (!line.empty() || tooLong) endOfLine();
    return true;
}

bool ReadTrace(const std::string& path, ParsedTrace& trace, std::string& error) {
    return ReadTraceEvents(
        path, trace.header, trace.badLines,
        [&](TraceEvent&& event) { trace.events.push_back(std::move(event)); }, error);
}
