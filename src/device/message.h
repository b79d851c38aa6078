#pragma once

// The base of everything that travels through a message queue between the
// dialog and its worker threads. Whoever takes a message from a queue and does
// not pass it on owns it (queues hand messages around as std::unique_ptr).
class CMessage {
public:
    // Type codes; the numbering is fixed, other values are not used.
    enum Type {
        kStart = 0,
        kEnd = 1,
        kLong = 2,
        kCmdError = 4,
        kBuffer = 5,
        kAddressData = 6,
        kPageStart = 8,
        kPageEnd = 9,
        kString = 11,
    };

    virtual ~CMessage() = default;
    virtual int type() const = 0;
};
