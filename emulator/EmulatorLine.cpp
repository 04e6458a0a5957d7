// The line of an emulated receiver, on a pseudo-terminal or a telnet (RFC 2217) connection: what the
// PC side sends, what the receiver sends back (garbled while the two sides' line settings differ,
// lost while a break or a reset lasts), and the server side of the COM-PORT option.
#include <fcntl.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/ioctl.h>
#include <termios.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "emulator/EmulatedReceiver.h"
#ifndef _WIN32
#include "serial/posix/TermiosSpeed.h"
#endif

namespace {

constexpr size_t kMaxPendingOut = 64 * 1024;  // a line nobody reads loses what does not fit
constexpr int kReadChunk = 4096;
constexpr int kHangupGraceMs = 2000;

// A byte as it arrives when the two ends of the line disagree: never a DLE, ETX or letter, so
// garbage can neither frame a packet nor pass for a break reply.
uint8_t Garble(uint8_t byte, uint8_t& counter) {
    return static_cast<uint8_t>(0x80 | ((byte * 37 + counter++) & 0x7F));
}

}  // namespace

PortLine EmulatedReceiver::PcSide() const {
    if (!options_.usePty) return pcSide_;
    // A pty keeps the baud rate and the stop bits; it forces 8 data bits and no parity, so those
    // two are taken as whatever the receiver uses.
    PortLine line = model_.PortB();
#ifndef _WIN32
    termios settings{};
    if (masterFd_ >= 0 && ::tcgetattr(masterFd_, &settings) == 0) {
        line.baudRate = RateOfTermiosSpeed(::cfgetospeed(&settings));
        line.stopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
    }
#endif
    return line;
}

void EmulatedReceiver::ReadLine() {
    uint8_t raw[kReadChunk];
    if (masterFd_ >= 0) {
        for (;;) {
            const auto got = ::read(masterFd_, raw, sizeof raw);
            if (got <= 0) break;
            OnLineBytes(raw, static_cast<int>(got));
        }
    }
    while (clientFd_ != kNoSocket) {
        const long got = ReceiveSome(clientFd_, raw, sizeof raw);
        const int error = got < 0 ? LastSocketError() : 0;
        if (got == 0 || (got < 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR)) {
            DropClient("the client closed the connection");
            break;
        }
        if (got < 0) break;
        // Byte by byte, so that data and settings commands keep their order on the line: data
        // sent before a settings change is judged by the old settings, data after it by the new.
        uint8_t data[kReadChunk];
        int dataCount = 0;
        std::vector<TelnetEvent> events;
        for (long i = 0; i < got && clientFd_ != kNoSocket; ++i) {
            events.clear();
            dataCount += TelnetDecode(telnet_, raw + i, 1, data + dataCount, events);
            if (events.empty()) continue;
            if (dataCount > 0) OnLineBytes(data, dataCount);
            dataCount = 0;
            for (const TelnetEvent& event : events) HandleTelnet(event);
        }
        if (dataCount > 0 && clientFd_ != kNoSocket) OnLineBytes(data, dataCount);
    }
}

void EmulatedReceiver::AcceptClient() {
    SocketHandle fd = AcceptConnection(listenFd_);
    if (fd == kNoSocket) return;
    if (clientFd_ != kNoSocket) {
        // The previous program may have closed its connection just before this one arrived, in
        // the same poll: take what it sent and notice the close first, so that a port closed and
        // reopened at once works.
        ReadLine();
    }
    if (clientFd_ != kNoSocket) {
        // One program at a time, as on a serial port opened for exclusive use.
        CloseConnection(fd);
        Note("refused a second connection");
        return;
    }
    SetSocketOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    clientFd_ = fd;
    telnet_ = TelnetDecoder{};
    std::fill(willSent_.begin(), willSent_.end(), false);
    std::fill(doSent_.begin(), doSent_.end(), false);
    std::fill(refused_.begin(), refused_.end(), false);
    breakOn_ = false;
    out_.clear();
    status_.connected = true;
    ++status_.connections;
    Note("client connected");
}

void EmulatedReceiver::DropClient(const char* why) {
    CloseConnection(clientFd_);
    out_.clear();
    breakOn_ = false;
    status_.connected = false;
    Note(why);
}

