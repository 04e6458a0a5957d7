// The telnet stream of a network serial device both ways: data bytes with 0xFF doubled out, and in,
// the drain of the socket that separates data from negotiations and COM-PORT answers.
#include <algorithm>
#include <cerrno>

#include "serial/network/NetworkDeviceState.h"

namespace network_device {

int NetworkDevice::Write(const uint8_t* data, int count, int timeoutMs) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket || peerClosed_) return -1;
    if (count <= 0) return 0;
    std::vector<uint8_t> encoded;
    encoded.reserve(static_cast<size_t>(count) + 8);
    TelnetEncodeData(data, count, encoded);
    size_t sent = SendSome(encoded, 0, Deadline(timeoutMs));
    if (peerClosed_) return -1;
    if (sent == encoded.size()) return count;
    // Count the data bytes whose encoding went out whole. A doubled 0xFF is never left half sent:
    // the lone IAC would make the server read the next byte as a command. Its second half goes
    // even after the deadline; a connection that cannot take one byte more is lost.
    int whole = 0;
    size_t position = 0;
    for (int i = 0; i < count; ++i) {
        const size_t next = position + (data[i] == kTelnetIAC ? 2 : 1);
        if (next > sent) {
            if (position < sent) {
                sent = SendSome(encoded, sent, Deadline(kControlSendTimeoutMs));
                if (sent < next) {
                    peerClosed_ = true;
                    return whole > 0 ? whole : -1;
                }
                ++whole;
            }
            break;
        }
        position = next;
        ++whole;
    }
    return whole;
}

size_t NetworkDevice::SendSome(const std::vector<uint8_t>& bytes, size_t sent, const Deadline& deadline) {
    while (sent < bytes.size() && !peerClosed_) {
        const long written = ::SendSome(fd_, bytes.data() + sent, bytes.size() - sent);
        const int error = written < 0 ? LastSocketError() : 0;
        if (written > 0) {
            sent += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && error != EAGAIN && error != EWOULDBLOCK && error != EINTR) {
            peerClosed_ = true;
            break;
        }
        if (deadline.RemainingMs() == 0 || Interrupted()) break;
        pollfd waits[2] = {{fd_, POLLOUT, 0}, {interrupt_.Fd(), POLLIN, 0}};
        PollSockets(waits, 2, deadline.RemainingMs());
    }
    return sent;
}

void NetworkDevice::Drain(RingFull full) {
    if (fd_ == kNoSocket || peerClosed_) return;
    uint8_t raw[kReceiveChunk];
    uint8_t data[kReceiveChunk];
    std::vector<TelnetEvent> events;
    const Clock::time_point until = Clock::now() + kDrainLimitTime;
    for (int taken = 0; taken < kDrainLimitBytes && Clock::now() < until;) {
        // Left in the socket: take no more than the ring can hold, the rest waits there.
        const int room = full == RingFull::kDrop ? kReceiveChunk : std::min(kReceiveChunk, input_.Room());
        if (room <= 0) return;
        const long got = ReceiveSome(fd_, raw, static_cast<size_t>(room));
        if (got == 0) {
            peerClosed_ = true;
            return;
        }
        if (got < 0) {
            const int error = LastSocketError();
            if (error == EINTR) continue;
            if (error != EAGAIN && error != EWOULDBLOCK) peerClosed_ = true;
            return;
        }
        taken += static_cast<int>(got);
        events.clear();
        const int dataCount = TelnetDecode(decoder_, raw, static_cast<int>(got), data, events);
        input_.Push(data, dataCount);
        for (const TelnetEvent& event : events) HandleEvent(event);
        // A short read took all the socket held: asking again would only hear "nothing".
        if (got < room) return;
    }
}

void NetworkDevice::PumpFor(Lock& lock, int timeoutMs, RingFull full) {
    // The socket stays open while unlocked: only Close closes it, on the caller's own thread.
    pollfd waits[2] = {{fd_, POLLIN, 0}, {interrupt_.Fd(), POLLIN, 0}};
    lock.unlock();
    PollSockets(waits, 2, timeoutMs);
    lock.lock();
    Drain(full);
}

void NetworkDevice::ReplyOption(uint8_t verb, uint8_t option) {
    std::vector<uint8_t> reply;
    TelnetEncodeOption(verb, option, reply);
    SendRaw(reply, kControlSendTimeoutMs);
}

void NetworkDevice::HandleEvent(const TelnetEvent& event) {
    if (event.kind == TelnetEvent::Kind::Subnegotiation) {
        if (event.option != kOptionComPort || event.valueLength < 1) return;
        const uint8_t command = event.value[0];
        if (command < kComPortServerOffset || command >= kComPortServerOffset + kComPortReplies) return;
        const int index = command - kComPortServerOffset;
        // Modem-state and line-state notifications are counted and otherwise ignored.
        replyValue_[static_cast<size_t>(index)] =
            index == kComPortSetBaudRate ? ComPortValueU32(event) : ComPortValueU8(event);
        ++replyCount_[static_cast<size_t>(index)];
        return;
    }
    const uint8_t option = event.option;
    const bool wanted =
        option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
    switch (event.verb) {
        case kTelnetDO:
            if (option == kOptionComPort) comPortAccepted_ = true;
            if (!willSent_[option]) {
                willSent_[option] = true;
                ReplyOption(wanted ? kTelnetWILL : kTelnetWONT, option);
            }
            break;
        case kTelnetDONT:
            if (option == kOptionComPort) comPortRefused_ = true;
            break;
        case kTelnetWILL:
            // The server offers to do something: binary and go-ahead suppression are welcome,
            // everything else (echo and the like) is declined, each answer given once.
            if (!doSent_[option]) {
                doSent_[option] = true;
                ReplyOption(wanted && option != kOptionComPort ? kTelnetDO : kTelnetDONT, option);
            }
            break;
        default:  // WONT: nothing to answer
            break;
    }
}

bool NetworkDevice::SendRaw(const std::vector<uint8_t>& bytes, int timeoutMs) {
    if (fd_ == kNoSocket || peerClosed_) return false;
    const size_t sent = SendSome(bytes, 0, Deadline(timeoutMs));
    if (sent > 0 && sent < bytes.size()) peerClosed_ = true;
    return sent == bytes.size();
}

}  // namespace network_device