void EmulatedReceiver::OnLineBytes(const uint8_t* data, int count) {
    if (log_ != nullptr) log_->Bytes(number_, "rx", data, count);
    const char* reason = nullptr;
    if (status_.hungUp) {
        reason = "hung up";
    } else if (resetting_) {
        reason = "resetting";
    } else if (breakOn_) {
        reason = "line in break";
    } else if (!LineMatches()) {
        reason = "line settings differ";
    }
    if (reason != nullptr) {
        status_.bytesLost += static_cast<uint64_t>(count);
        if (!lostNoted_) Note(std::string("lost received bytes: ") + reason);
        lostNoted_ = true;
        return;
    }
    lostNoted_ = false;
    for (int i = 0; i < count; ++i) {
        if (FrameDecodeByte(decoder_.Fields(), data[i]) == 1) OnPacket();
        if (resetting_) {
            // The rest of what arrived with the reset command is lost while the receiver restarts.
            status_.bytesLost += static_cast<uint64_t>(count - i - 1);
            return;
        }
    }
}

void EmulatedReceiver::EmitLine(const uint8_t* bytes, int count) {
    const bool garbled = !LineMatches();
    bool hangUp = false;
    std::vector<uint8_t> sentBytes;  // the data bytes as they go on the line, for the log
    for (int i = 0; i < count; ++i) {
        if (options_.hangupAfterBytes >= 0 &&
            status_.bytesSent >= static_cast<uint64_t>(options_.hangupAfterBytes)) {
            hangUp = true;
            break;
        }
        if (out_.size() >= kMaxPendingOut) break;
        const uint8_t byte = garbled ? Garble(bytes[i], garbleCounter_) : bytes[i];
        sentBytes.push_back(byte);
        if (options_.usePty) {
            out_.push_back(byte);
        } else {
            TelnetEncodeData(&byte, 1, out_);
        }
        ++status_.bytesSent;
        if (garbled) ++status_.bytesGarbled;
    }
    if (options_.hangupAfterBytes >= 0 &&
        status_.bytesSent >= static_cast<uint64_t>(options_.hangupAfterBytes)) {
        hangUp = true;
    }
    if (log_ != nullptr) log_->Bytes(number_, "tx", sentBytes.data(), static_cast<int>(sentBytes.size()));
    Flush();
    if (hangUp && !hangupPending_) {
        // On a pty the bytes already sent are lost if the line drops before they are read:
        // hang up once the PC side has taken them (or after a grace time).
        hangupPending_ = true;
        hangupDeadline_ = Clock::now() + std::chrono::milliseconds(kHangupGraceMs);
    }
}

bool EmulatedReceiver::SentBytesTaken() const {
    if (!out_.empty()) return false;
    if (!options_.usePty || slaveFd_ < 0) return true;
#ifdef _WIN32
    return true;
#else
    int unread = 0;
    return ::ioctl(slaveFd_, FIONREAD, &unread) != 0 || unread == 0;
#endif
}

void EmulatedReceiver::Flush() {
    if (options_.usePty ? masterFd_ < 0 : clientFd_ == kNoSocket) {
        out_.clear();
        return;
    }
    size_t written = 0;
    while (written < out_.size()) {
        const long sent = options_.usePty
                              ? static_cast<long>(::write(masterFd_, out_.data() + written,
                                                          static_cast<unsigned>(out_.size() - written)))
                              : ::SendSome(clientFd_, out_.data() + written, out_.size() - written);
        if (sent <= 0) break;
        written += static_cast<size_t>(sent);
    }
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(written));
}

void EmulatedReceiver::HangUp() {
    if (status_.hungUp) return;
    status_.hungUp = true;
    status_.connected = false;
    // The line goes dead for good: the pty disappears, the network port stops answering.
    CloseConnection(clientFd_);
    CloseConnection(listenFd_);
    CloseFd(slaveFd_);
    CloseFd(masterFd_);
    scheduled_.clear();
    out_.clear();
    Note("hung up after " + std::to_string(status_.bytesSent) + " bytes");
}

void EmulatedReceiver::ReplyComPort(uint8_t command, const uint8_t* value, int count) {
    std::vector<uint8_t> reply;
    ComPortEncode(static_cast<uint8_t>(command + kComPortServerOffset), value, count, reply);
    out_.insert(out_.end(), reply.begin(), reply.end());
}

void EmulatedReceiver::HandleTelnet(const TelnetEvent& event) {
    if (event.kind == TelnetEvent::Kind::Option)
        NegotiateOption(event);
    else if (event.option == kOptionComPort && event.valueLength >= 1)
        HandleComPort(event);
}

// The server offers binary and suppress-go-ahead and takes the com port option; each answered once.
void EmulatedReceiver::NegotiateOption(const TelnetEvent& event) {
    const uint8_t option = event.option;
    const bool serverWill = option == kOptionBinary || option == kOptionSuppressGoAhead;
    const bool clientMay = serverWill || option == kOptionComPort;
    std::vector<uint8_t> reply;
    if (event.verb == kTelnetWILL) {
        if (clientMay && !doSent_[option]) {
            doSent_[option] = true;
            TelnetEncodeOption(kTelnetDO, option, reply);
        } else if (!clientMay && !refused_[option]) {
            refused_[option] = true;
            TelnetEncodeOption(kTelnetDONT, option, reply);
        }
    } else if (event.verb == kTelnetDO) {
        if (serverWill && !willSent_[option]) {
            willSent_[option] = true;
            TelnetEncodeOption(kTelnetWILL, option, reply);
        } else if (!serverWill && !refused_[option]) {
            refused_[option] = true;
            TelnetEncodeOption(kTelnetWONT, option, reply);
        }
    }
    out_.insert(out_.end(), reply.begin(), reply.end());
}

void EmulatedReceiver::HandleComPort(const TelnetEvent& event) {
    const uint8_t command = event.value[0];
    const uint8_t value = ComPortValueU8(event);
    switch (command) {
        case kComPortSignature: {
            static constexpr char kSignature[] = "kirp-emulator";
            ReplyComPort(command, reinterpret_cast<const uint8_t*>(kSignature), sizeof kSignature - 1);
            break;
        }
        case kComPortSetBaudRate: {
            const uint32_t rate = ComPortValueU32(event);
            if (rate != 0 && rate <= 4000000) pcSide_.baudRate = static_cast<int32_t>(rate);
            const uint32_t now = static_cast<uint32_t>(pcSide_.baudRate);
            const uint8_t bytes[4] = {static_cast<uint8_t>(now >> 24), static_cast<uint8_t>(now >> 16),
                                      static_cast<uint8_t>(now >> 8), static_cast<uint8_t>(now)};
            ReplyComPort(command, bytes, 4);
            break;
        }
        case kComPortSetDataSize: {
            if (value >= 5 && value <= 8) pcSide_.dataBits = value;
            const uint8_t now = static_cast<uint8_t>(pcSide_.dataBits);
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortSetParity: {
            // Mark and space have no place in a receiver's settings: refused, the old value stands.
            if (ParityOfComPort(value) >= 0) pcSide_.parity = ParityOfComPort(value);
            const uint8_t now = ComPortParity(pcSide_.parity);
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortSetStopSize: {
            // The device layer's codes (0 one, 2 two) against the line's count of stop bits.
            const int32_t asked = StopBitsOfComPort(value);
            if (asked == 0 || asked == 2) pcSide_.stopBits = asked == 2 ? 2 : 1;
            const uint8_t now = ComPortStopSize(pcSide_.stopBits == 2 ? 2 : 0);
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortSetControl: {
            uint8_t now = value;
            if (value == kComPortControlBreakOn) {
                breakOn_ = true;
            } else if (value == kComPortControlBreakOff) {
                if (breakOn_) EndBreak();
            } else if (value == 4) {
                now = breakOn_ ? kComPortControlBreakOn : kComPortControlBreakOff;
            } else if (value == 0) {
                now = 1;  // no flow control
            }
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortPurgeData:
            // The server's buffer of bytes from the line toward the client is what is pending.
            // Replies already queued for the client go out first; line data still waiting is dropped.
            if (value == kComPortPurgeReceive || value == kComPortPurgeBoth) {
                Flush();
                out_.clear();
            }
            ++status_.purges;
            ReplyComPort(command, &value, 1);
            break;
        case kComPortSetLineStateMask:
        case kComPortSetModemStateMask:
            ReplyComPort(command, &value, 1);
            break;
        default:
            return;
    }
    if (command >= kComPortSetBaudRate && command <= kComPortSetStopSize && value != 0) {
        ++status_.lineChanges;
        Note("PC side now " + PortLineText(pcSide_) + (LineMatches() ? "" : " (differs from Port B)"));
    }
}
